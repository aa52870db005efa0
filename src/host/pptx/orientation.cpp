#include "host/pptx/orientation.h"

#include "host/pptx/units.h"

#include <array>
#include <cstdlib>

namespace slidemill::pptx {

namespace {

constexpr int kDegree = 60000;

} // namespace

Turn uprightTurn(int orientation) {
    // Mirrors are all horizontal: a vertical one is the same picture as a horizontal one
    // turned half round, and one kind of mirror is less for a reader to get wrong.
    switch (orientation) {
    case 2: // mirrored left to right
        return {0, true, false};
    case 3: // upside down
        return {180 * kDegree, false, false};
    case 4: // mirrored top to bottom
        return {180 * kDegree, true, false};
    case 5: // mirrored across the falling diagonal
        return {270 * kDegree, true, false};
    case 6: // stored a quarter turn anticlockwise
        return {90 * kDegree, false, false};
    case 7: // mirrored across the rising diagonal
        return {90 * kDegree, true, false};
    case 8: // stored a quarter turn clockwise
        return {270 * kDegree, false, false};
    default:
        return {};
    }
}

std::optional<Frame> unturnedFrame(const Frame& shown, const Turn& turn) {
    if (!turn.quarter())
        return shown;
    const std::int64_t half = (shown.cx - shown.cy) / 2;
    const Frame f{shown.x + half, shown.y - half, shown.cy, shown.cx};
    if (std::llabs(f.x) > kMaxCoordinateEmu || std::llabs(f.y) > kMaxCoordinateEmu)
        return std::nullopt;
    return f;
}

Crop storedCrop(const Crop& shown, const Turn& turn) {
    // Sides counted clockwise from the left, so that a quarter turn clockwise adds one.
    const std::array<int, 4> upright{shown.left, shown.top, shown.right, shown.bottom};
    const int quarters = turn.rotation / (90 * kDegree);
    std::array<int, 4> stored{};
    for (int side = 0; side < 4; ++side) {
        // The mirror comes first, then the turn.
        int to = side;
        if ((turn.flipH && to % 2 == 0) || (turn.flipV && to % 2 == 1))
            to = (to + 2) % 4;
        stored[std::size_t(side)] = upright[std::size_t((to + quarters) % 4)];
    }
    return {stored[0], stored[1], stored[2], stored[3]};
}

} // namespace slidemill::pptx
