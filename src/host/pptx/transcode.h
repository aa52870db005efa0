#pragma once

#include "slides/picture.h"

#include <QByteArray>

namespace slidemill::pptx {

struct Transcoded {
    QByteArray bytes;
    // storedFormat(picture): JPEG, or PNG for a picture with transparency.
    PictureFormat format = PictureFormat::Jpeg;
};

// The copy of a HEIC, HEIF, AVIF or WebP that the package writer stores while it does not
// resize: makePicture (host/pptx/picturemaker.h) keeping every pixel, in the format
// storedFormat names.
Transcoded transcode(const Picture& picture);

} // namespace slidemill::pptx
