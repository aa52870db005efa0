#include "host/pdf/truetype.h"

#include "slides/presentationhost.h"

#include <QtEndian>
#include <cstring>
#include <fontconfig/fontconfig.h>
#include <mutex>
#include <vector>

namespace slidemill::pdf {

namespace {

struct FontFace {
    QString file;
    QString family;
};

// fontconfig's default configuration is one a process; a lookup still under way as the process
// ends may take this, which no destructor runs before it.
std::mutex fontconfigMutex;

FontFace matchFont(const char* family) {
    const std::lock_guard lock(fontconfigMutex);
    FontFace face;
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(family));
    if (!pattern)
        return face;
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    if (FcPattern* match = FcFontMatch(nullptr, pattern, &result)) {
        FcChar8* file = nullptr;
        FcChar8* name = nullptr;
        if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch)
            face.file = QString::fromUtf8(reinterpret_cast<const char*>(file));
        if (FcPatternGetString(match, FC_FAMILY, 0, &name) == FcResultMatch)
            face.family = QString::fromUtf8(reinterpret_cast<const char*>(name));
        FcPatternDestroy(match);
    }
    FcPatternDestroy(pattern);
    return face;
}

quint32 tableSum(const QByteArray& table) {
    quint32 sum = 0;
    for (qsizetype i = 0; i < table.size(); i += 4) {
        char word[4] = {0, 0, 0, 0};
        std::memcpy(word, table.constData() + i,
                    std::size_t(std::min<qsizetype>(4, table.size() - i)));
        sum += qFromBigEndian<quint32>(word);
    }
    return sum;
}

} // namespace

bool Sfnt::load(const QByteArray& data) {
    data_ = data;
    if (u32(0) != 0x00010000 && u32(0) != 0x74727565)
        return false;
    const int tables = u16(4);
    for (int i = 0; i < tables; ++i) {
        const qsizetype record = 12 + 16 * qsizetype(i);
        if (record + 16 > data_.size())
            return false;
        const QByteArray tag = data_.mid(record, 4);
        const quint32 offset = u32(record + 8), length = u32(record + 12);
        if (qint64(offset) + length > data_.size())
            return false;
        tables_.emplace(tag, std::pair<qsizetype, qsizetype>{offset, length});
    }
    const qsizetype head = table("head", 54), hhea = table("hhea", 36);
    hmtx_ = table("hmtx", 4);
    if (head < 0 || hhea < 0 || hmtx_ < 0 || table("glyf", 0) < 0)
        return false;
    unitsPerEm = u16(head + 18);
    for (int i = 0; i < 4; ++i)
        box[i] = qint16(u16(head + 36 + 2 * i)) / double(unitsPerEm);
    metrics_ = u16(hhea + 34);
    if (unitsPerEm == 0 || metrics_ == 0 || tables_.at("hmtx").second < 4 * metrics_)
        return false;
    if (const qsizetype os2 = table("OS/2", 78); os2 >= 0) {
        ascent = u16(os2 + 74) / double(unitsPerEm);
        descent = u16(os2 + 76) / double(unitsPerEm);
        if (tables_.at("OS/2").second >= 90 && u16(os2) >= 2)
            capHeight = qint16(u16(os2 + 88)) / double(unitsPerEm);
    } else {
        ascent = qint16(u16(hhea + 4)) / double(unitsPerEm);
        descent = -qint16(u16(hhea + 6)) / double(unitsPerEm);
    }
    return findCmap();
}

quint32 Sfnt::glyph(char32_t c) const {
    if (cmap12_ >= 0) {
        const quint32 groups = u32(cmap12_ + 12);
        for (quint32 g = 0; g < groups; ++g) {
            const qsizetype at = cmap12_ + 16 + 12 * qsizetype(g);
            if (at + 12 > data_.size())
                break;
            if (c >= u32(at) && c <= u32(at + 4))
                return u32(at + 8) + (c - u32(at));
        }
        return 0;
    }
    if (c > 0xFFFF)
        return 0;
    const int segments = u16(cmap4_ + 6) / 2;
    const qsizetype ends = cmap4_ + 14, starts = ends + 2 * segments + 2,
                    deltas = starts + 2 * segments, ranges = deltas + 2 * segments;
    for (int i = 0; i < segments; ++i) {
        if (c > u16(ends + 2 * i))
            continue;
        const quint32 start = u16(starts + 2 * i);
        if (c < start)
            return 0;
        const quint32 delta = u16(deltas + 2 * i), range = u16(ranges + 2 * i);
        if (range == 0)
            return (c + delta) & 0xFFFF;
        const quint32 g = u16(ranges + 2 * i + range + 2 * (c - start));
        return g == 0 ? 0 : (g + delta) & 0xFFFF;
    }
    return 0;
}

double Sfnt::advance(quint32 glyph) const {
    const quint32 i = std::min<quint32>(glyph, quint32(metrics_ - 1));
    return u16(hmtx_ + 4 * qsizetype(i)) / double(unitsPerEm);
}

QByteArray Sfnt::tableBytes(const QByteArray& tag) const {
    const auto found = tables_.find(tag);
    return found == tables_.end() ? QByteArray()
                                  : data_.mid(found->second.first, found->second.second);
}

quint32 Sfnt::u16(qsizetype at) const {
    if (at < 0 || at + 2 > data_.size())
        return 0;
    return qFromBigEndian<quint16>(data_.constData() + at);
}

quint32 Sfnt::u32(qsizetype at) const {
    if (at < 0 || at + 4 > data_.size())
        return 0;
    return qFromBigEndian<quint32>(data_.constData() + at);
}

qsizetype Sfnt::table(const char* tag, qsizetype size) const {
    const auto found = tables_.find(QByteArray(tag));
    return found == tables_.end() || found->second.second < size ? -1 : found->second.first;
}

