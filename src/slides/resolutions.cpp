#include "slides/resolutions.h"

#include "core/words.h"

namespace slidemill {

namespace {

constexpr ResolutionPreset kPresets[] = {
    {330, "high-definition displays"},
    {kDefaultPixelsPerInch, "print and large screens"},
    {150, "projectors and full HD"},
    {96, "mail"},
    {0, nullptr},
};

} // namespace

std::span<const ResolutionPreset> resolutionPresets() {
    return kPresets;
}

QString resolutionLabel(const ResolutionPreset& preset) {
    if (preset.pixelsPerInch == 0)
        return QStringLiteral("Original pictures, as their files hold them");
    return QStringLiteral("%1 ppi: %2").arg(preset.pixelsPerInch).arg(QLatin1String(preset.use));
}

QString resolutionUse(const ResolutionPreset& preset) {
    return QLatin1String(preset.use) + (preset.pixelsPerInch == kDefaultPixelsPerInch
                                            ? QStringLiteral(" (the default)")
                                            : QString());
}

QString resolutionSummary(int pixelsPerInch) {
    return pixelsPerInch == 0 ? QStringLiteral("original pictures")
                              : QStringLiteral("%1 ppi").arg(pixelsPerInch);
}

QString parseResolution(const QString& value, int& pixelsPerInch) {
    if (value == QLatin1String(kOriginalResolution)) {
        pixelsPerInch = 0;
        return {};
    }
    const int n = wholeNumber(value, 5).value_or(-1);
    if (n < kMinPixelsPerInch || n > kMaxPixelsPerInch)
        return QStringLiteral("--ppi takes a whole number from %1 to %2, or %3, not '%4'")
            .arg(kMinPixelsPerInch)
            .arg(kMaxPixelsPerInch)
            .arg(QLatin1String(kOriginalResolution), value);
    pixelsPerInch = n;
    return {};
}

} // namespace slidemill
