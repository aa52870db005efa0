#pragma once

// What the picture maker and the previews share to decode a picture: a decoder for each format
// of the format table, libvips for five of them with every other loader blocked, the HEIF
// family through libheif, BMP through Qt, all inside the decode budget. Only src/pictures
// includes it.

#include "pictures/budget.h"
#include "pictures/libraries.h"
#include "pictures/measuredfile.h"
#include "pictures/sizes.h"
#include "slides/picture.h"

#include <QSize>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vips/vips.h>

namespace slidemill::pictures {

// What decoding gave: the pixels as the file stores them, perhaps shrunk while decoded.
struct Decoded {
    // Given back once the memory below is.
    Reservation reservation;
    // Whoever owns the memory `image` reads, released after it.
    std::shared_ptr<void> pixels;
    Image image;
    // The full size as stored, before any shrink.
    QSize stored;
    // Already upright (libheif applies irot and imir).
    bool upright = false;
    // A photograph, stored as JPEG unless it has transparency.
    bool photographic = false;
    // Stored as its file (an animated GIF); `image` holds its first frame.
    bool keep = false;
};

// Asked as a picture is read and decoded, where a caller may stop it (the previews): once it
// answers true, reading fails and the decoder with it, or ThumbnailCancelled is thrown.
using Cancelled = std::function<bool()>;

QSize uprightOf(const Picture& picture, const Decoded& d);
// The size as stored whose upright picture fits `shown`.
QSize storedTarget(const Picture& picture, const Decoded& d, QSize shown);

// Decodes the picture from the open file with the decoder for its measured format; a JPEG or
// WebP shrunk while it is decoded towards `shown` (the upright size it is shown at). Pixels are
// read as the image is used. Throws 481 naming the file when it cannot be decoded, is too large
// to decode whole or decodes to other proportions than its header gave.
Decoded decode(const Picture& picture, const MeasuredFile& file, QSize shown,
               const Cancelled& cancelled = {});

// The picture decoded from the thumbnail its file carries (a JPEG's EXIF thumbnail, a HEIF's
// thumbnail item), when that has at least the size that fits `shown` in the picture's own
// proportions; empty when the file carries none such.
std::optional<Decoded> decodeThumbnail(const Picture& picture, const MeasuredFile& file,
                                       QSize shown);

// Resized with Lanczos3 to `target`, premultiplied where there is transparency.
Image resized(const Picture& picture, Image image, QSize target);
// The picture as its orientation shows it: turned in memory, where it is already its final
// size.
Image turned(const Picture& picture, Image image, Reservation& reservation);

} // namespace slidemill::pictures
