#pragma once

#include "slides/bytesource.h"

#include <cstdint>
#include <optional>

namespace slidemill {

// A picture's size in HIMETRIC (1/100 mm).
struct HimetricSize {
    std::int32_t width = 0;
    std::int32_t height = 0;
};

// numerator / denominator to the nearest whole number, halves away from zero; denominator > 0.
std::int64_t roundedQuotient(std::int64_t numerator, std::int64_t denominator);

// Starts with the placeable-metafile key 0x9AC6CDD7.
bool looksLikePlaceableWmf(const ByteSource& bytes);
// The placeable header's bounding box at its own units per inch. Empty when the header or the
// standard header behind it is damaged, the file is shorter than the metafile says, or the box
// is empty or turned inside out.
std::optional<HimetricSize> readPlaceableWmfSize(const ByteSource& bytes);

// Starts with an EMR_HEADER record carrying the " EMF" signature.
bool looksLikeEmf(const ByteSource& bytes);
// The header's frame rectangle, already in 0.01 mm. Empty when the header is damaged, the file is
// shorter than the header says, or the frame is empty or turned inside out.
std::optional<HimetricSize> readEmfSize(const ByteSource& bytes);

} // namespace slidemill
