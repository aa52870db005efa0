#pragma once

#include <QSize>
#include <algorithm>
#include <cstdint>
#include <limits>

namespace slidemill::pptx {

// Every length in the package is in EMU (English Metric Units), chosen so that inches,
// centimetres and points are all whole numbers:
//
//   1 inch  = 914400 EMU
//   1 cm    = 360000 EMU
//   1 point =  12700 EMU    (72 points to the inch)
//
// The slide is 720 x 540 points:
//
//   (0,0) +----------------------------+
//         |                            |  6858000 EMU (540 pt)
//         +----------------------------+
//                 9144000 EMU (720 pt)
//
// Font sizes are in hundredths of a point (12 pt = 1200); angles in 60000ths of a degree.
inline constexpr std::int64_t kEmuPerPoint = 12700;
inline constexpr std::int64_t kSlideWidthEmu = 720 * kEmuPerPoint;
inline constexpr std::int64_t kSlideHeightEmu = 540 * kEmuPerPoint;
// The largest coordinate the file format allows (ST_Coordinate).
inline constexpr std::int64_t kMaxCoordinateEmu = 27273042316900;

// The upright size in pixels at which a box of cx x cy EMU shows its picture at `ppi` pixels
// per inch, rounded up: 500 x 375 points at 220 ppi is 1528 x 1146.
inline QSize shownPixels(std::int64_t cxEmu, std::int64_t cyEmu, int ppi) {
    constexpr std::int64_t emuPerInch = 72 * kEmuPerPoint;
    auto pixels = [ppi](std::int64_t emu) {
        const std::int64_t p = (std::max<std::int64_t>(emu, 0) * ppi + emuPerInch - 1) / emuPerInch;
        return int(std::min<std::int64_t>(p, std::numeric_limits<int>::max()));
    };
    return {pixels(cxEmu), pixels(cyEmu)};
}

} // namespace slidemill::pptx
