#include "slides/captions.h"

#include <QRegularExpression>

namespace slidemill {

namespace {

constexpr QChar kReplacement(0xFFFD);

bool isLineBreak(char16_t c) {
    return c == u'\n' || c == u'\r' || c == 0x0B || c == 0x0C || c == 0x85 || c == 0x2028 ||
           c == 0x2029;
}

// The locale's long date with the day of the week left out: "d MMMM yyyy", "MMMM d, yyyy".
QString dayFormat(const QLocale& locale) {
    static const QRegularExpression weekday(
        QStringLiteral("^dddd[\\s,.،、]*|[\\s,.،、]*dddd$|dddd\\s*"));
    QString format = locale.dateFormat(QLocale::LongFormat);
    format.remove(weekday);
    format = format.trimmed();
    return format.isEmpty() ? locale.dateFormat(QLocale::ShortFormat) : format;
}

bool isWord(QChar c) {
    return c.isLetterOrNumber();
}

// Whether text may be cut before position i without splitting a word or a number.
bool cutsBetweenWords(const QString& text, qsizetype i) {
    return i <= 0 || i >= text.size() || !isWord(text[i - 1]) || !isWord(text[i]);
}

} // namespace

QString slideText(const QString& text, bool keepLineBreaks) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            out += c;
            out += text[++i];
        } else if (c.isSurrogate()) {
            // A byte that is not UTF-8, carried as nativepath.h describes.
            out += kReplacement;
        } else if (isLineBreak(c.unicode())) {
            if (!keepLineBreaks)
                out += QChar(u' ');
            else if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
                continue; // CR LF is one break
            else
                out += QChar(u'\n');
        } else if (c == u'\t') {
            out += QChar(u' ');
        } else if (c.category() == QChar::Other_Control) {
            out += kReplacement;
        } else {
            out += c;
        }
    }
    return out;
}

QString nameCaption(const QString& path) {
    QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    // ".jpg" is a name, not an extension.
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot > 0)
        name.truncate(dot);
    return slideText(name, false);
}

PhotoDate takenDate(const Picture& picture) {
    // As the camera's clock wrote it: its time zone, where told, changes nothing.
    if (picture.taken.isValid())
        return {picture.taken.date(), picture.taken.time()};
    return nameDate(picture.path);
}

PhotoDate photoDate(const Picture& picture) {
    if (const PhotoDate taken = takenDate(picture); taken.isValid())
        return taken;
    if (picture.file.known()) {
        const QDateTime changed = QDateTime::fromSecsSinceEpoch(picture.file.modifiedSeconds);
        return {changed.date(), changed.time()};
    }
    return {};
}

QString dateCaption(const PhotoDate& when, const QLocale& locale) {
    // The medium date: the month's name shortened ("12 Jul 2025"); Qt has no such format.
    QString day = dayFormat(locale);
    day.replace(QLatin1String("MMMM"), QLatin1String("MMM"));
    if (!when.time.isValid())
        return locale.toString(when.day, day);
    // Some locales' short time carries seconds (C: "HH:mm:ss"); a caption needs none.
    static const QRegularExpression seconds(QStringLiteral("[:.,]?\\s?ss?(\\.z+)?"));
    QString time = locale.timeFormat(QLocale::ShortFormat);
    time.remove(seconds);
    return locale.toString(when.day, day) + QLatin1Char(' ') +
           locale.toString(when.time, time.trimmed());
}

QString dateSpan(QDate first, QDate last, const QLocale& locale) {
    const QString format = dayFormat(locale);
    const QString a = locale.toString(first, format);
    const QString b = locale.toString(last, format);
    if (a == b)
        return a;
    // What both dates share at the start and the end, cut between words, is written once:
    // "12 - 19 July 2026", "July 12 - 19, 2026", "28 July - 3 August 2026".
    qsizetype prefix = 0;
    while (prefix < a.size() && prefix < b.size() && a[prefix] == b[prefix])
        ++prefix;
    while (prefix > 0 && !(cutsBetweenWords(a, prefix) && cutsBetweenWords(b, prefix)))
        --prefix;
    qsizetype suffix = 0;
    const qsizetype room = std::min(a.size(), b.size()) - prefix;
    while (suffix < room && a[a.size() - 1 - suffix] == b[b.size() - 1 - suffix])
        ++suffix;
    while (suffix > 0 &&
           !(cutsBetweenWords(a, a.size() - suffix) && cutsBetweenWords(b, b.size() - suffix)))
        --suffix;
    const QString from = a.mid(prefix, a.size() - prefix - suffix).trimmed();
    const QString to = b.mid(prefix, b.size() - prefix - suffix).trimmed();
    if (from.isEmpty() || to.isEmpty())
        return a + QStringLiteral(" - ") + b;
    return a.left(prefix) + from + QStringLiteral(" - ") + to + a.right(suffix);
}

} // namespace slidemill
