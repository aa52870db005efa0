#pragma once

#include <QString>
#include <span>

namespace slidemill {

// Pictures with more pixels than this many per inch of their size on the slide are stored
// resized to it; 0 stores every picture as its file holds it.
inline constexpr int kDefaultPixelsPerInch = 220;
inline constexpr int kMinPixelsPerInch = 50;
inline constexpr int kMaxPixelsPerInch = 1200;

// --ppi's word for 0.
inline constexpr char kOriginalResolution[] = "original";

// A resolution the window's menus offer and the help names: the presentation applications'
// presets, then the pictures as their files hold them (0).
struct ResolutionPreset {
    int pixelsPerInch;
    // What it suits, "print and large screens"; nullptr for 0.
    const char* use;
};

std::span<const ResolutionPreset> resolutionPresets();

// As a menu offers it: "220 ppi: print and large screens", "Original pictures, as their files
// hold them".
QString resolutionLabel(const ResolutionPreset& preset);
// What it suits as the help says it, the default told: "print and large screens (the
// default)".
QString resolutionUse(const ResolutionPreset& preset);
// As the build buttons' tooltips say it: "96 ppi", "original pictures".
QString resolutionSummary(int pixelsPerInch);

// --ppi's value, a whole number from kMinPixelsPerInch to kMaxPixelsPerInch or "original",
// into `pixelsPerInch`. Returns why it is refused ("--ppi takes a whole number from 50 to
// 1200, or original, not '+220'"), or an empty string when taken.
QString parseResolution(const QString& value, int& pixelsPerInch);

} // namespace slidemill
