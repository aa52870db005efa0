#pragma once

#include "slides/picture.h"

class QIODevice;

namespace slidemill {

// Measures a picture from its header alone; no pixel is decoded. Throws RuntimeError 53 for a
// missing file and 481 for anything that is not a picture it can measure, naming the file.
Picture readPicture(const QString& path);
// The same on an open, random-access device; path is only recorded and named in errors.
Picture readPicture(QIODevice& device, const QString& path);

// The content type and file extension a format is stored under in a package.
QString contentType(PictureFormat format);
QString extension(PictureFormat format);

class HeaderPictureLoader : public PictureLoader {
public:
    Picture load(const QString& path) override { return readPicture(path); }
};

} // namespace slidemill
