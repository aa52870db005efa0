#pragma once

#include "slides/picture.h"

class QIODevice;

namespace slidemill {

// Measures a picture from its header alone; no pixel is decoded. Throws RuntimeError 53 for a
// missing file, 75 for one that may not be read, and 481 for anything that is not a whole
// picture it can measure, naming the file.
Picture readPicture(const QString& path);
// The same on an open, random-access device; path is only recorded and named in errors.
Picture readPicture(QIODevice& device, const QString& path);

class HeaderPictureLoader : public PictureLoader {
public:
    Picture load(const QString& path) override { return readPicture(path); }
};

} // namespace slidemill
