#include "slides/namedates.h"

#include <QRegularExpression>
#include <algorithm>
#include <vector>

namespace slidemill {

namespace {

// Each from the name's start, case aside, and ending where its digits do. {Y}{M}{D} are the
// day, {h}{m}{s} the time of day and {p} an AM or PM after it; a row without {h} tells the day
// alone. The first row that fits decides, so a row comes before any shorter one it extends.
constexpr const char* kNamePatterns[] = {
    // Android and most phones' cameras, Pixel's (milliseconds after), Samsung's bare one.
    R"((?:(?:IMG|VID|MVIMG|PANO|PXL|BURST)_)?{Y}{M}{D}_{h}{m}{s}(?:\d{3})?)",
    // Android screenshots, newer and older.
    R"(Screenshot_{Y}{M}{D}[-_]{h}{m}{s})",
    R"(Screenshot_{Y}-{M}-{D}-{h}-{m}-{s})",
    // macOS (12-hour clocks add AM or PM), Windows' Snipping Tool, then the day alone.
    R"(Screen ?shot {Y}-{M}-{D} at {h}\.{m}\.{s}{p})",
    R"(Screenshot {Y}-{M}-{D} {h}{m}{s})",
    R"(Screenshot {Y}-{M}-{D})",
    // WhatsApp: a received photo tells the day alone, a saved one the time too.
    R"((?:IMG|VID)-{Y}{M}{D}-WA\d+)",
    R"(WhatsApp (?:Image|Video) {Y}-{M}-{D} at {h}\.{m}\.{s}{p})",
    // Signal, older and newer.
    R"(signal-{Y}-{M}-{D}-{h}{m}{s})",
    R"(signal-{Y}-{M}-{D}-{h}-{m}-{s})",
    // Telegram, and a photo exported by its day and time.
    R"(photo_{Y}-{M}-{D}_{h}-{m}-{s})",
    R"(Photo {Y}-{M}-{D} {h} {m} {s})",
    // Windows' Camera, DJI's drones.
    R"(WIN_{Y}{M}{D}_{h}_{m}_{s})",
    R"(DJI_{Y}{M}{D}{h}{m}{s})",
    // Dropbox's camera uploads and many exports.
    R"({Y}-{M}-{D} {h}\.{m}\.{s})",
};

const std::vector<QRegularExpression>& namePatterns() {
    static const std::vector<QRegularExpression> patterns = [] {
        static const std::pair<const char*, const char*> groups[] = {
            {"{Y}", "(?<year>\\d{4})"},
            {"{M}", "(?<month>\\d{2})"},
            {"{D}", "(?<day>\\d{2})"},
            {"{h}", "(?<hour>\\d{2})"},
            {"{m}", "(?<minute>\\d{2})"},
            {"{s}", "(?<second>\\d{2})"},
            {"{p}", "(?:[ \\x{A0}\\x{202F}]?(?<half>[AP]M))?"},
        };
        std::vector<QRegularExpression> out;
        for (const char* row : kNamePatterns) {
            QString expression = QString::fromLatin1(row);
            for (const auto& [token, group] : groups)
                expression.replace(QLatin1String(token), QLatin1String(group));
            out.emplace_back(QStringLiteral("^(?:%1)(?!\\d)").arg(expression),
                             QRegularExpression::CaseInsensitiveOption);
            Q_ASSERT(out.back().isValid());
        }
        return out;
    }();
    return patterns;
}

PhotoDate dateOf(const QRegularExpressionMatch& m) {
    const int year = m.captured(u"year").toInt();
    // Before digital cameras, or past any clock set in earnest.
    if (year < 1990 || year > 2099)
        return {};
    const QDate day(year, m.captured(u"month").toInt(), m.captured(u"day").toInt());
    if (!day.isValid())
        return {};
    if (!m.hasCaptured(u"hour"))
        return {day, {}};
    int hour = m.captured(u"hour").toInt();
    if (m.hasCaptured(u"half")) {
        if (hour < 1 || hour > 12)
            return {};
        const bool pm = m.captured(u"half").compare(u"PM", Qt::CaseInsensitive) == 0;
        hour = hour % 12 + (pm ? 12 : 0);
    }
    const QTime time(hour, m.captured(u"minute").toInt(), m.captured(u"second").toInt());
    return time.isValid() ? PhotoDate{day, time} : PhotoDate{};
}

} // namespace

PhotoDate nameDate(const QString& path) {
    QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    // A byte that is not UTF-8, a lone surrogate (nativepath.h), stops a regular expression; no
    // pattern reaches past any surrogate.
    name.truncate(std::find_if(name.begin(), name.end(), [](QChar c) { return c.isSurrogate(); }) -
                  name.begin());
    for (const QRegularExpression& pattern : namePatterns()) {
        const QRegularExpressionMatch m = pattern.match(name);
        if (m.hasMatch())
            return dateOf(m);
    }
    return {};
}

} // namespace slidemill
