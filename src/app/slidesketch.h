#pragma once

#include "slides/builds.h"
#include "slides/presentationhost.h"

#include <QImage>
#include <QRectF>
#include <QWidget>
#include <functional>
#include <vector>

class QPainter;

namespace slidemill {

class PreviewSource;

// One shape of a slide as a build placed it, in points.
struct SketchShape {
    enum class Kind { Picture, Textbox, Title, Subtitle };
    Kind kind = Kind::Picture;
    // Where it was added: a picture's whole frame before its crop, a box's frame.
    QRectF frame;
    // Picture: its file, the points cut from each side of the frame, greys.
    QString path;
    QMarginsF crop;
    bool grey = false;
    // Clockwise degrees about the centre of what shows.
    float rotation = 0;
    // Text: what it says, its size, colour (-1: the master's), alignment and the edge it
    // keeps.
    QString text;
    float fontSize = 0;
    qint64 colour = -1;
    std::int32_t alignment = kAlignLeft;
    std::int32_t anchor = kAnchorTop;
    // A box's fill, -1 for none, and how much of what lies under it shows through.
    qint64 fill = -1;
    float transparency = 0;

    // The part of the frame that shows.
    QRectF visible() const { return frame.marginsRemoved(crop); }
};

struct SketchSlide {
    bool title = false;
    std::vector<SketchShape> shapes;
};

// A presentation application that draws nothing: it writes down the slides a build makes, so
// that the album dialog can draw them by the build's own arithmetic.
class SketchHost : public PresentationHost {
public:
    QSizeF slideSize{720, 540};
    std::uint32_t background = BuildOptions::kWhite;
    std::vector<SketchSlide> slides;

    void createApplication() override {}
    void setVisible(std::int32_t) override {}
    void addPresentation(std::int32_t) override {}
    void setSlideSize(float width, float height) override { slideSize = {width, height}; }
    std::int32_t slideCount() override { return std::int32_t(slides.size()); }
    void addSlide(std::int32_t index, std::int32_t layout) override;
    void addPicture(const Picture& picture, std::int32_t linkToFile, std::int32_t saveWithDocument,
                    float left, float top, float width, float height) override;
    void setLineVisible(std::int32_t) override {}
    void setLineWeight(float) override {}
    void releasePicture() override {}
    void setPictureCrop(float left, float top, float right, float bottom) override;
    void setPictureColorType(std::int32_t type) override;
    void setPictureRotation(float degrees) override { shape().rotation = degrees; }
    void addTextbox(std::int32_t orientation, float left, float top, float width,
                    float height) override;
    void setTextboxFill(std::uint32_t rgb, float transparency) override;
    void setVerticalAnchor(std::int32_t anchor) override { shape().anchor = anchor; }
    void textRange() override { text_ = &shape(); }
    void placeholderTextRange(std::int32_t index) override;
    void setText(const QString& text) override { text_->text = text; }
    void setFontSize(float points) override { text_->fontSize = points; }
    void setFontColor(std::uint32_t rgb) override { text_->colour = rgb; }
    void setParagraphAlignment(std::int32_t alignment) override { text_->alignment = alignment; }
    void releaseTextRange() override { text_ = nullptr; }
    void setBackgroundColor(std::uint32_t rgb) override { background = rgb; }
    void setSlideShowTransition(std::int32_t, double) override {}
    void setLoopUntilStopped(std::int32_t) override {}
    std::optional<RuntimeError> endBuild(Outcome) override { return std::nullopt; }

private:
    SketchShape& shape() { return slides[current_].shapes.back(); }

    std::size_t current_ = 0;
    SketchShape* text_ = nullptr;
};

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
