#pragma once

#include "slides/picture.h"

#include <QByteArray>
#include <QSize>
#include <functional>

namespace slidemill::pictures {

struct Thumbnail {
    // A JPEG file, or PNG where the picture has transparency; empty for WMF and EMF.
    QByteArray bytes;
    QSize size;
};

// Thrown by makeThumbnail when it was told to stop.
struct ThumbnailCancelled {};

// The measured picture upright, in sRGB, fitted into side x side and never enlarged. Made from
// the thumbnail its file carries where that has the size needed (a JPEG's EXIF thumbnail, a
// HEIF's thumbnail item), otherwise from the picture decoded shrunk (a JPEG by DCT scaling, a
// WebP by libwebp's scaled decode; the rest whole or line by line) and resized with Lanczos3.
// The file is opened through MeasuredFile, decoded with the picture maker's decoders and
// memory budget. `cancelled` is asked as the work goes on, also while libvips computes the
// pixels; once it answers true, ThumbnailCancelled is thrown. Throws RuntimeError as
// makePicture does. Safe to call from any thread.
Thumbnail makeThumbnail(const Picture& picture, int side,
                        const std::function<bool()>& cancelled = {});

} // namespace slidemill::pictures
