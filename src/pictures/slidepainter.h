#pragma once

#include "slides/picture.h"
#include "slides/recordeddeck.h"

#include <QImage>
#include <QRectF>
#include <QSize>
#include <functional>

class QPainter;

namespace slidemill {

// The picture of a picture shape, upright and in its colours, about `pixels` large (what it
// covers on the device before any crop); a null image when there is none (yet).
using SlideImages = std::function<QImage(const RecordedShape& shape, QSize pixels)>;

struct SlidePaint {
    // A preview: a thin line round the slide, a grey box where a picture has no image yet, and
    // the text drawn as the screen's text is; otherwise the slide as a show shows it.
    bool preview = false;
    // The device's pixels per inch the painter's font sizes are counted against.
    int dpiY = 96;
};

// Draws `slide` of `deck` into `target` (the slide's place on the device, its proportions): its
// background, each picture cropped, turned, greyed and lined as the deck says, each box's fill
// and text in the deck's fonts. What LibreOffice draws for the same slide.
void paintSlide(QPainter& painter, const QRectF& target, const RecordedDeck& deck,
                const RecordedSlide& slide, const SlideImages& images,
                const SlidePaint& paint = {});

// The slide drawn whole into a new image of `size` pixels (RGB32).
QImage paintedSlide(const RecordedDeck& deck, const RecordedSlide& slide, QSize size,
                    const SlideImages& images);

// The picture upright, fitted into `pixels` keeping its proportions and never enlarged, decoded
// no larger than that needs (a JPEG shrinks while it is decoded). Throws RuntimeError naming the
// file when it cannot be decoded. Safe to call from any thread.
QImage decodeUpright(const Picture& picture, QSize pixels);

// The pixels a shape's picture covers in a slide drawn `slideWidthPixels` wide.
QSize picturePixels(const RecordedDeck& deck, const RecordedShape& shape, int slideWidthPixels);

// The families the deck's text is set in: its theme's body and heading fonts.
QString bodyFontFamily();
QString headingFontFamily();

} // namespace slidemill
