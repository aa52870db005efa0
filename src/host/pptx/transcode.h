#pragma once

#include "slides/picture.h"

#include <QByteArray>

namespace slidemill::pptx {

struct Transcoded {
    QByteArray bytes;
    // JPEG, or PNG for a picture with transparency (host/pptx/mediatypes.h decides).
    PictureFormat format = PictureFormat::Jpeg;
};

// Decodes a picture of a format that not every presentation application shows (HEIC, HEIF and
// AVIF through libheif, WebP through Qt) and encodes it as JPEG of quality 92, or as PNG when
// it has transparency, keeping its colour profile. The pixels are turned as its orientation
// says, so the copy stands upright and carries no orientation of its own. One decoded picture
// is held at a time; safe to call from any thread. Throws RuntimeError 75 when the file cannot
// be read or is no longer the one measured, and 481 when it cannot be decoded, naming the file.
Transcoded transcode(const Picture& picture);

} // namespace slidemill::pptx
