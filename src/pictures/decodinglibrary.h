#pragma once

// The decoding module (slidemill-decoding.so: libvips, libheif and the code that calls them),
// loaded the first time a picture must be decoded; a build that decodes nothing never maps
// those libraries. Only src/pictures includes this.

#include "pictures/picturemaker.h"
#include "pictures/thumbnail.h"
#include "slides/picture.h"

#include <QSize>
#include <QString>
#include <functional>

namespace slidemill::pictures {

// What the module gives the program that loads it. The module is built with the program and
// uses the program's own copy of everything else (the fault seam, the decode budget, the
// errors), so it is refused when it comes from another version.
struct DecodingEntries {
    const char* version;
    MadePicture (*makePicture)(const Picture& picture, QSize shown);
    Thumbnail (*makeThumbnail)(const Picture& picture, int side,
                               const std::function<bool()>& cancelled);
};

// The module's entry point, looked up by this name.
inline constexpr char kDecodingEntriesSymbol[] = "slidemill_decoding_entries";
using DecodingEntriesFunction = const DecodingEntries* (*)();

// Loads the module the first time, from any thread: SLIDEMILL_DECODING_MODULE when set (the
// module's path), else slidemill-decoding.so beside the program, else where the package puts
// it relative to the program. Throws 481 naming the picture when it cannot be loaded; why goes
// to the debug log. Never unloaded.
const DecodingEntries& decodingLibrary(const Picture& picture);

// True once the module was asked for and could not be loaded: what a picture's decoding then
// fails of is the program's, not the picture's.
bool decodingLibraryMissing();

// Error 481 naming the picture, "Invalid picture: <cause>", the cause in our words.
[[noreturn]] void undecodable(const Picture& picture, const QString& cause);

} // namespace slidemill::pictures
