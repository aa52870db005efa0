#pragma once

// libvips and libheif as the decoders use them: started once, their process-wide state kept in
// libraries.cpp, whose head says which thread may touch what. Only the decoding module's
// sources include this.

#include "pictures/picturemaker.h"
#include "pictures/thumbnail.h"
#include "slides/picture.h"

#include <QSize>
#include <QString>
#include <functional>
#include <memory>
#include <vips/vips.h>

namespace slidemill::pictures {

// What the module's entry points (decodingmodule.cpp) call: makePicture once mustMake has said
// yes, and makeThumbnail for a picture that is neither WMF nor EMF.
MadePicture makeDecodedPicture(const Picture& picture, QSize shown);
Thumbnail makeDecodedThumbnail(const Picture& picture, int side,
                               const std::function<bool()>& cancelled);
// Error 481 naming the picture, "Invalid picture: <cause>", the cause in our words.
[[noreturn]] void undecodable(const Picture& picture, const QString& cause);
// A libvips call on the picture failed: 481 with a cause of ours; the library's text goes to
// the debug log.
[[noreturn]] void vipsFailed(const Picture& picture);
// A library's own words about the picture, for the debug log only.
void logLibraryText(const Picture& picture, const char* library, const QString& text);

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

QSize sizeOf(const VipsImage* image);

} // namespace slidemill::pictures
