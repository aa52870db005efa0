#include "core/namepattern.h"

#include <algorithm>

namespace slidemill {

NamePattern::NamePattern(const QString& patterns) {
    for (const QString& p : patterns.split(QLatin1Char(';'), Qt::SkipEmptyParts))
        globs_.append(p.trimmed().toCaseFolded());
}

namespace {

// Iterative wildcard match with one backtrack point; name is already case-folded.
bool globMatch(QStringView glob, QStringView name) {
    qsizetype g = 0, n = 0, starG = -1, starN = 0;
    while (n < name.size()) {
        if (g < glob.size() && (glob[g] == QLatin1Char('?') || glob[g] == name[n])) {
            ++g;
            ++n;
        } else if (g < glob.size() && glob[g] == QLatin1Char('*')) {
            starG = g++;
            starN = n;
        } else if (starG >= 0) {
            g = starG + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (g < glob.size() && glob[g] == QLatin1Char('*'))
        ++g;
    return g == glob.size();
}

} // namespace

bool NamePattern::matches(QStringView name) const {
    const QString folded = name.toString().toCaseFolded();
    return std::any_of(globs_.cbegin(), globs_.cend(),
                       [&](const QString& glob) { return globMatch(glob, folded); });
}

} // namespace slidemill
