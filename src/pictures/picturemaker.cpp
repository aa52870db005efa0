#include "pictures/picturemaker.h"

#include "pictures/decodinglibrary.h"
#include "slides/pictureformats.h"

namespace slidemill::pictures {

bool mustMake(const Picture& picture, QSize shown) {
    if (formatRow(picture.format).storage == Storage::Transcoded)
        return true;
    if (picture.format == PictureFormat::Wmf || picture.format == PictureFormat::Emf ||
        shown.isEmpty())
        return false;
    const QSize pixels = measuredPixels(picture);
    return pixels.width() > shown.width() || pixels.height() > shown.height();
}

MadePicture makePicture(const Picture& picture, QSize shown) {
    if (!mustMake(picture, shown))
        return {{}, picture.format, measuredPixels(picture)};
    return madeByModule(picture, shown);
}

} // namespace slidemill::pictures
