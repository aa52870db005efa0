#pragma once

#include "host/presentationhost.h"
#include "slides/picture.h"

#include <QStringList>
#include <cstdint>

namespace slidemill {

// Left, top, width and height of one placed picture, in points.
struct PhotoPlacement {
    double left = 0;
    double top = 0;
    double width = 0;
    double height = 0;
    bool operator==(const PhotoPlacement&) const = default;
};

// One slide per photo. Paths are read first to last; description adds a "Description" box
// under every picture. The host is ended (and hands its presentation over) also when the
// build stops on an error, which is then rethrown.
void buildOneOne(const QStringList& paths, bool description, PictureLoader& loader,
                 PresentationHost& host);

// Two photos side by side per slide; a last unpaired photo stands alone on the left.
void buildTwoOne(const QStringList& paths, bool description, PictureLoader& loader,
                 PresentationHost& host);

} // namespace slidemill
