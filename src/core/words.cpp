#include "core/words.h"

#include <algorithm>

namespace slidemill {

QStringList wrapped(QStringView text, qsizetype width) {
    QStringList lines;
    for (QStringView written : text.split(QLatin1Char('\n'))) {
        QString line;
        for (QStringView word : written.split(QLatin1Char(' '))) {
            if (!line.isEmpty() && line.size() + 1 + word.size() > width) {
                lines << line;
                line.clear();
            }
            if (!line.isEmpty())
                line += QLatin1Char(' ');
            line += word;
        }
        lines << line;
    }
    return lines;
}

std::optional<int> wholeNumber(QStringView value, qsizetype digits) {
    if (value.isEmpty() || value.size() > digits ||
        !std::all_of(value.begin(), value.end(), [](QChar c) { return c >= u'0' && c <= u'9'; }))
        return std::nullopt;
    return value.toInt();
}

} // namespace slidemill
