#pragma once

#include "host/music.h"
#include "host/pptx/units.h"
#include "slides/picture.h"

#include <QByteArray>
#include <QSize>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
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

// What a picture's shape leaves out at each side, in 1000ths of a percent of the picture's
// width or height (DrawingML's srcRect).
struct Crop {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    bool any() const { return left != 0 || top != 0 || right != 0 || bottom != 0; }
};

// A colour and how opaque it is, in 1000ths of a percent (100000 opaque).
struct Fill {
    std::uint32_t rgb = 0;
    int alpha = 100000;
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
    // Of the picture as it shows upright; the writer turns it with the picture (orientation.h).
    Crop crop;
    bool grayscale = false;

    // Text box and placeholder: one entry per paragraph; empty until text is set.
    QStringList paragraphs;
    int fontSizeHundredths = 1800;
    // Placeholder: what it is; its size and font are its layout's unless set.
    Role role = Role::Title;
    bool fontSizeSet = false;
    // Unset: the master's text colour.
    std::optional<std::uint32_t> fontColor;
    // Paragraphs as the layout aligns them (a text box's to the left) unless set.
    enum class Alignment { Inherited, Left, Centre, Right };
    Alignment alignment = Alignment::Inherited;
    // Text box: none unless set.
    std::optional<Fill> fill;
    // Text box: its text, and the box as it grows, keep its foot rather than its top.
    bool anchorBottom = false;
};

// The layouts a slide can have: blank, or a title slide with a title and a subtitle.
enum class Layout { Blank, Title };

// How a slide show moves on to a slide, numbered as the presentation host's effects are.
enum class TransitionEffect { None = 0, Fade = 1, Push = 2, Wipe = 3 };

struct Transition {
    TransitionEffect effect = TransitionEffect::None;
    // 0: on a click only.
    std::int64_t advanceMs = 0;
};

struct Slide {
    Layout layout = Layout::Blank;
    std::optional<Transition> transition;
    std::vector<Shape> shapes;
    int nextShapeId = 2;
};

// A part of data of our own that the deck carries for us (customXml/item1.xml), with its
// datastore properties: an id made from its bytes and the namespace of its XML.
struct CustomXml {
    QByteArray xml;
    QString schema;
};

// The presentation as the host has built it so far, in slide order.
struct Deck {
    std::vector<Slide> slides;
    std::vector<Media> media;
    // 720 x 540 points unless the build asked for another size.
    std::int64_t slideWidthEmu = kSlideWidthEmu;
    std::int64_t slideHeightEmu = kSlideHeightEmu;
    // Every slide's, through the master; unset: the theme's white.
    std::optional<std::uint32_t> background;
    // The show starts again after its last slide.
    bool loop = false;
    // Saved as a slide show (.ppsx): opened, it starts the show.
    bool slideShow = false;
    // The album's recipe, when the deck keeps one.
    std::optional<CustomXml> customXml;
    // Played in this order from the first slide across all of them; a file given twice is
    // stored once.
    std::vector<MusicFile> music;
};

} // namespace slidemill::pptx
