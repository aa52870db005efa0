#include "slides/placement.h"

#include "core/checked.h"
#include "core/runtimeerror.h"
#include "slides/fround.h"

#include <cmath>

namespace slidemill {

namespace {

constexpr double kFrameHeight = 375; // one photo per slide
constexpr std::int16_t kSlideWidth = 720;
constexpr double kPictureTop = 90;
constexpr TextboxFrame kOneOneBox{90, 475, 542, 80};

constexpr std::int16_t kColumnWidth = 350; // two photos per slide
constexpr std::int16_t kMaxHeight = 370;
constexpr std::int16_t kColumnLeft[2] = {5, 365};
constexpr double kBoxLeft[2] = {30, 365};
constexpr std::int16_t kBoxGap = 95; // 5 points under the picture's lower edge at 90 + h
constexpr double kBoxWidth = 325;
constexpr double kBoxHeight = 200;

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

} // namespace

SlotPlacement placeOneOne(const Picture& picture) {
    // Height first: the width follows from the rounded height, not from the raw one.
    const std::int16_t h = pixels(picture.heightHimetric);
    const double scale = divide(h, kFrameHeight);
    const std::int16_t w =
        fRoundUp(single(divide(divide(picture.widthHimetric, kHimetricPerPixel), scale)));
    const std::int16_t left = fRoundUp(single(divide(sub16(kSlideWidth, w), 2)));
    return {{double(left), kPictureTop, double(w), kFrameHeight}, kOneOneBox};
}

SlotPlacement placeTwoOne(const Picture& picture, int column) {
    const int c = column == 0 ? 0 : 1;
    const std::int16_t w = pixels(picture.widthHimetric);
    const double scale = divide(w, kColumnWidth);
    // Both divisions in double, one rounding to single at the end.
    const std::int16_t h =
        fRoundUp(single(divide(divide(picture.heightHimetric, kHimetricPerPixel), scale)));

    std::int16_t left = kColumnLeft[c];
    std::int16_t width = kColumnWidth;
    std::int16_t height = h;
    if (h > kMaxHeight) {
        // Too tall for the frame: shrink the width to keep the proportions instead of
        // squeezing the picture, and centre it in its column.
        height = kMaxHeight;
        width = fRoundUp(single(divide(double(kColumnWidth) * kMaxHeight, h)));
        left = add16(left, fRoundUp(single(divide(sub16(kColumnWidth, width), 2))));
    }
    const std::int16_t boxTop = add16(height, kBoxGap);
    return {{double(left), kPictureTop, double(width), double(height)},
            {kBoxLeft[c], double(boxTop), kBoxWidth, kBoxHeight}};
}

} // namespace slidemill
