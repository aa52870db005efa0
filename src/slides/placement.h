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

// Points cut from each side of a placed picture; what is left shows where it was.
struct PhotoCrop {
    double left = 0;
    double top = 0;
    double right = 0;
    double bottom = 0;
    bool any() const { return left != 0 || top != 0 || right != 0 || bottom != 0; }
    bool operator==(const PhotoCrop&) const = default;
};

// Where one photo and its description box go on its slide. `picture` is the whole photo as
// placed; `crop` cuts it down to what the slide shows.
struct SlotPlacement {
    PhotoPlacement picture;
    TextboxFrame description;
    PhotoCrop crop;
    bool operator==(const SlotPlacement&) const = default;

    // What of the picture the slide shows.
    PhotoPlacement visible() const;
};

// Slides are 540 points high, 720 wide (4:3) or 960 (16:9).
inline constexpr std::int16_t kSlideWidth = 720;
inline constexpr std::int16_t kWideSlideWidth = 960;
inline constexpr std::int16_t kSlideHeight = 540;

// One photo per slide: 375 points high, centred on the slide, 90 from the top, the description
// box 90 points from the left of a 720-point slide (as far again right on a wider one). A
// photo wider than the slide less 10 points at that height is fitted to that width instead,
// 5 from the left, centred in the 375 points.
// `captionHeight` is the height of a caption box to leave room for under the photo (0: none):
// taller than the 70 points under the frame, it takes the rest from the frame's height.
// Throws the overflow error (6) when a size leaves 16 bits and the floating-point errors
// (11 division by zero, 6 overflow or 0 / 0) for a zero size.
SlotPlacement placeOneOne(const Picture& picture, std::int16_t slideWidth = kSlideWidth,
                          double captionHeight = 0);

// One photo per slide, whole and as large as the slide allows, centred: it touches two
// opposite edges. The description box is where placeOneOne puts it.
SlotPlacement placeFit(const Picture& picture, std::int16_t slideWidth = kSlideWidth);

// One photo per slide covering the whole slide: scaled until the slide is covered, centred,
// and cropped to the slide by the same amount on both sides that stand over.
SlotPlacement placeFill(const Picture& picture, std::int16_t slideWidth = kSlideWidth);

// Two photos per slide, column 0 (left) or 1 (right): 350 points wide, at most 370 high.
// A photo taller than that keeps its proportions inside 350 x 370, centred in its column. On
// a wider slide each column, and its box, is wider by half of what the slide has more. A
// caption box taller than the 75 points under 370 takes the rest from the 370.
SlotPlacement placeTwoOne(const Picture& picture, int column, std::int16_t slideWidth = kSlideWidth,
                          double captionHeight = 0);

// Four photos per slide, cell 0 to 3 (top left, top right, bottom left, bottom right): each
// scaled to fit a cell of 350 x 225 points with its proportions kept and centred in it, the
// caption box 5 points under the picture, from its left edge to the cell's right edge.
// On a wider slide each column of cells is wider by half of what the slide has more. A caption
// box taller than the 30 points under a cell takes the rest from the cell's foot.
SlotPlacement placeFourOne(const Picture& picture, int cell, std::int16_t slideWidth = kSlideWidth,
                           double captionHeight = 0);

// The part of its slide photo `slot` of a layout of `perSlide` photos a slide has for itself
// and its caption: the slide, its column of two, or its cell of four down to 5 points above the
// lower row or to the slide's foot.
PhotoPlacement slotRoom(int perSlide, int slot, std::int16_t slideWidth);

// Where a caption stands by its photo, and so how its text is set.
enum class CaptionSpot {
    Under,       // centred under the photo
    LeftOf,      // in the room left of it, at its foot, the text toward it (right-aligned)
    RightOf,     // in the room right of it, at its foot, left-aligned
    OverPicture, // on the photo's foot, centred: it needs a band behind it to read
};

struct CaptionPlacement {
    TextboxFrame box;
    CaptionSpot spot = CaptionSpot::Under;
    bool operator==(const CaptionPlacement&) const = default;
};

// A caption of `lines` lines of `points`-point text by a photo shown at `shown`, inside `room`
// (the part of the slide the photo's slot has, the room under it included):
// - under the photo, 5 points below it, when it fits there above the room's foot: centred,
//   as wide as the photo but at least kMinCaptionWidth;
// - else beside it, in the wider of the room's bands left and right of it (the right one when
//   both are alike), when that leaves kMinBesideEms of text between the box's insets and the
//   caption fits above the photo's foot: from the band's outer edge to 5 points short of the
//   photo, its foot on the photo's;
// - else over the photo's foot, as wide as it would be under it.
// The box never starts outside the room.
CaptionPlacement placeCaption(const PhotoPlacement& shown, int lines, double points,
                              const PhotoPlacement& room);
inline constexpr std::int16_t kMinCaptionWidth = 144;
// A band narrower than this would set a date a word a line.
inline constexpr double kMinBesideEms = 4;
// A text box's inset on either side of its text.
inline constexpr double kTextInset = 7.2;

} // namespace slidemill
