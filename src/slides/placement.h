#pragma once

#include "slides/picture.h"

#include <cstdint>

namespace slidemill {

// Pixels are HIMETRIC / 26.46 (not 2540 / 96): every placement depends on this very number.
inline constexpr double kHimetricPerPixel = 26.46;

// Left, top, width and height of one placed picture, in points.
struct PhotoPlacement {
    double left = 0;
    double top = 0;
    double width = 0;
    double height = 0;
    bool operator==(const PhotoPlacement&) const = default;
};

// A "Description" box is placed by the same four numbers.
using TextboxFrame = PhotoPlacement;

// Where one photo and its description box go on its slide.
struct SlotPlacement {
    PhotoPlacement picture;
    TextboxFrame description;
    bool operator==(const SlotPlacement&) const = default;
};

// One photo per slide: 375 points high, centred on a 720-point slide, 90 from the top.
// Throws the overflow error (6) when a size leaves 16 bits and the floating-point errors
// (11 division by zero, 6 overflow or 0 / 0) for a zero size.
SlotPlacement placeOneOne(const Picture& picture);

// Two photos per slide, column 0 (left) or 1 (right): 350 points wide, at most 370 high.
// A photo taller than that keeps its proportions inside 350 x 370, centred in its column.
SlotPlacement placeTwoOne(const Picture& picture, int column);

// Four photos per slide, cell 0 to 3 (top left, top right, bottom left, bottom right): each
// scaled to fit a cell of 350 x 225 points with its proportions kept and centred in it, the
// caption box 5 points under the picture, from its left edge to the cell's right edge.
SlotPlacement placeFourOne(const Picture& picture, int cell);

// The same placement `dx` points further right, as on a slide 2 * dx points wider.
SlotPlacement movedRight(const SlotPlacement& at, std::int16_t dx);

} // namespace slidemill
