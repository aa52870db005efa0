#pragma once

#include "host/pptx/deck.h"

#include <optional>

namespace slidemill::pptx {

// How a picture shape shows a photo upright whose file stores it turned or mirrored, as
// EXIF orientation 1 to 8 says. DrawingML mirrors the picture inside its box first, then
// turns the box clockwise about its centre.
struct Turn {
    // 60000ths of a degree: 0, 90, 180 or 270 degrees.
    int rotation = 0;
    bool flipH = false;
    bool flipV = false;

    bool quarter() const { return rotation == 5400000 || rotation == 16200000; }
};

// The turn for an EXIF orientation; anything outside 1 to 8 is upright already.
Turn uprightTurn(int orientation);

// The frame to write so that the turned shape covers `shown` exactly: for a quarter turn,
// width and height exchanged about the same centre. Empty when that leaves the coordinates
// the file format allows.
std::optional<Frame> unturnedFrame(const Frame& shown, const Turn& turn);

// The crop of the stored picture that shows `shown`, the crop of the upright one, once the
// shape is turned: each side of the stored picture takes the crop of the side it turns into.
Crop storedCrop(const Crop& shown, const Turn& turn);

} // namespace slidemill::pptx
