#include "host/pptxhost.h"

#include "core/folderscan.h"
#include "core/runtimeerror.h"
#include "host/music.h"
#include "host/pptx/albumitem.h"
#include "host/pptx/deck.h"
#include "host/pptx/mediatypes.h"
#include "host/pptx/orientation.h"
#include "host/pptx/packager.h"
#include "host/pptx/saveerror.h"
#include "host/pptx/savefile.h"
#include "host/pptx/slidelayout.h"
#include "host/pptx/units.h"
#include "pictures/picturemaker.h"
#include "slides/albumrecipe.h"
#include "slides/builds.h"

#include <QFileInfo>
#include <QHash>
#include <QStandardPaths>
#include <algorithm>
#include <cmath>
#include <functional>
#include <optional>

namespace slidemill {

using pptx::Deck;
using pptx::Shape;

namespace {

// A new text box's text before Font.Size is set, as presentation applications start it.
constexpr int kDefaultFontSize = 1800;

[[noreturn]] void invalidCall(const char* operation, const QString& cause,
                              const QString& file = {}) {
    throw RuntimeError(errInvalidCall,
                       QStringLiteral("%1: %2").arg(QLatin1String(operation), cause), file);
}

// Points to EMU, refusing what no slide can hold.
std::int64_t toEmu(const char* operation, const char* what, float points, bool allowNegative) {
    const double emu = std::round(double(points) * double(pptx::kEmuPerPoint));
    if (!std::isfinite(emu) || std::fabs(emu) > double(pptx::kMaxCoordinateEmu) ||
        (!allowNegative && emu < 0))
        invalidCall(
            operation,
            QStringLiteral("%1 %2 is out of range").arg(QLatin1String(what)).arg(double(points)));
    return static_cast<std::int64_t>(emu);
}

// 0xRRGGBB, refusing what is not one.
std::uint32_t checkedColour(const char* operation, std::uint32_t rgb) {
    if (rgb > 0xFFFFFF)
        invalidCall(operation, QStringLiteral("colour 0x%1 is not 0xRRGGBB").arg(rgb, 0, 16));
    return rgb;
}

// `part` of `whole` in 1000ths of a percent, as a crop is written.
int percentOf(std::int64_t part, std::int64_t whole) {
    return int(std::llround(double(part) * 100000.0 / double(whole)));
}

// The height a text box takes to hold its paragraphs at its size, by the rule the builds place
// captions by. Applications refit on editing; this is what they would show at first.
std::int64_t fittedHeight(const Shape& box) {
    const double points =
        fittedTextHeight(int(box.paragraphs.size()), box.fontSizeHundredths / 100.0);
    return std::llround(points * double(pptx::kEmuPerPoint));
}

// A text box fits its height to its text; a placeholder keeps its layout's frame.
void fitToText(Shape& box) {
    if (box.kind == Shape::Kind::TextBox)
        box.frame.cy = fittedHeight(box);
}

// What one build holds, from createApplication to endBuild.
struct BuildSession {
    bool visible = false;
    std::optional<Deck> deck;
    // Index into deck->slides; -1 none.
    int slide = -1;
    // Indexes into the current slide's shapes; -1 none.
    int picture = -1;
    // The current picture's frame as it was added, which its crop is measured against.
    pptx::Frame pictureAdded;
    int lastTextBox = -1;
    int textRange = -1;
    // Where the deck is being written, from Presentations.Add on; it owns the output file.
    std::unique_ptr<pptx::PackageWriter> package;
    // The file the deck replaces or streams into, so that no picture is taken for it.
    FileIdentity output;
    // (device, inode) -> index into deck->media: a file shown twice is stored once.
    QHash<QPair<quint64, quint64>, int> mediaByFile;
    // The options of the album whose recipe the deck keeps; unset: none.
    std::optional<BuildOptions> recipe;

