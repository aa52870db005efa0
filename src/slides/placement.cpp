#include "slides/placement.h"

#include "core/checked.h"
#include "core/runtimeerror.h"
#include "slides/fround.h"
#include "slides/presentationhost.h"

#include <algorithm>
#include <cmath>

namespace slidemill {

namespace {

constexpr double kFrameHeight = 375; // one photo per slide
constexpr double kPictureTop = 90;
// A photo this close to the slide's sides is fitted to its width instead.
constexpr std::int16_t kSideMargin = 5;
constexpr TextboxFrame kOneOneBox{90, 475, 542, 80};

constexpr std::int16_t kColumnWidth = 350; // two photos per slide
constexpr std::int16_t kMaxHeight = 370;
constexpr std::int16_t kColumnLeft[2] = {5, 365};
constexpr double kBoxLeft[2] = {30, 365};
constexpr std::int16_t kBoxGap = 95; // 5 points under the picture's lower edge at 90 + h
constexpr double kBoxWidth = 325;
constexpr double kBoxHeight = 200;

// Four photos per slide: two columns as above, two rows of cells, each with room for a line of
// caption under its lowest picture.
constexpr std::int16_t kCellWidth = 350;
constexpr std::int16_t kCellHeight = 225;
constexpr std::int16_t kCellLeft[2] = {5, 365};
constexpr std::int16_t kCellTop[2] = {15, 280};
constexpr std::int16_t kCaptionGap = 5;
constexpr double kCaptionHeight = 20; // the box fits its height to its text

// A checked floating-point division: x / 0 is 11, 0 / 0 and an infinite quotient are 6.
double divide(double a, double b) {
    if (b == 0.0)
        throw RuntimeError(a == 0.0 || std::isnan(a) ? errOverflow : errDivisionByZero);
    const double q = a / b;
    if (!std::isfinite(q))
        throw RuntimeError(errOverflow);
    return q;
}

// The hand-over to fRoundUp: rounded once to single precision, to nearest.
float single(double v) {
    const float f = static_cast<float>(v);
    if (!std::isfinite(f))
        throw RuntimeError(errOverflow);
    return f;
}

std::int16_t pixels(std::int32_t himetric) {
    return fRoundUp(single(divide(himetric, kHimetricPerPixel)));
}

// Half of what a slide wider than 720 points has more: what keeps the one-photo layout centred.
std::int16_t shiftOn(std::int16_t slideWidth) {
    return narrow16((slideWidth - kSlideWidth) / 2);
}

TextboxFrame oneOneBox(std::int16_t slideWidth) {
    TextboxFrame box = kOneOneBox;
    box.left += shiftOn(slideWidth);
    return box;
}

// Without a width or a height there are no proportions to keep: the errors the other layouts
// give for it.
void needBothSides(const Picture& picture) {
    if (picture.widthHimetric <= 0 || picture.heightHimetric <= 0)
        throw RuntimeError(picture.widthHimetric == picture.heightHimetric ? errOverflow
                                                                           : errDivisionByZero);
}

// Whether the picture is at least as wide for its height as the slide.
bool widerThanSlide(const Picture& picture, std::int16_t slideWidth) {
    return std::int64_t(picture.widthHimetric) * kSlideHeight >=
           std::int64_t(picture.heightHimetric) * slideWidth;
}

// Fit and fill round their sizes to the nearest point: a photo of the slide's own proportions,
// a hair off them in HIMETRIC, must fill it exactly rather than stand a point over.
std::int16_t nearest(double v) {
    if (!std::isfinite(v))
        throw RuntimeError(errOverflow);
    return narrow16(std::llround(v));
}

// A side of a filling picture that stands over its slide's side: its length when the other side
// spans `across` points, and what is cut before and after, a point more after when odd.
struct Overhang {
    std::int16_t length;
    double before;
    double after;
};

Overhang overhang(std::int16_t along, std::int16_t across, std::int32_t side, std::int32_t other) {
    const std::int16_t length = std::max(along, nearest(divide(double(across) * side, other)));
    const std::int16_t over = sub16(length, along);
    return {length, double(over / 2), double(over - over / 2)};
}

} // namespace

PhotoPlacement SlotPlacement::visible() const {
    return {picture.left + crop.left, picture.top + crop.top,
            picture.width - crop.left - crop.right, picture.height - crop.top - crop.bottom};
}

SlotPlacement placeOneOne(const Picture& picture, std::int16_t slideWidth) {
    // Height first: the width follows from the rounded height, not from the raw one.
    const std::int16_t h = pixels(picture.heightHimetric);
    const double scale = divide(h, kFrameHeight);
    const std::int16_t w =
        fRoundUp(single(divide(divide(picture.widthHimetric, kHimetricPerPixel), scale)));
    if (w > sub16(slideWidth, 2 * kSideMargin)) {
        // A panorama: as wide as the slide allows, centred in the frame's height.
        const std::int16_t width = sub16(slideWidth, 2 * kSideMargin);
        const std::int16_t height = fRoundUp(single(divide(kFrameHeight * width, w)));
        const std::int16_t top = fRoundUp(single(kPictureTop + divide(kFrameHeight - height, 2)));
        return {{double(kSideMargin), double(top), double(width), double(height)},
                oneOneBox(slideWidth),
                {}};
    }
    const std::int16_t left =
        add16(fRoundUp(single(divide(sub16(kSlideWidth, w), 2))), shiftOn(slideWidth));
    return {{double(left), kPictureTop, double(w), kFrameHeight}, oneOneBox(slideWidth), {}};
}

SlotPlacement placeFit(const Picture& picture, std::int16_t slideWidth) {
    needBothSides(picture);
    std::int16_t width = slideWidth;
    std::int16_t height = kSlideHeight;
    // The side that reaches the slide's edge first fills it; the other never passes it.
    if (widerThanSlide(picture, slideWidth))
        height = std::clamp<std::int16_t>(
            nearest(divide(double(slideWidth) * picture.heightHimetric, picture.widthHimetric)), 1,
            kSlideHeight);
    else
        width = std::clamp<std::int16_t>(
            nearest(divide(double(kSlideHeight) * picture.widthHimetric, picture.heightHimetric)),
            1, slideWidth);
    const std::int16_t left = narrow16((slideWidth - width) / 2);
    const std::int16_t top = narrow16((kSlideHeight - height) / 2);
    return {{double(left), double(top), double(width), double(height)}, oneOneBox(slideWidth), {}};
}

SlotPlacement placeFill(const Picture& picture, std::int16_t slideWidth) {
    needBothSides(picture);
    SlotPlacement at{{0, 0, double(slideWidth), double(kSlideHeight)}, oneOneBox(slideWidth), {}};
    // The side that reaches the slide's edge last fills it; the other stands over both edges
    // alike, a point more on the right or at the bottom when the overhang is odd.
    if (widerThanSlide(picture, slideWidth)) {
        const Overhang o =
            overhang(slideWidth, kSlideHeight, picture.widthHimetric, picture.heightHimetric);
        at.picture.width = o.length;
        at.picture.left = -o.before;
        at.crop.left = o.before;
        at.crop.right = o.after;
    } else {
        const Overhang o =
            overhang(kSlideHeight, slideWidth, picture.heightHimetric, picture.widthHimetric);
        at.picture.height = o.length;
        at.picture.top = -o.before;
        at.crop.top = o.before;
        at.crop.bottom = o.after;
    }
    return at;
}

SlotPlacement placeTwoOne(const Picture& picture, int column, std::int16_t slideWidth) {
    const int c = column == 0 ? 0 : 1;
    // A wider slide widens both columns by half of what it has more.
    const std::int16_t extra = shiftOn(slideWidth);
    const std::int16_t columnWidth = add16(kColumnWidth, extra);
    const std::int16_t w = pixels(picture.widthHimetric);
    const double scale = divide(w, columnWidth);
    // Both divisions in double, one rounding to single at the end.
    const std::int16_t h =
        fRoundUp(single(divide(divide(picture.heightHimetric, kHimetricPerPixel), scale)));

    std::int16_t left = c == 0 ? kColumnLeft[0] : add16(kColumnLeft[1], extra);
    std::int16_t width = columnWidth;
    std::int16_t height = h;
    if (h > kMaxHeight) {
        // Too tall for the frame: shrink the width to keep the proportions instead of
        // squeezing the picture, and centre it in its column.
        height = kMaxHeight;
        width = fRoundUp(single(divide(double(columnWidth) * kMaxHeight, h)));
        left = add16(left, fRoundUp(single(divide(sub16(columnWidth, width), 2))));
    }
    const std::int16_t boxTop = add16(height, kBoxGap);
    return {{double(left), kPictureTop, double(width), double(height)},
            {kBoxLeft[c] + (c == 0 ? 0 : extra), double(boxTop), kBoxWidth + extra, kBoxHeight},
            {}};
}

SlotPlacement placeFourOne(const Picture& picture, int cell, std::int16_t slideWidth) {
    const int c = cell >= 0 && cell < 4 ? cell : 0;
    // A wider slide widens both columns of cells by half of what it has more.
    const std::int16_t extra = shiftOn(slideWidth);
    const std::int16_t cellWidth = add16(kCellWidth, extra);
    const std::int16_t cellLeft = c % 2 == 0 ? kCellLeft[0] : add16(kCellLeft[1], extra);
    const std::int16_t cellTop = kCellTop[c / 2];
    const std::int16_t w = pixels(picture.widthHimetric);
    const std::int16_t h = pixels(picture.heightHimetric);
    // Without a width or a height there are no proportions to keep: the errors the other
    // layouts give for it.
    if (w == 0 || h == 0)
        throw RuntimeError(w == h ? errOverflow : errDivisionByZero);

    // The side that reaches its cell's edge first fills it; the other follows from the raw
    // size over the rounded one, as in the other layouts, and never leaves the cell.
    std::int16_t width = cellWidth;
    std::int16_t height = kCellHeight;
    if (std::int32_t(w) * kCellHeight >= std::int32_t(h) * cellWidth) {
        const double scale = divide(w, cellWidth);
        height = std::min(
            kCellHeight,
            fRoundUp(single(divide(divide(picture.heightHimetric, kHimetricPerPixel), scale))));
    } else {
        const double scale = divide(h, kCellHeight);
        width = std::min(
            cellWidth,
            fRoundUp(single(divide(divide(picture.widthHimetric, kHimetricPerPixel), scale))));
    }
    const std::int16_t left = add16(cellLeft, fRoundUp(single(divide(sub16(cellWidth, width), 2))));
    const std::int16_t top =
        add16(cellTop, fRoundUp(single(divide(sub16(kCellHeight, height), 2))));
    // The caption starts under the picture's left edge and may run to the cell's right edge.
    const std::int16_t captionTop = add16(add16(top, height), kCaptionGap);
    const std::int16_t captionWidth = sub16(add16(cellLeft, cellWidth), left);
    return {{double(left), double(top), double(width), double(height)},
            {double(left), double(captionTop), double(captionWidth), kCaptionHeight},
            {}};
}

TextboxFrame placeCaption(const PhotoPlacement& shown, int lines, std::int16_t slideWidth,
                          double floor, bool& overPicture) {
    const double height = fittedTextHeight(lines, kCaptionSize);
    const double width =
        std::min<double>(std::max<double>(shown.width, kMinCaptionWidth), slideWidth);
    double left = fRoundUp(single(shown.left + (shown.width - width) / 2));
    left = std::clamp(left, 0.0, slideWidth - width);
    const double bottom = shown.top + shown.height;
    double top = bottom + kCaptionGap;
    overPicture = top + height > floor;
    if (overPicture)
        top = std::min(bottom, floor) - height;
    return {left, top, width, height};
}

} // namespace slidemill