bool Sfnt::findCmap() {
    const qsizetype cmap = table("cmap", 4);
    if (cmap < 0)
        return false;
    const int count = int(u16(cmap + 2));
    for (int i = 0; i < count; ++i) {
        const qsizetype record = cmap + 4 + 8 * qsizetype(i);
        const quint32 platform = u16(record), encoding = u16(record + 2);
        const qsizetype sub = cmap + qsizetype(u32(record + 4));
        const bool unicode = platform == 0 || (platform == 3 && (encoding == 1 || encoding == 10));
        if (!unicode)
            continue;
        if (u16(sub) == 12 && cmap12_ < 0)
            cmap12_ = sub;
        else if (u16(sub) == 4 && cmap4_ < 0)
            cmap4_ = sub;
    }
    return cmap12_ >= 0 || cmap4_ >= 0;
}

// The font with only the outlines of `used` (and what they are made of) left: the glyph ids
// stay, the others are empty, and the layout tables go, as no reader of the PDF lays text out.
// Empty when the font's outlines cannot be read.
QByteArray subset(const Sfnt& font, std::set<quint32> used) {
    const QByteArray head = font.tableBytes("head"), maxp = font.tableBytes("maxp"),
                     loca = font.tableBytes("loca"), glyf = font.tableBytes("glyf");
    if (head.size() < 54 || maxp.size() < 6)
        return {};
    const int glyphs = qFromBigEndian<quint16>(maxp.constData() + 4);
    const bool longOffsets = qFromBigEndian<qint16>(head.constData() + 50) == 1;
    if (loca.size() < (glyphs + 1) * (longOffsets ? 4 : 2))
        return {};
    const auto offset = [&](quint32 g) -> qsizetype {
        return longOffsets ? qsizetype(qFromBigEndian<quint32>(loca.constData() + 4 * g))
                           : 2 * qsizetype(qFromBigEndian<quint16>(loca.constData() + 2 * g));
    };
    used.insert(0);
    // Composite glyphs bring their parts along.
    std::vector<quint32> pending(used.begin(), used.end());
    while (!pending.empty()) {
        const quint32 g = pending.back();
        pending.pop_back();
        if (g >= quint32(glyphs))
            continue;
        const qsizetype start = offset(g), end = offset(g + 1);
        if (end - start < 10 || end > glyf.size() ||
            qFromBigEndian<qint16>(glyf.constData() + start) >= 0)
            continue;
        qsizetype at = start + 10;
        for (quint16 flags = 0x20; (flags & 0x20) && at + 4 <= end;) {
            flags = qFromBigEndian<quint16>(glyf.constData() + at);
            const quint32 part = qFromBigEndian<quint16>(glyf.constData() + at + 2);
            if (used.insert(part).second)
                pending.push_back(part);
            at += 4 + ((flags & 0x1) ? 4 : 2) +
                  ((flags & 0x8)    ? 2
                   : (flags & 0x40) ? 4
                   : (flags & 0x80) ? 8
                                    : 0);
        }
    }
    QByteArray newGlyf, newLoca;
    for (int g = 0; g <= glyphs; ++g) {
        char field[4];
        qToBigEndian<quint32>(quint32(newGlyf.size()), field);
        newLoca.append(field, 4);
        if (g == glyphs || !used.contains(quint32(g)))
            continue;
        const qsizetype start = offset(quint32(g)), end = offset(quint32(g) + 1);
        if (start < end && end <= glyf.size()) {
            newGlyf += glyf.mid(start, end - start);
            while (newGlyf.size() % 4)
                newGlyf += '\0';
        }
    }
    QByteArray newHead = head;
    qToBigEndian<qint16>(1, newHead.data() + 50);
    qToBigEndian<quint32>(0, newHead.data() + 8);

    std::map<QByteArray, QByteArray> tables;
    for (const char* tag :
         {"OS/2", "cmap", "cvt ", "fpgm", "gasp", "hhea", "hmtx", "maxp", "name", "post", "prep"})
        if (const QByteArray t = font.tableBytes(tag); !t.isEmpty())
            tables.emplace(tag, t);
    tables.emplace("head", newHead);
    tables.emplace("glyf", newGlyf);
    tables.emplace("loca", newLoca);

    const int count = int(tables.size());
    int power = 1, log2 = 0;
    while (power * 2 <= count)
        power *= 2, ++log2;
    QByteArray out(12 + 16 * count, '\0');
    qToBigEndian<quint32>(0x00010000, out.data());
    qToBigEndian<quint16>(quint16(count), out.data() + 4);
    qToBigEndian<quint16>(quint16(power * 16), out.data() + 6);
    qToBigEndian<quint16>(quint16(log2), out.data() + 8);
    qToBigEndian<quint16>(quint16(count * 16 - power * 16), out.data() + 10);
    int i = 0;
    qsizetype headAt = 0;
    for (const auto& [tag, table] : tables) {
        char* record = out.data() + 12 + 16 * i++;
        std::memcpy(record, tag.constData(), 4);
        qToBigEndian<quint32>(tableSum(table), record + 4);
        qToBigEndian<quint32>(quint32(out.size()), record + 8);
        qToBigEndian<quint32>(quint32(table.size()), record + 12);
        if (tag == "head")
            headAt = out.size();
        out += table;
        while (out.size() % 4)
            out += '\0';
    }
    qToBigEndian<quint32>(0xB1B0AFBAu - tableSum(out), out.data() + headAt + 8);
    return out;
}

// The font file fontconfig gives for the deck's `family`, its stand-in where it is not there:
// what LibreOffice and the window's slides draw it in.
QString fontFileFor(const char* family) {
    return matchFont(family).file;
}

} // namespace slidemill::pdf
