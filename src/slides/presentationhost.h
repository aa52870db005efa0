#pragma once

#include "core/runtimeerror.h"
#include "slides/picture.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

namespace slidemill {

struct BuildOptions;

// The conversation a build has with the presentation application, one call per operation,
// in the order a build makes them. Every call that fails throws RuntimeError naming the
// operation and, for pictures, the file. Positions and sizes are in points.
//
// The host keeps the "current" objects a build holds: the slide from addSlide, the picture
// shape from addPicture until releasePicture, the text range from textRange until
// releaseTextRange.
class PresentationHost {
public:
    virtual ~PresentationHost() = default;

    // A new application object; never a running instance.
    virtual void createApplication() = 0;
    // Application.Visible: -1 yes, 0 no.
    virtual void setVisible(std::int32_t value) = 0;
    // Presentations.Add(WithWindow).
    virtual void addPresentation(std::int32_t withWindow) = 0;
    // CustomXMLParts.Add of the album's recipe, right after Presentations.Add: the options the
    // deck is built with. A host that keeps recipes writes one with the deck, of the photos it
    // then places and the texts under them; any other passes it over.
    virtual void addAlbumRecipe(const BuildOptions& options) { (void)options; }
    // The album's music, after addAlbumRecipe and before any slide: the files play one after
    // another from the show's first slide on, across all its slides, start again when the
    // show loops and stop when it ends. Returns their length altogether in milliseconds; a
    // file that is not music the host can store throws 481 naming it. A host that plays no
    // music passes it over.
    virtual std::int64_t addMusic(const QStringList& files) {
        (void)files;
        return 0;
    }
    // PageSetup.SlideWidth and PageSetup.SlideHeight, before the first slide is added. A new
    // presentation's slides are 720 x 540.
    virtual void setSlideSize(float width, float height) = 0;

    // Slides.Count.
    virtual std::int32_t slideCount() = 0;
    // Slides.Add(Index, Layout); the new slide becomes the current slide.
    virtual void addSlide(std::int32_t index, std::int32_t layout) = 0;

    // Shapes.AddPicture on the current slide; the shape becomes the current picture. The
    // file is picture.path, as the build measured it: the host does not measure it again.
    virtual void addPicture(const Picture& picture, std::int32_t linkToFile,
                            std::int32_t saveWithDocument, float left, float top, float width,
                            float height) = 0;
    // Shape.Line.Visible and Shape.Line.Weight of the current picture.
    virtual void setLineVisible(std::int32_t value) = 0;
    virtual void setLineWeight(float points) = 0;
    virtual void releasePicture() = 0;
    // PictureFormat.CropLeft, CropTop, CropRight and CropBottom of the current picture, in
    // points of the size it was added at: the shape keeps showing what is left where it was
    // and shrinks by the crop; the whole picture stays in the file, so the user can move the
    // crop afterwards.
    virtual void setPictureCrop(float left, float top, float right, float bottom) = 0;
    // PictureFormat.ColorType of the current picture: kPictureColorAutomatic or
    // kPictureColorGrayscale, shown so by the picture's own effect, not stored so.
    virtual void setPictureColorType(std::int32_t type) = 0;
    // Shape.Rotation of the current picture: clockwise degrees about the centre of what it
    // shows, after any crop.
    virtual void setPictureRotation(float degrees) = 0;

    // Shapes.AddTextbox(Orientation, Left, Top, Width, Height) on the current slide.
    virtual void addTextbox(std::int32_t orientation, float left, float top, float width,
                            float height) = 0;
    // Shape.Fill of the box just added: ForeColor.RGB (0xRRGGBB) and Transparency, 0 opaque
    // to 1 clear. A new box has no fill.
    virtual void setTextboxFill(std::uint32_t rgb, float transparency) = 0;
    // TextFrame.VerticalAnchor of the box just added: kAnchorTop or kAnchorBottom, the edge its
    // text keeps, and the box with it, when the text takes more lines than the box was given.
    // A new box's is the top.
    virtual void setVerticalAnchor(std::int32_t anchor) = 0;
    // Shape.TextFrame.TextRange of the box just added; it becomes the current text range.
    virtual void textRange() = 0;
    // Shapes.Placeholders(Index).TextFrame.TextRange on the current slide, the placeholders
    // counted from 1 as its layout orders them; it becomes the current text range.
    virtual void placeholderTextRange(std::int32_t index) = 0;
    // TextRange.Text and TextRange.Font.Size of the current text range.
    virtual void setText(const QString& text) = 0;
    virtual void setFontSize(float points) = 0;
    // TextRange.Font.Color.RGB (0xRRGGBB) of the current text range; unset, its text takes
    // the master's text colour.
    virtual void setFontColor(std::uint32_t rgb) = 0;
    // TextRange.ParagraphFormat.Alignment of the current text range: kAlignLeft, kAlignCenter
    // or kAlignRight.
    virtual void setParagraphAlignment(std::int32_t alignment) = 0;
    virtual void releaseTextRange() = 0;

