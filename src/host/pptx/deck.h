#pragma once

#include "slides/picture.h"

#include <QSize>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

namespace slidemill::pptx {

// A frame in EMU (see units.h).
struct Frame {
    std::int64_t x = 0;
    std::int64_t y = 0;
    std::int64_t cx = 0;
    std::int64_t cy = 0;
};

// One picture file, stored once however often it is shown.
struct Media {
    // As the build measured it: only that file may be stored for it.
    Picture picture;
    // The upright size in pixels it is shown at, for a copy made to that size; empty: every
    // pixel is kept.
    QSize shown;
};

struct Shape {
    enum class Kind { Picture, TextBox };
    Kind kind = Kind::Picture;
    // Unique within its slide; 1 is the slide's shape tree.
    int id = 0;
    QString name;
    // Where the shape shows, as the build asked. A picture stored turned is written with its
    // frame turned to match (orientation.h).
    Frame frame;
    // Clockwise about the frame's centre, in 60000ths of a degree; the mirror comes first.
    int rotation = 0;
    bool flipH = false;
    bool flipV = false;

    // Picture: index into Deck::media; the file name goes into the description.
    int media = -1;
    QString description;
    bool lineVisible = false;
    std::int64_t lineWidthEmu = 9525;

    // Text box: one entry per paragraph; empty until text is set.
    QStringList paragraphs;
    int fontSizeHundredths = 1800;
};

struct Slide {
    std::vector<Shape> shapes;
    int nextShapeId = 2;
};

// The presentation as the host has built it so far, in slide order.
struct Deck {
    std::vector<Slide> slides;
    std::vector<Media> media;
};

} // namespace slidemill::pptx