    // A picture stored behind the build that failed ends the build at the next call.
    void stopAtFailedPicture() const {
        if (package)
            if (const std::exception_ptr failed = package->firstFailure())
                std::rethrow_exception(failed);
    }
};

// A deck saved after a failure or Cancel keeps the slides before the first picture that
// failed, and of that picture's slide what came before it; a slide left empty is not kept.
void keepBeforeFailure(Deck& deck, const pptx::PackageWriter& package) {
    for (std::size_t s = 0; s < deck.slides.size(); ++s) {
        std::vector<Shape>& shapes = deck.slides[s].shapes;
        const auto failed = std::find_if(shapes.begin(), shapes.end(), [&](const Shape& shape) {
            return shape.kind == Shape::Kind::Picture && !package.stored(shape.media);
        });
        if (failed != shapes.end()) {
            shapes.erase(failed, shapes.end());
            deck.slides.resize(s + 1);
            break;
        }
    }
    while (!deck.slides.empty() && deck.slides.back().shapes.empty())
        deck.slides.pop_back();
}

// `path` from the root, as the working folder makes it; its bytes as they are.
QString absolutePath(const QString& path) {
    if (path.startsWith(QLatin1Char('/')))
        return path;
    QString from = workingFolder();
    if (!from.endsWith(QLatin1Char('/')))
        from += QLatin1Char('/');
    return from + path;
}

// The recipe of the deck as it is saved: each picture shown, in slide order, with what the box
// added after it on its slide says. Unset when it exceeds what a recipe may hold.
std::optional<pptx::CustomXml> recipeOf(const Deck& deck, const BuildOptions& options,
                                        const pptx::PackageWriter& package) {
    AlbumRecipe recipe;
    recipe.album.build = options;
    for (const pptx::Slide& slide : deck.slides) {
        // The photo just placed on this slide, until a box is added after it; -1 none.
        qsizetype boxless = -1;
        for (const Shape& shape : slide.shapes) {
            if (shape.kind == Shape::Kind::TextBox && boxless >= 0) {
                recipe.photos[std::size_t(boxless)].text = shape.paragraphs.join(QLatin1Char('\n'));
                boxless = -1;
            }
            if (shape.kind != Shape::Kind::Picture)
                continue;
            const Picture& picture = deck.media[std::size_t(shape.media)].picture;
            const pptx::StoredPicture* stored = package.stored(shape.media);
            if (!stored || stored->sha256.isEmpty())
                return std::nullopt;
            const std::size_t k = recipe.photos.size();
            RecipePhoto& photo = recipe.photos.emplace_back();
            photo.path = absolutePath(picture.path);
            if (k < options.photos.size()) {
                photo.caption = options.photos[k].caption;
                photo.quarterTurns = options.photos[k].clockwiseQuarters();
            }
            photo.size = picture.file.size;
            photo.sha256 = stored->sha256;
            boxless = qsizetype(k);
        }
    }
    if (!withinRecipeBounds(recipe))
        return std::nullopt;
    QByteArray xml = pptx::albumItemXml(recipe);
    if (xml.size() > pptx::kMaxAlbumItemBytes)
        return std::nullopt;
    return pptx::CustomXml{std::move(xml), QLatin1String(pptx::kAlbumNamespace)};
}

} // namespace

struct PptxHost::State {
    using Session = BuildSession;
    std::optional<Session> session;
    QString savedPath;
    bool opened = false;
    qint64 written = 0;
    qint64 entries = 0;

