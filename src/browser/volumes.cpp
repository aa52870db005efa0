#include "browser/volumes.h"

namespace slidemill {

namespace {

bool liesOn(const QString& path, const QString& mountPoint) {
    if (mountPoint == QLatin1String("/"))
        return path.startsWith(QLatin1Char('/'));
    return path == mountPoint || path.startsWith(mountPoint + QLatin1Char('/'));
}

} // namespace

qsizetype volumeHolding(const QList<Volume>& volumes, const QString& path) {
    qsizetype best = -1;
    for (qsizetype i = 0; i < volumes.size(); ++i) {
        if (liesOn(path, volumes[i].mountPoint) &&
            (best < 0 || volumes[i].mountPoint.size() > volumes[best].mountPoint.size()))
            best = i;
    }
    return best;
}

} // namespace slidemill
