#pragma once

#include "host/pptx/units.h"
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
    // A placeholder is one of its slide layout's, holding text.
    enum class Kind { Picture, TextBox, Placeholder };
    enum class Role { Title, Subtitle };
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

    // Text box and placeholder: one entry per paragraph; empty until text is set.
    QStringList paragraphs;
    int fontSizeHundredths = 1800;
    // Placeholder: what it is; its size and font are its layout's unless set.
    Role role = Role::Title;
    bool fontSizeSet = false;
};

// The layouts a slide can have: blank, or a title slide with a title and a subtitle.
enum class Layout { Blank, Title };

struct Slide {
    Layout layout = Layout::Blank;
    std::vector<Shape> shapes;
    int nextShapeId = 2;
};

// The presentation as the host has built it so far, in slide order.
struct Deck {
    std::vector<Slide> slides;
    std::vector<Media> media;
    // 720 x 540 points unless the build asked for another size.
    std::int64_t slideWidthEmu = kSlideWidthEmu;
    std::int64_t slideHeightEmu = kSlideHeightEmu;
};

} // namespace slidemill::pptx
