#include "photolist/photolist.h"

#include "core/checked.h"

#include <cmath>

namespace slidemill {

QString photoPath(const QString& folder, const QString& name) {
    return folder + QLatin1Char('/') + name;
}

std::int32_t listExtent(const QStringList& texts, const QFontMetricsF& metrics) {
    std::int32_t max = 0;
    for (const QString& text : texts) {
        const float width = static_cast<float>(metrics.horizontalAdvance(text)) + 10.0f;
        // nearbyint rounds in the current mode, which is to nearest with halves to even.
        const std::int32_t value = narrow32(static_cast<long long>(std::nearbyint(width)));
        if (value > max)
            max = value;
    }
    return max;
}

} // namespace slidemill