    // SlideMaster.Background.Fill.ForeColor.RGB (0xRRGGBB): every slide shows it. A new
    // presentation's background is white.
    virtual void setBackgroundColor(std::uint32_t rgb) = 0;
    // SlideShowTransition of the current slide: EntryEffect (kTransitionNone ...), and
    // AdvanceOnTime with AdvanceTime in seconds, to the millisecond, when advanceSeconds is
    // above 0; a click always moves on as well.
    virtual void setSlideShowTransition(std::int32_t effect, double advanceSeconds) = 0;
    // SlideShowSettings.LoopUntilStopped: -1 the show starts again after its last slide
    // until Esc, 0 it ends there.
    virtual void setLoopUntilStopped(std::int32_t value) = 0;

    // Cancelled: the user stopped the build; what was made is kept as after a failure.
    enum class Outcome { Completed, Failed, Cancelled };
    // End of the build: everything still held is let go, and the host hands the presentation
    // over (saves, shows) as its kind does; it throws when that fails. A host may still be
    // storing pictures when the build goes on past them: when one of them failed, the build
    // ended at that picture, and its error is returned (what is handed over holds only what
    // was made before it).
    virtual std::optional<RuntimeError> endBuild(Outcome outcome) = 0;
};

// The deck's body font (new text boxes use it) and heading font. Carlito, Calibri's metric
// twin, stands in for both where they are not installed.
inline constexpr char kBodyFont[] = "Calibri";
inline constexpr char kHeadingFont[] = "Calibri Light";

// Border weight of every picture: a number, not text, so no locale can turn it into 25.
inline constexpr float kBorderWeight = 0.25f;
inline constexpr std::int32_t kLayoutBlank = 12;
// A title and a subtitle, placeholders 1 and 2, in the deck's heading and body fonts.
inline constexpr std::int32_t kLayoutTitle = 1;
inline constexpr std::int32_t kPlaceholderTitle = 1;
inline constexpr std::int32_t kPlaceholderSubtitle = 2;
// Where the title layout puts a placeholder on a 720 x 540 slide, in points, and its text size
// (the master's heading or body size): the frames presentation applications give it. On a
// slide of another size the frame keeps its size and is centred.
struct TitlePlaceholder {
    double left, top, width, height;
    double fontSize;
    constexpr TitlePlaceholder on(double slideWidth, double slideHeight) const {
        return {left + (slideWidth - 720) / 2, top + (slideHeight - 540) / 2, width, height,
                fontSize};
    }
};
inline constexpr TitlePlaceholder kTitlePlaceholder{54, 167.75, 612, 115.75, 44};
inline constexpr TitlePlaceholder kSubtitlePlaceholder{108, 306, 504, 138, 28};
inline constexpr std::int32_t kTextOrientationHorizontal = 1;
inline constexpr std::int32_t kPictureColorAutomatic = 1;
inline constexpr std::int32_t kPictureColorGrayscale = 2;
inline constexpr std::int32_t kAlignLeft = 1;
inline constexpr std::int32_t kAlignCenter = 2;
inline constexpr std::int32_t kAlignRight = 3;
inline constexpr std::int32_t kAnchorTop = 1;
inline constexpr std::int32_t kAnchorBottom = 4;
inline constexpr std::int32_t kTransitionNone = 0;
inline constexpr std::int32_t kTransitionFade = 1;
inline constexpr std::int32_t kTransitionPush = 2;
inline constexpr std::int32_t kTransitionWipe = 3;
inline constexpr std::int32_t kMsoTrue = -1;
inline constexpr std::int32_t kMsoFalse = 0;

// The height a new text box takes for `lines` lines of `points`-point text: 1.2 lines per em
// and 3.6 points of inset above and below, as presentation applications first fit it.
constexpr double fittedTextHeight(int lines, double points) {
    return (lines < 1 ? 1 : lines) * points * 1.2 + 7.2;
}

} // namespace slidemill
