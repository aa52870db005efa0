#pragma once

#include "slides/builds.h"
#include "slides/presentationhost.h"

#include <QMarginsF>
#include <QRectF>
#include <QSizeF>
#include <QStringList>
#include <functional>
#include <vector>

namespace slidemill {

// One shape of a slide as a build placed it, in points.
struct RecordedShape {
    enum class Kind { Picture, Textbox, Title, Subtitle };
    Kind kind = Kind::Picture;
    // Where it was added: a picture's whole frame before its crop, a box's frame.
    QRectF frame;
    // Picture: the picture as the build measured it (its path among the rest), the points cut
    // from each side of the frame, greys, its line (0: none).
    Picture picture;
    QString path;
    QMarginsF crop;
    bool grey = false;
    float lineWeight = 0;
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

struct RecordedSlide {
    bool title = false;
    std::vector<RecordedShape> shapes;
    // How the show comes to this slide (kTransitionNone ...), and when it moves on, in
    // seconds; 0: on a click only.
    std::int32_t transition = kTransitionNone;
    double advanceSeconds = 0;
};

// Everything a build made, in the order a show plays it: what every way of showing a deck (the
// file, the previews, a video, a PDF) reads.
struct RecordedDeck {
    QSizeF slideSize{720, 540};
    std::uint32_t background = BuildOptions::kWhite;
    std::vector<RecordedSlide> slides;
    bool loop = false;
    // Played one after another from the first slide on; and their length altogether.
    QStringList music;
    std::int64_t musicMs = 0;
    // The pixels per inch pictures are stored at (0: as their files hold them).
    int pixelsPerInch = 0;
};

// A presentation application that draws nothing: it writes down the deck a build makes.
// `measureMusic` tells the music's length (a host that stores music knows how); without it the
// music is written down with no length.
class DeckRecorder : public PresentationHost {
public:
    using MusicMeasure = std::function<std::int64_t(const QStringList& files)>;
    explicit DeckRecorder(MusicMeasure measureMusic = {});

    RecordedDeck deck;

    void createApplication() override {}
    void setVisible(std::int32_t) override {}
    void addPresentation(std::int32_t) override {}
    std::int64_t addMusic(const QStringList& files) override;
    void setSlideSize(float width, float height) override { deck.slideSize = {width, height}; }
    std::int32_t slideCount() override { return std::int32_t(deck.slides.size()); }
    void addSlide(std::int32_t index, std::int32_t layout) override;
    void addPicture(const Picture& picture, std::int32_t linkToFile, std::int32_t saveWithDocument,
                    float left, float top, float width, float height) override;
    void setLineVisible(std::int32_t value) override;
    void setLineWeight(float points) override { shape().lineWeight = points; }
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
    void setBackgroundColor(std::uint32_t rgb) override { deck.background = rgb; }
    void setSlideShowTransition(std::int32_t effect, double advanceSeconds) override;
    void setLoopUntilStopped(std::int32_t value) override { deck.loop = value != kMsoFalse; }
    std::optional<RuntimeError> endBuild(Outcome) override { return std::nullopt; }

private:
    RecordedShape& shape() { return deck.slides[current_].shapes.back(); }

    MusicMeasure measureMusic_;
    std::size_t current_ = 0;
    RecordedShape* text_ = nullptr;
};

// How a show plays once through, as a video plays it: each slide for its advance, one without
// one for `stillSeconds`; a move to a slide with a transition takes the first
// `transitionSeconds` of that slide's time (at most half of it), so the show lasts as long as
// its advances add up to, to the music's end with an advance fitted to it. The first slide
// comes without a move.
struct ShowTiming {
    double stillSeconds = 5;
    double transitionSeconds = 1;
};
// The slide shown at `seconds` from the start and, while the show moves to it, the slide it
// leaves and how far along the move is (0 to 1).
struct ShowMoment {
    std::size_t slide = 0;
    // Equal to slide when no move is under way.
    std::size_t from = 0;
    double progress = 1;
};
ShowMoment momentAt(const RecordedDeck& deck, double seconds, ShowTiming timing = {});
// How long a slide shows, its move in it included.
double slideSeconds(const RecordedSlide& slide, ShowTiming timing = {});
// How long its move takes; 0 for none.
double moveSeconds(const RecordedSlide& slide, ShowTiming timing = {});
// When each slide starts to show, and the show's end last.
std::vector<double> slideStarts(const RecordedDeck& deck, ShowTiming timing = {});

} // namespace slidemill
