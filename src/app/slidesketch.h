#pragma once

#include "slides/builds.h"
#include "slides/presentationhost.h"
#include "slides/recordeddeck.h"

#include <QImage>
#include <QRectF>
#include <QWidget>
#include <functional>
#include <vector>

class QPainter;

namespace slidemill {

class PreviewSource;

using SketchShape = RecordedShape;
using SketchSlide = RecordedSlide;
using SketchHost = DeckRecorder;

// The slide a build with `options` makes of `photos` that holds photo `index` (the first
// slide with no photos: the title slide, or an empty one). Pictures are measured by `loader`;
// one that cannot be leaves its place empty.
struct Sketch {
    QSizeF slideSize{720, 540};
    std::uint32_t background = BuildOptions::kWhite;
    SketchSlide slide;
};
Sketch sketchSlide(const QStringList& photos, qsizetype index, const BuildOptions& options,
                   PictureLoader& loader);

// Every slide such a build makes, the title slide first when there is one, and for each slide
// the photo (its index in `photos`) it shows first; -1 on the title slide. A picture that
// cannot be measured is left out, as in sketchSlide.
struct DeckSketch {
    QSizeF slideSize{720, 540};
    std::uint32_t background = BuildOptions::kWhite;
    std::vector<SketchSlide> slides;
    std::vector<qsizetype> firstPhoto;
    // The slide showing photo `index`; -1 when none does.
    qsizetype slideOf(qsizetype index) const;
};
DeckSketch sketchDeck(const QStringList& photos, const BuildOptions& options,
                      PictureLoader& loader);

// Draws `sketch` into `slide` (the slide's place on the device, its proportions); `image`
// gives the preview of a picture's path, greyed or not (null: none yet).
using SketchImages = std::function<QImage(const QString& path, bool grey)>;
void paintSketch(QPainter& painter, const QRectF& slide, const Sketch& sketch,
                 const SketchImages& image, const QFont& font, int dpiY);

// Draws a sketch as large as it fits, each picture from its preview once made.
class SlideSketchView : public QWidget {
    Q_OBJECT
public:
    SlideSketchView(PreviewSource& previews, QWidget* parent = nullptr);
    ~SlideSketchView() override;

    void setSketch(Sketch sketch);
    const Sketch& sketch() const { return sketch_; }
    // Where the slide is drawn, and the scale from points to pixels.
    QRectF slideRect() const;
    QSize sizeHint() const override { return {360, 270}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    static constexpr int kSlots = 4;
    QImage picture(const QString& path, bool grey);
    const void* client(int slot) const;

    PreviewSource& previews_;
    Sketch sketch_;
    // Decoded previews of the pictures shown, greys under a second key.
    QHash<QString, QImage> images_;
};

} // namespace slidemill
