#include "pictures/sizes.h"

#include "slides/metafile.h"

#include <algorithm>

namespace slidemill::pictures {

qint64 area(QSize size) {
    return qint64(size.width()) * size.height();
}

QSize fittedPixels(QSize upright, QSize shown) {
    const qint64 w = upright.width(), h = upright.height();
    const qint64 sw = shown.width(), sh = shown.height();
    if (shown.isEmpty() || upright.isEmpty() || (w <= sw && h <= sh))
        return upright;
    // The side that binds is the shown one; the other rounded, halves up.
    if (w * sh >= h * sw)
        return {int(sw), int(std::clamp<qint64>((2 * h * sw + w) / (2 * w), 1, sh))};
    return {int(std::clamp<qint64>((2 * w * sh + h) / (2 * h), 1, sw)), int(sh)};
}

QSize measuredPixels(const Picture& picture) {
    auto pixels = [](std::int32_t himetric) {
        return int(roundedQuotient(std::int64_t(himetric) * 96, 2540));
    };
    return {pixels(picture.widthHimetric), pixels(picture.heightHimetric)};
}

} // namespace slidemill::pictures
