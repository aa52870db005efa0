#include "core/nativepath.h"

namespace slidemill {

namespace {

constexpr char16_t kEscapeBase = 0xDC00;

// The code point of the valid UTF-8 sequence at `at`, and its length; length 0 when the bytes
// there are not one (overlong forms and encoded surrogates are not).
std::pair<char32_t, int> decodeOne(QByteArrayView bytes, qsizetype at) {
    const auto byte = [&](qsizetype i) { return static_cast<unsigned char>(bytes[i]); };
    const unsigned char b0 = byte(at);
    if (b0 < 0x80)
        return {b0, 1};
    int length = 0;
    char32_t cp = 0, min = 0;
    if ((b0 & 0xE0) == 0xC0) {
        length = 2, cp = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        length = 3, cp = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        length = 4, cp = b0 & 0x07, min = 0x10000;
    } else {
        return {0, 0};
    }
    if (bytes.size() - at < length)
        return {0, 0};
    for (int i = 1; i < length; ++i) {
        const unsigned char b = byte(at + i);
        if ((b & 0xC0) != 0x80)
            return {0, 0};
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return {0, 0};
    return {cp, length};
}

bool isEscapedByte(char16_t c) {
    return c >= kEscapeBase + 0x80 && c <= kEscapeBase + 0xFF;
}

} // namespace

QString pathFromNative(QByteArrayView bytes) {
    QString out;
    out.reserve(bytes.size());
    for (qsizetype i = 0; i < bytes.size();) {
        const auto [cp, length] = decodeOne(bytes, i);
        if (length == 0) {
            out.append(QChar(char16_t(kEscapeBase + static_cast<unsigned char>(bytes[i]))));
            ++i;
            continue;
        }
        out.append(QChar::fromUcs4(cp));
        i += length;
    }
    return out;
}

QByteArray nativePath(const QString& path) {
    QByteArray out;
    out.reserve(path.size());
    for (qsizetype i = 0; i < path.size(); ++i) {
        const char16_t c = path[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < path.size() &&
            QChar::isLowSurrogate(path[i + 1].unicode())) {
            out += QString(path.mid(i, 2)).toUtf8();
            ++i;
        } else if (isEscapedByte(c)) {
            out += char(c - kEscapeBase);
        } else {
            out += QString(QChar(c)).toUtf8();
        }
    }
    return out;
}

QString printablePath(const QString& path) {
    QString out;
    out.reserve(path.size());
    for (qsizetype i = 0; i < path.size(); ++i) {
        const char16_t c = path[i].unicode();
        if (isEscapedByte(c)) {
            out += QStringLiteral("\\x%1").arg(int(c - kEscapeBase), 2, 16, QLatin1Char('0'));
        } else if (c == '\n') {
            out += QLatin1String("\\n");
        } else if (c == '\r') {
            out += QLatin1String("\\r");
        } else if (c == '\t') {
            out += QLatin1String("\\t");
        } else if (c < 0x20 || (c >= 0x7F && c < 0xA0)) {
            out += QStringLiteral("\\x%1").arg(int(c), 2, 16, QLatin1Char('0'));
        } else if (c == 0x2028 || c == 0x2029 || (c >= 0x202A && c <= 0x202E) ||
                   (c >= 0x2066 && c <= 0x2069) || c == 0x200E || c == 0x200F) {
            out += QStringLiteral("\\u{%1}").arg(int(c), 4, 16, QLatin1Char('0'));
        } else {
            out += QChar(c);
        }
    }
    return out;
}

} // namespace slidemill
