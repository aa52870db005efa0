#pragma once

#include "slides/bytesource.h"

#include <optional>

namespace slidemill::pptx {

struct ByteRange {
    qint64 offset = 0;
    qint64 length = 0;
};

// Where a JPEG keeps the thumbnail of its first EXIF block: the JPEG that IFD1 points at
// (JPEGInterchangeFormat and its length), in bytes from the start of the file. Empty when there
// is none, when it does not lie inside the block or does not start as a JPEG, and when the
// block is damaged.
std::optional<ByteRange> exifThumbnail(const ByteSource& bytes);

} // namespace slidemill::pptx
