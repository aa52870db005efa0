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

// What each layout leaves for a caption box under its lowest picture, past the gap above it
// (and, under the upper row of four, the gap above the lower row): 70, 75 and 30 points.
constexpr double kOneOneRoomUnder = kSlideHeight - kPictureTop - kFrameHeight - kCaptionGap;
constexpr double kTwoOneRoomUnder = kSlideHeight - kPictureTop - kMaxHeight - kCaptionGap;
constexpr double kFourOneRoomUnder = kCellTop[1] - kCellTop[0] - kCellHeight - 2 * kCaptionGap;
static_assert(kFourOneRoomUnder == kSlideHeight - kCellTop[1] - kCellHeight - kCaptionGap);

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

// Whole points a caption box of `height` takes from a frame of `frame` points above it that
// leaves it `roomUnder`; the frame keeps a point.
std::int16_t takenFrom(std::int16_t frame, double height, double roomUnder) {
    if (!(height > roomUnder))
        return 0;
    const double over = std::ceil(height - roomUnder);
    return over < frame ? narrow16(std::llround(over)) : sub16(frame, 1);
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

SlotPlacement placeOneOne(const Picture& picture, std::int16_t slideWidth, double captionHeight) {
    const double frame =
        kFrameHeight - takenFrom(std::int16_t(kFrameHeight), captionHeight, kOneOneRoomUnder);
    // Height first: the width follows from the rounded height, not from the raw one.
    const std::int16_t h = pixels(picture.heightHimetric);
    const double scale = divide(h, frame);
    const std::int16_t w =
        fRoundUp(single(divide(divide(picture.widthHimetric, kHimetricPerPixel), scale)));
    if (w > sub16(slideWidth, 2 * kSideMargin)) {
        // A panorama: as wide as the slide allows, centred in the frame's height.
        const std::int16_t width = sub16(slideWidth, 2 * kSideMargin);
        const std::int16_t height = fRoundUp(single(divide(frame * width, w)));
        const std::int16_t top = fRoundUp(single(kPictureTop + divide(frame - height, 2)));
        return {{double(kSideMargin), double(top), double(width), double(height)},
                oneOneBox(slideWidth),
                {}};
    }
    const std::int16_t left =
        add16(fRoundUp(single(divide(sub16(kSlideWidth, w), 2))), shiftOn(slideWidth));
    return {{double(left), kPictureTop, double(w), frame}, oneOneBox(slideWidth), {}};
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

SlotPlacement placeTwoOne(const Picture& picture, int column, std::int16_t slideWidth,
                          double captionHeight) {
    const int c = column == 0 ? 0 : 1;
    const std::int16_t maxHeight =
        sub16(kMaxHeight, takenFrom(kMaxHeight, captionHeight, kTwoOneRoomUnder));
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
    if (h > maxHeight) {
        // Too tall for the frame: shrink the width to keep the proportions instead of
        // squeezing the picture, and centre it in its column.
        height = maxHeight;
        width = fRoundUp(single(divide(double(columnWidth) * maxHeight, h)));
        left = add16(left, fRoundUp(single(divide(sub16(columnWidth, width), 2))));
    }
    const std::int16_t boxTop = add16(height, kBoxGap);
    return {{double(left), kPictureTop, double(width), double(height)},
            {kBoxLeft[c] + (c == 0 ? 0 : extra), double(boxTop), kBoxWidth + extra, kBoxHeight},
            {}};
}

SlotPlacement placeFourOne(const Picture& picture, int cell, std::int16_t slideWidth,
                           double captionHeight) {
    const int c = cell >= 0 && cell < 4 ? cell : 0;
    // A taller caption lifts the cell's foot.
    const std::int16_t cellHeight =
        sub16(kCellHeight, takenFrom(kCellHeight, captionHeight, kFourOneRoomUnder));
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
    std::int16_t height = cellHeight;
    if (std::int32_t(w) * cellHeight >= std::int32_t(h) * cellWidth) {
        const double scale = divide(w, cellWidth);
        height = std::min(
            cellHeight,
            fRoundUp(single(divide(divide(picture.heightHimetric, kHimetricPerPixel), scale))));
    } else {
        const double scale = divide(h, cellHeight);
        width = std::min(
            cellWidth,
            fRoundUp(single(divide(divide(picture.widthHimetric, kHimetricPerPixel), scale))));
    }
    const std::int16_t left = add16(cellLeft, fRoundUp(single(divide(sub16(cellWidth, width), 2))));
    const std::int16_t top = add16(cellTop, fRoundUp(single(divide(sub16(cellHeight, height), 2))));
    // The caption starts under the picture's left edge and may run to the cell's right edge.
    const std::int16_t captionTop = add16(add16(top, height), kCaptionGap);
    const std::int16_t captionWidth = sub16(add16(cellLeft, cellWidth), left);
    return {{double(left), double(top), double(width), double(height)},
            {double(left), double(captionTop), double(captionWidth), kCaptionHeight},
            {}};
}

PhotoPlacement slotRoom(int perSlide, int slot, std::int16_t slideWidth) {
    const std::int16_t extra = shiftOn(slideWidth);
    const int column = slot % 2;
    const double left = column == 0 ? kColumnLeft[0] : kColumnLeft[1] + extra;
    const double width = kColumnWidth + extra;
    if (perSlide == 2)
        return {left, 0, width, kSlideHeight};
    if (perSlide == 4) {
        if (slot < 2)
            return {left, double(kCellTop[0]), width,
                    double(kCellTop[1] - kCaptionGap - kCellTop[0])};
        return {left, double(kCellTop[1]), width, double(kSlideHeight - kCellTop[1])};
    }
    return {0, 0, double(slideWidth), kSlideHeight};
}

CaptionPlacement placeCaption(const PhotoPlacement& shown, int lines, double points,
                              const PhotoPlacement& room) {
    const double height = fittedTextHeight(lines, points);
    const double roomRight = room.left + room.width;
    const double roomFoot = room.top + room.height;
    const double foot = std::min(shown.top + shown.height, roomFoot);

    const double width =
        std::min<double>(std::max<double>(shown.width, kMinCaptionWidth), room.width);
    double left = fRoundUp(single(shown.left + (shown.width - width) / 2));
    left = std::clamp(left, room.left, roomRight - width);
    if (foot + kCaptionGap + height <= roomFoot)
        return {{left, foot + kCaptionGap, width, height}, CaptionSpot::Under};

    // A photo that leaves bands beside it (a 4:3 photo fitted to a 16:9 slide) has its caption
    // there rather than over itself.
    const double leftBand = shown.left - kCaptionGap - room.left;
    const double rightBand = roomRight - (shown.left + shown.width + kCaptionGap);
    const double band = std::max(leftBand, rightBand);
    if (band - 2 * kTextInset >= kMinBesideEms * points && foot - height >= room.top) {
        if (rightBand >= leftBand)
            return {{roomRight - rightBand, foot - height, rightBand, height},
                    CaptionSpot::RightOf};
        return {{room.left, foot - height, leftBand, height}, CaptionSpot::LeftOf};
    }
    return {{left, std::max(foot - height, room.top), width, height}, CaptionSpot::OverPicture};
}

} // namespace slidemill
