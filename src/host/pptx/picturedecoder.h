#pragma once

// What the picture maker and the previews share to decode a picture: libvips started once with
// every loader blocked but the five Slidemill calls by name for the format measured, the HEIF
// family through libheif on a thread whose standard error goes nowhere, BMP through Qt, and
// one budget of memory for the pictures decoded whole. Only the host's own sources include it.

#include "host/pptx/measuredfile.h"
#include "slides/picture.h"

#include <QSize>
#include <QString>
#include <memory>
#include <optional>
#include <utility>
#include <vips/vips.h>

namespace slidemill::pptx {

// Error 481 naming the picture, "Invalid picture: <cause>".
[[noreturn]] void undecodable(const Picture& picture, const QString& cause);
// The same with libvips' last error as the cause.
[[noreturn]] void vipsFailed(const Picture& picture);

// Starts libvips the first time; throws 481 naming the picture when it cannot start.
void needVips(const Picture& picture);

struct Unref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
using Image = std::unique_ptr<VipsImage, Unref>;
using Source = std::unique_ptr<VipsSource, Unref>;

// The image a libvips call put in `out`, or its error.
Image loaded(const Picture& picture, int failed, VipsImage*& out);

// vips_thread_shutdown when the picture is made: the thread may be one of a pool, or end.
struct VipsThreadEnd {
    ~VipsThreadEnd();
};

// A picture's share of the memory that pictures decoded whole may take together (512 MiB):
// the first share waits until it is free, later ones are taken at once, so that two pictures
// never wait for each other; more than all of it is refused as too large to decode.
class Reservation {
public:
    Reservation() = default;
    Reservation(Reservation&& other) noexcept : bytes_(std::exchange(other.bytes_, 0)) {}
    Reservation& operator=(Reservation&&) = delete;
    ~Reservation();

    void add(const Picture& picture, QSize pixels, qint64 bytes);

private:
    qint64 bytes_ = 0;
};

qint64 area(QSize size);
QSize sizeOf(const VipsImage* image);

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

QSize uprightOf(const Picture& picture, const Decoded& d);
// The size as stored whose upright picture fits `shown`.
QSize storedTarget(const Picture& picture, const Decoded& d, QSize shown);

// Decodes the picture from the open file with the decoder for its measured format; a JPEG or
// WebP shrunk while it is decoded towards `shown` (the upright size it is shown at). Pixels are
// read as the image is used. Throws 481 naming the file when it cannot be decoded, is too large
// to decode whole or decodes to other proportions than its header gave.
Decoded decode(const Picture& picture, const MeasuredFile& file, QSize shown);

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

} // namespace slidemill::pptx
