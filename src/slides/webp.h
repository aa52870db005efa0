#pragma once

#include "slides/bytesource.h"

#include <QDateTime>

#include <optional>

namespace slidemill {

// "RIFF", a size, "WEBP".
bool looksLikeWebp(const ByteSource& bytes);

// The file runs as far as its RIFF header says.
bool webpIsWhole(const ByteSource& bytes);

struct WebpPicture {
    // The size as stored; orientation 5 to 8 exchanges the sides.
    qint64 width = 0;
    qint64 height = 0;
    // From the EXIF chunk; 1 and invalid without one.
    int orientation = 1;
    bool alpha = false;
    QDateTime taken;
};

// Measures a WebP from its VP8 (lossy), VP8L (lossless) or VP8X (extended) chunk, with the
// orientation and date of its EXIF chunk. Empty when a chunk is damaged or runs past the end of the
// file (a file cut short), or no chunk holds a picture.
std::optional<WebpPicture> readWebp(const ByteSource& bytes);

} // namespace slidemill