    Session& needSession(const char* operation) {
        if (!session)
            invalidCall(operation, QStringLiteral("no application has been created"));
        return *session;
    }
    Deck& needDeck(const char* operation) {
        Session& s = needSession(operation);
        if (!s.deck)
            invalidCall(operation, QStringLiteral("no presentation has been added"));
        return *s.deck;
    }
    pptx::Slide& needSlide(const char* operation) {
        Deck& deck = needDeck(operation);
        if (session->slide < 0)
            invalidCall(operation, QStringLiteral("no slide has been added"));
        return deck.slides[std::size_t(session->slide)];
    }
    Shape& needPicture(const char* operation) {
        pptx::Slide& slide = needSlide(operation);
        if (session->picture < 0)
            invalidCall(operation, QStringLiteral("no picture is held"));
        return slide.shapes[std::size_t(session->picture)];
    }
    Shape& needTextRange(const char* operation) {
        pptx::Slide& slide = needSlide(operation);
        if (session->textRange < 0)
            invalidCall(operation, QStringLiteral("no text range is held"));
        return slide.shapes[std::size_t(session->textRange)];
    }
};

PptxHost::PptxHost(PptxHostOptions options)
    : options_(std::move(options)), state_(std::make_unique<State>()) {}

PptxHost::~PptxHost() = default;

void PptxHost::createApplication() {
    state_->session.emplace();
}

void PptxHost::setVisible(std::int32_t value) {
    state_->needSession("Application.Visible").visible = value != 0;
}

void PptxHost::addPresentation(std::int32_t) {
    State::Session& s = state_->needSession("Presentations.Add");
    if (s.deck)
        invalidCall("Presentations.Add", QStringLiteral("a presentation is already open"));
    // The package is begun at once, so that each picture can go in as it comes.
    std::unique_ptr<pptx::SaveFile> file;
    if (options_.outputDescriptor >= 0) {
        file = pptx::SaveFile::stream(options_.outputDescriptor, options_.outputPath);
    } else if (!options_.outputPath.isEmpty()) {
        file = pptx::SaveFile::replacing(options_.outputPath);
    } else {
        QString folder = options_.documentsFolder;
        if (folder.isEmpty())
            folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        file = pptx::SaveFile::numbered(folder);
    }
    s.output = file->target();
    s.package = std::make_unique<pptx::PackageWriter>(std::move(file));
    state_->written = 0;
    s.deck.emplace();
    // Saved so, the deck opens as a running show.
    s.deck->slideShow = options_.outputDescriptor < 0 &&
                        options_.outputPath.endsWith(QLatin1String(".ppsx"), Qt::CaseInsensitive);
}

void PptxHost::addAlbumRecipe(const BuildOptions& options) {
    const char* op = "CustomXMLParts.Add";
    const Deck& deck = state_->needDeck(op);
    if (!deck.media.empty())
        invalidCall(op, QStringLiteral("the presentation already has pictures"));
    State::Session& s = *state_->session;
    s.recipe = options;
    s.package->hashSources();
}

std::int64_t PptxHost::addMusic(const QStringList& files) {
    const char* op = "Music.Add";
    Deck& deck = state_->needDeck(op);
    if (!deck.slides.empty())
        invalidCall(op, QStringLiteral("the presentation already has slides"));
    const FileIdentity& output = state_->session->output;
    std::int64_t total = 0;
    for (const QString& file : files) {
        MusicFile music = measureMusic(file);
        if (output.known() && music.file.sameFile(output))
            pptx::failSave(QStringLiteral("the output is one of the music files"),
                           state_->session->package->file().name());
        total += music.durationMs;
        deck.music.push_back(std::move(music));
    }
    return total;
}

void PptxHost::setSlideSize(float width, float height) {
    const char* op = "PageSetup.SlideSize";
    Deck& deck = state_->needDeck(op);
    if (!deck.slides.empty())
        invalidCall(op, QStringLiteral("the presentation already has slides"));
    // The file format takes 1 to 56 inches each way.
    const auto side = [op](const char* what, float points) {
        const std::int64_t emu = toEmu(op, what, points, false);
        if (emu < 914400 || emu > 51206400)
            invalidCall(op, QStringLiteral("%1 %2 is outside 72 to 4032 points")
                                .arg(QLatin1String(what))
                                .arg(double(points)));
        return emu;
    };
    deck.slideWidthEmu = side("SlideWidth", width);
    deck.slideHeightEmu = side("SlideHeight", height);
}

std::int32_t PptxHost::slideCount() {
    return static_cast<std::int32_t>(state_->needDeck("Slides.Count").slides.size());
}

void PptxHost::addSlide(std::int32_t index, std::int32_t layout) {
    Deck& deck = state_->needDeck("Slides.Add");
    const auto count = static_cast<std::int64_t>(deck.slides.size());
    if (index < 1 || index > count + 1)
        invalidCall("Slides.Add",
                    QStringLiteral("index %1 is outside 1 to %2").arg(index).arg(count + 1));
    if (layout != kLayoutBlank && layout != kLayoutTitle)
        invalidCall("Slides.Add", QStringLiteral("layout %1 is not available; only the blank "
                                                 "(12) and the title (1) layouts are")
                                      .arg(layout));
    State::Session& s = *state_->session;
    s.stopAtFailedPicture();
    pptx::Slide slide;
    if (layout == kLayoutTitle) {
        slide.layout = pptx::Layout::Title;
        slide.shapes = pptx::titleLayoutPlaceholders(deck);
        slide.nextShapeId = int(slide.shapes.size()) + 2;
    }
    deck.slides.insert(deck.slides.begin() + (index - 1), std::move(slide));
    s.slide = index - 1;
    s.picture = s.lastTextBox = s.textRange = -1;
}

void PptxHost::addPicture(const Picture& picture, std::int32_t, std::int32_t saveWithDocument,
                          float left, float top, float width, float height) {
    const char* op = "Shapes.AddPicture";
    const QString& fileName = picture.path;
    pptx::Slide& slide = state_->needSlide(op);
    Deck& deck = *state_->session->deck;
    if (saveWithDocument == 0)
        invalidCall(op, QStringLiteral("pictures are always stored in the presentation"), fileName);

    pptx::Frame frame;
    frame.x = toEmu(op, "Left", left, true);
    frame.y = toEmu(op, "Top", top, true);
    // -1 asks for the picture's own size, as the object model does.
    frame.cx = width == -1.0f ? std::int64_t(picture.widthHimetric) * 360
                              : toEmu(op, "Width", width, false);
    frame.cy = height == -1.0f ? std::int64_t(picture.heightHimetric) * 360
                               : toEmu(op, "Height", height, false);

    // A photo stored turned or mirrored is shown upright by its shape, which is then written
    // turned from `frame`, the box the build asked to see; a copy made upright is not turned.
    const bool transcoded = formatRow(picture.format).storage == Storage::Transcoded;
    const pptx::Turn turn = transcoded ? pptx::Turn{} : pptx::uprightTurn(picture.orientation);
    if (!pptx::unturnedFrame(frame, turn))
        invalidCall(op, QStringLiteral("the turned picture's position is out of range"), fileName);

    State::Session& session = *state_->session;
    session.stopAtFailedPicture();
    if (session.output.known() && picture.file.sameFile(session.output))
        pptx::failSave(QStringLiteral("the output is one of the pictures"),
                       session.package->file().name());
    const QPair<quint64, quint64> key{picture.file.device, picture.file.inode};
    int media = session.mediaByFile.value(key, -1);
    if (media >= 0 && !(deck.media[std::size_t(media)].picture.file == picture.file))
        pptx::pictureChanged(fileName);
    if (media < 0) {
        media = int(deck.media.size());
        const QSize shown = pptx::shownPixels(frame.cx, frame.cy, options_.pixelsPerInch);
        const pptx::Media m{picture, shown};
        std::function<pictures::MadePicture()> make;
        if (pictures::mustMake(picture, shown))
            make = [picture, shown] { return pictures::makePicture(picture, shown); };
        session.package->addPicture(media, m, std::move(make));
        deck.media.push_back(m);
        session.mediaByFile.insert(key, media);
    }

    Shape shape;
    shape.kind = Shape::Kind::Picture;
    shape.id = slide.nextShapeId++;
    shape.name = QStringLiteral("Picture %1").arg(shape.id - 1);
    shape.description = QFileInfo(fileName).fileName();
    shape.frame = frame;
    shape.media = media;
    slide.shapes.push_back(shape);
    state_->session->picture = int(slide.shapes.size()) - 1;
    state_->session->pictureAdded = frame;
}

void PptxHost::setLineVisible(std::int32_t value) {
    state_->needPicture("LineFormat.Visible").lineVisible = value != 0;
}

void PptxHost::setLineWeight(float points) {
    const char* op = "LineFormat.Weight";
    Shape& shape = state_->needPicture(op);
    // The widest line the file format allows is 1584 pt.
    if (!(points >= 0.0f && points <= 1584.0f))
        invalidCall(op, QStringLiteral("weight %1 is out of range").arg(double(points)));
    shape.lineWidthEmu = toEmu(op, "Weight", points, false);
}

void PptxHost::releasePicture() {
    if (state_->session)
        state_->session->picture = -1;
}

void PptxHost::addTextbox(std::int32_t orientation, float left, float top, float width,
                          float height) {
    const char* op = "Shapes.AddTextbox";
    pptx::Slide& slide = state_->needSlide(op);
    if (orientation != kTextOrientationHorizontal)
        invalidCall(op, QStringLiteral("orientation %1 is not available; only horizontal "
                                       "text (1) is")
                            .arg(orientation));
    Shape box;
    box.kind = Shape::Kind::TextBox;
    box.id = slide.nextShapeId++;
    box.name = QStringLiteral("TextBox %1").arg(box.id - 1);
    box.frame = {toEmu(op, "Left", left, true), toEmu(op, "Top", top, true),
                 toEmu(op, "Width", width, false), toEmu(op, "Height", height, false)};
    box.fontSizeHundredths = kDefaultFontSize;
    box.frame.cy = fittedHeight(box);
    slide.shapes.push_back(box);
    state_->session->lastTextBox = int(slide.shapes.size()) - 1;
}

void PptxHost::textRange() {
    const char* op = "TextFrame.TextRange";
    state_->needSlide(op);
    if (state_->session->lastTextBox < 0)
        invalidCall(op, QStringLiteral("no text box has been added"));
    state_->session->textRange = state_->session->lastTextBox;
}

void PptxHost::placeholderTextRange(std::int32_t index) {
    const char* op = "Shapes.Placeholders";
    pptx::Slide& slide = state_->needSlide(op);
    int found = 0;
    for (std::size_t i = 0; i < slide.shapes.size(); ++i) {
        if (slide.shapes[i].kind == Shape::Kind::Placeholder && ++found == index) {
            state_->session->textRange = int(i);
            return;
        }
    }
    invalidCall(op, QStringLiteral("the slide has no placeholder %1").arg(index));
}

void PptxHost::setText(const QString& text) {
    Shape& box = state_->needTextRange("TextRange.Text");
    // Paragraphs break at CR, LF or CR LF, as the object model takes them.
    QString normal = text;
    normal.replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
        .replace(QLatin1Char('\r'), QLatin1Char('\n'));
    box.paragraphs = text.isEmpty() ? QStringList{} : normal.split(QLatin1Char('\n'));
    fitToText(box);
}

void PptxHost::setFontSize(float points) {
    const char* op = "Font.Size";
    Shape& box = state_->needTextRange(op);
    if (!(points >= 1.0f && points <= 4000.0f))
        invalidCall(op, QStringLiteral("size %1 is outside 1 to 4000 points").arg(double(points)));
    box.fontSizeHundredths = int(std::lround(double(points) * 100.0));
    box.fontSizeSet = true;
    fitToText(box);
}

void PptxHost::releaseTextRange() {
    if (state_->session)
        state_->session->textRange = -1;
}

void PptxHost::setPictureCrop(float left, float top, float right, float bottom) {
    const char* op = "PictureFormat.Crop";
    Shape& shape = state_->needPicture(op);
    const pptx::Frame& added = state_->session->pictureAdded;
    const auto side = [op](const char* what, float points) {
        if (!(points >= 0.0f))
            invalidCall(
                op,
                QStringLiteral("%1 %2 is negative").arg(QLatin1String(what)).arg(double(points)));
        return toEmu(op, what, points, false);
    };
    const std::int64_t l = side("CropLeft", left), t = side("CropTop", top),
                       r = side("CropRight", right), b = side("CropBottom", bottom);
    if (l == 0 && t == 0 && r == 0 && b == 0) {
        shape.frame = added;
        shape.crop = {};
        return;
    }
    if (l + r >= added.cx || t + b >= added.cy)
        invalidCall(op, QStringLiteral("cropping %1, %2, %3 and %4 points leaves nothing of a "
                                       "%5 x %6-point picture")
                            .arg(double(left))
                            .arg(double(top))
                            .arg(double(right))
                            .arg(double(bottom))
                            .arg(double(added.cx) / pptx::kEmuPerPoint)
                            .arg(double(added.cy) / pptx::kEmuPerPoint));
    // What is left stays where it showed; the picture keeps its scale.
    shape.frame = {added.x + l, added.y + t, added.cx - l - r, added.cy - t - b};
    shape.crop = {percentOf(l, added.cx), percentOf(t, added.cy), percentOf(r, added.cx),
                  percentOf(b, added.cy)};
}

void PptxHost::setPictureColorType(std::int32_t type) {
    const char* op = "PictureFormat.ColorType";
    Shape& shape = state_->needPicture(op);
    if (type != kPictureColorAutomatic && type != kPictureColorGrayscale)
        invalidCall(op, QStringLiteral("colour type %1 is not available; only automatic (1) and "
                                       "grayscale (2) are")
                            .arg(type));
    shape.grayscale = type == kPictureColorGrayscale;
}

void PptxHost::setPictureRotation(float degrees) {
    const char* op = "Shape.Rotation";
    Shape& shape = state_->needPicture(op);
    if (!std::isfinite(degrees))
        invalidCall(op,
                    QStringLiteral("rotation %1 is not a number of degrees").arg(double(degrees)));
    // DrawingML's 60000ths of a degree, within one turn.
    constexpr std::int64_t kTurn = 360 * 60000;
    const std::int64_t angle = std::llround(double(degrees) * 60000.0) % kTurn;
    shape.rotation = int(angle < 0 ? angle + kTurn : angle);
}

void PptxHost::setTextboxFill(std::uint32_t rgb, float transparency) {
    const char* op = "Shape.Fill";
    pptx::Slide& slide = state_->needSlide(op);
    if (state_->session->lastTextBox < 0)
        invalidCall(op, QStringLiteral("no text box has been added"));
    checkedColour(op, rgb);
    if (!(transparency >= 0.0f && transparency <= 1.0f))
        invalidCall(op,
                    QStringLiteral("transparency %1 is outside 0 to 1").arg(double(transparency)));
    slide.shapes[std::size_t(state_->session->lastTextBox)].fill =
        pptx::Fill{rgb, int(std::lround((1.0 - double(transparency)) * 100000.0))};
}

void PptxHost::setVerticalAnchor(std::int32_t anchor) {
    const char* op = "TextFrame.VerticalAnchor";
    pptx::Slide& slide = state_->needSlide(op);
    if (state_->session->lastTextBox < 0)
        invalidCall(op, QStringLiteral("no text box has been added"));
    if (anchor != kAnchorTop && anchor != kAnchorBottom)
        invalidCall(op,
                    QStringLiteral("anchor %1 is not available; only top (1) and bottom (4) are")
                        .arg(anchor));
    slide.shapes[std::size_t(state_->session->lastTextBox)].anchorBottom = anchor == kAnchorBottom;
}

void PptxHost::setFontColor(std::uint32_t rgb) {
    const char* op = "Font.Color";
    state_->needTextRange(op).fontColor = checkedColour(op, rgb);
}

void PptxHost::setParagraphAlignment(std::int32_t alignment) {
    const char* op = "ParagraphFormat.Alignment";
    Shape& box = state_->needTextRange(op);
    if (alignment != kAlignLeft && alignment != kAlignCenter && alignment != kAlignRight)
        invalidCall(op, QStringLiteral("alignment %1 is not available; only left (1), centre (2) "
                                       "and right (3) are")
                            .arg(alignment));
    box.alignment = alignment == kAlignCenter  ? Shape::Alignment::Centre
                    : alignment == kAlignRight ? Shape::Alignment::Right
                                               : Shape::Alignment::Left;
}

void PptxHost::setBackgroundColor(std::uint32_t rgb) {
    const char* op = "SlideMaster.Background";
    state_->needDeck(op).background = checkedColour(op, rgb);
}

void PptxHost::setSlideShowTransition(std::int32_t effect, double advanceSeconds) {
    const char* op = "SlideShowTransition";
    pptx::Slide& slide = state_->needSlide(op);
    if (effect < kTransitionNone || effect > kTransitionWipe)
        invalidCall(op, QStringLiteral("effect %1 is not available; only none (0), fade (1), "
                                       "push (2) and wipe (3) are")
                            .arg(effect));
    // The file holds milliseconds in 32 bits.
    if (!(advanceSeconds >= 0.0 && advanceSeconds <= 4294967.0))
        invalidCall(
            op,
            QStringLiteral("advance time %1 is outside 0 to 4294967 seconds").arg(advanceSeconds));
    const pptx::Transition transition{pptx::TransitionEffect(effect),
                                      std::llround(advanceSeconds * 1000.0)};
    if (transition.effect == pptx::TransitionEffect::None && transition.advanceMs == 0)
        slide.transition.reset();
    else
        slide.transition = transition;
}

void PptxHost::setLoopUntilStopped(std::int32_t value) {
    state_->needDeck("SlideShowSettings.LoopUntilStopped").loop = value != 0;
}

std::optional<RuntimeError> PptxHost::endBuild(Outcome outcome) {
    // The session ends whatever happens below; an unfinished save goes with it.
    std::optional<State::Session> session = std::move(state_->session);
    state_->session.reset();
    state_->savedPath.clear();
    state_->opened = false;
    if (!session || !session->deck || !session->package)
        return {};
    pptx::PackageWriter& package = *session->package;
    package.drain();
    std::optional<RuntimeError> pictureError;
    if (const std::exception_ptr failed = package.firstFailure())
        pictureError = RuntimeError::from(failed);
    const bool partial = outcome != Outcome::Completed || pictureError;
    // The batch tool writes nothing then; the window keeps what was made before.
    if (partial && !options_.keepOnFailure)
        return pictureError;
    Deck& deck = *session->deck;
    if (partial)
        keepBeforeFailure(deck, package);
    if (partial && deck.slides.empty())
        return pictureError;

    QString path;
    try {
        if (session->recipe)
            deck.customXml = recipeOf(deck, *session->recipe, package);
        package.finish(deck);
        state_->written = package.bytesWritten();
        state_->entries = package.entriesWritten();
        path = package.commit([&session](const FileIdentity& file) {
            return session->mediaByFile.contains({file.device, file.inode}) ||
                   std::ranges::any_of(session->deck->music, [&file](const MusicFile& music) {
                       return music.file.sameFile(file);
                   });
        });
    } catch (...) {
        // The picture that stopped the build is the cause to report; nothing is saved.
        if (pictureError)
            return pictureError;
        throw RuntimeError::from(std::current_exception(), package.file().name());
    }
    state_->savedPath = path;
    if (session->visible && options_.opener && !path.isEmpty())
        state_->opened = options_.opener->open(path);
    return pictureError;
}

QString PptxHost::savedPath() const {
    return state_->savedPath;
}

bool PptxHost::openedOnDesktop() const {
    return state_->opened;
}

qint64 PptxHost::bytesWritten() const {
    const State::Session* s = state_->session ? &*state_->session : nullptr;
    return s && s->package ? s->package->bytesWritten() : state_->written;
}

qint64 PptxHost::entriesWritten() const {
    return state_->entries;
}

void removeUnfinishedSavesOnSignal() {
    pptx::removeUnfinishedSavesOnSignal();
}

} // namespace slidemill
