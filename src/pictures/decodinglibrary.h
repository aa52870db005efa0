#pragma once

// The decoding module (slidemill-decoding.so: libvips, libheif and the code that calls them),
// loaded the first time a picture must be decoded, so that a build that decodes nothing never
// maps those libraries. Only src/pictures includes this.

#include "pictures/picturemaker.h"
#include "slides/picture.h"

#include <QSize>

namespace slidemill::pictures {

// makePicture's work once mustMake has said yes, done by the module. Loads the module the
// first time, from any thread: SLIDEMILL_DECODING_MODULE when set (the module's path), else
// slidemill-decoding.so beside the program, else where the package puts it relative to the
// program. Throws 48 naming the picture when the module is missing, damaged or built for
// another version of the interface; it is never unloaded.
MadePicture madeByModule(const Picture& picture, QSize shown);

} // namespace slidemill::pictures
