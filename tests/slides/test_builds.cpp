#include "core/runtimeerror.h"
#include "slides/albumoptions.h"
#include "slides/builds.h"
#include "slides/placement.h"
#include "support/recordinghost.h"

#include <QRegularExpression>
#include <QTest>
#include <algorithm>
#include <cmath>

using namespace slidemill;

namespace {

// Reads a picture's HIMETRIC size from its file name, "WxH.png", or from a word of it
// ("Screenshot 2025-07-14 WxH.png"); "missing..." is not there and anything else is not a
// picture. "WxH@2026-07-12T10:04.png" was taken then, and
// "WxH~1784000000.png" is a file last changed that many seconds after 1970.
class NamedSizeLoader : public PictureLoader {
public:
    QStringList loaded;
    Picture load(const QString& path) override {
        loaded << path;
        if (path.startsWith(QLatin1String("missing")))
            throw RuntimeError::withFile(errFileNotFound, path);
        // Only the name's leading ASCII: a lone surrogate further on stops a regular expression.
        QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
        name.truncate(
            std::find_if(name.begin(), name.end(), [](QChar c) { return c.unicode() >= 0x80; }) -
            name.begin());
        static const QRegularExpression size(
            QStringLiteral("(?:^|\\s)(\\d+)x(\\d+)(?:@([-:T\\d]+))?(?:~(\\d+))?"));
        const auto m = size.match(name);
        if (!m.hasMatch())
            throw RuntimeError::withFile(errInvalidPicture, path);
        Picture p;
        p.path = path;
        p.widthHimetric = m.captured(1).toInt();
        p.heightHimetric = m.captured(2).toInt();
        p.taken = QDateTime::fromString(m.captured(3), Qt::ISODate);
        if (m.hasCaptured(4)) {
            p.file.size = 0;
            p.file.modifiedSeconds = m.captured(4).toLongLong();
        }
        return p;
    }
};

// A recording host that notes the recipe it is given, and after which call.
class RecipeHost : public RecordingHost {
public:
    std::optional<BuildOptions> recipe;
    qsizetype after = -1;
    void addAlbumRecipe(const BuildOptions& options) override {
        recipe = options;
        after = calls.size();
    }
};

// A recording host whose hand-over fails as well.
class FailingEndHost : public RecordingHost {
public:
    std::optional<RuntimeError> endBuild(Outcome outcome) override {
        RecordingHost::endBuild(outcome);
        throw RuntimeError(75, QStringLiteral("Cannot save"), QStringLiteral("/docs"));
    }
};

// A caption's place to a thousandth of a point: 1.2 times its size is a binary fraction.
CaptionPlacement toThousandths(CaptionPlacement c) {
    for (double* v : {&c.box.left, &c.box.top, &c.box.width, &c.box.height})
        *v = std::round(*v * 1000) / 1000;
    return c;
}

// The conversation a build should have, written the way RecordingHost writes it.
struct Calls {
    QStringList lines{QStringLiteral("CreateApplication"),
                      QStringLiteral("Application.Visible = -1"),
                      QStringLiteral("Presentations.Add(-1)")};
    int slides = 0;
    double slideWidth = 720;
    // The captions' size.
    double points = 20;

    // As the host takes them: in single precision.
    static QString n(double v) { return RecordingHost::number(float(v)); }
    Calls& slide() {
        lines << QStringLiteral("Slides.Count = %1").arg(slides)
              << QStringLiteral("Slides.Add(%1, 12)").arg(slides + 1);
        ++slides;
        return *this;
    }
    Calls& picture(const QString& path, double left, double top, double width, double height) {
        lines << QStringLiteral("Shapes.AddPicture(%1, 0, -1, %2, %3, %4, %5)")
                     .arg(path, n(left), n(top), n(width), n(height))
              << QStringLiteral("Line.Visible = -1") << QStringLiteral("Line.Weight = 0.25")
              << QStringLiteral("Release picture");
        return *this;
    }
    Calls& box(double left, double top, double width, double height) {
        lines << QStringLiteral("Shapes.AddTextbox(1, %1, %2, %3, %4)")
                     .arg(n(left), n(top), n(width), n(height))
              << QStringLiteral("TextFrame.TextRange")
              << QStringLiteral("TextRange.Text = Description") << QStringLiteral("Font.Size = 12")
              << QStringLiteral("Release text range");
        return *this;
    }
    // One photo per slide: fixed height and box.
    Calls& one(const QString& path, double left, double width, bool description) {
        picture(path, left, 90, width, 375);
        return description ? box(90, 475, 542, 80) : *this;
    }
    Calls& size(double captionPoints) {
        points = captionPoints;
        return *this;
    }
    // A caption: centred, in `colour` unless black; on a band of `band` when it stands over its
    // photo, from its foot up.
    Calls& caption(double left, double top, double width, double height, const QString& text,
                   const QString& colour = QString(), const QString& band = QString()) {
        lines << QStringLiteral("Shapes.AddTextbox(1, %1, %2, %3, %4)")
                     .arg(n(left), n(top), n(width), n(height));
        if (!band.isEmpty())
            lines << QStringLiteral("Fill = %1, 0.349999994").arg(band)
                  << QStringLiteral("TextFrame.VerticalAnchor = 4");
        return captionText(text, colour, 2);
    }
    // A caption in the band beside its photo, from its foot up, its text toward the photo.
    Calls& beside(double left, double top, double width, double height, const QString& text,
                  bool leftOfPhoto, const QString& colour = QString()) {
        lines << QStringLiteral("Shapes.AddTextbox(1, %1, %2, %3, %4)")
                     .arg(n(left), n(top), n(width), n(height))
              << QStringLiteral("TextFrame.VerticalAnchor = 4");
        return captionText(text, colour, leftOfPhoto ? 3 : 0);
    }
    // Its text, size, colour and alignment (0: none set).
    Calls& captionText(const QString& text, const QString& colour, int alignment) {
        lines << QStringLiteral("TextFrame.TextRange") << QStringLiteral("TextRange.Text = ") + text
              << QStringLiteral("Font.Size = ") + n(points);
        if (!colour.isEmpty())
            lines << QStringLiteral("Font.Color = ") + colour;
        if (alignment)
            lines << QStringLiteral("ParagraphFormat.Alignment = %1").arg(alignment);
        lines << QStringLiteral("Release text range");
        return *this;
    }
    // The caption under a photo placed at left, top, width x height: centred under it, at
    // least 144 points wide, inside the slide, 5 points below, one line high.
    Calls& under(double left, double top, double width, double height, const QString& text,
                 const QString& colour = QString()) {
        const double w = std::max(width, 144.0);
        const double x = std::clamp(std::ceil(left + (width - w) / 2), 0.0, slideWidth - w);
        return caption(x, top + height + 5, w, 1.2 * points + 7.2, text, colour);
    }
    // Four photos per slide: the picture, and its caption under it; a "Description" box (or
    // another text in its place) from its left edge to the cell's right edge (715 or 355
    // points), 5 points under it.
    Calls& four(const QString& path, double left, double top, double width, double height,
                const QString& text = QString(), bool inDescriptionBox = false) {
        picture(path, left, top, width, height);
        if (text.isEmpty())
            return *this;
        if (text != QLatin1String("Description") && !inDescriptionBox)
            return under(left, top, width, height, text);
        const double cellRight =
            (left >= 365 + slideWidth / 2 - 360 ? 715 : 355) + (slideWidth - 720) / 2;
        lines << QStringLiteral("Shapes.AddTextbox(1, %1, %2, %3, %4)")
                     .arg(n(left), n(top + height + 5), n(cellRight - left), n(20))
              << QStringLiteral("TextFrame.TextRange") << QStringLiteral("TextRange.Text = ") + text
              << QStringLiteral("Font.Size = 12") << QStringLiteral("Release text range");
        return *this;
    }
    Calls& wide() {
        lines << QStringLiteral("PageSetup.SlideSize = 960 x 540");
        slideWidth = 960;
        return *this;
    }
    Calls& line(const QString& text) {
        lines << text;
        return *this;
    }
    // The title slide, made last and put first.
    Calls& title(const QString& text, const QString& subtitle = QString()) {
        lines << QStringLiteral("Slides.Add(1, 1)")
              << QStringLiteral("Shapes.Placeholders(1).TextFrame.TextRange")
              << QStringLiteral("TextRange.Text = ") + text << QStringLiteral("Release text range");
        if (!subtitle.isEmpty())
            lines << QStringLiteral("Shapes.Placeholders(2).TextFrame.TextRange")
                  << QStringLiteral("TextRange.Text = ") + subtitle
                  << QStringLiteral("Release text range");
        return *this;
    }
    // Two photos per slide, picture and box as placed in a column.
    Calls& two(const QString& path, double left, double width, double height, int column,
               bool description) {
        picture(path, left, 90, width, height);
        return description ? box(column == 0 ? 30 : 365, height + 95, 325, 200) : *this;
    }
    QStringList done() const { return lines + QStringList{QStringLiteral("End")}; }
    QStringList failed() const { return lines + QStringList{QStringLiteral("End (failed)")}; }
};

// Stops the build once `slides` slides are made; writes down every photo it was told of.
struct StopAfter : BuildProgress {
    int slides = 0;
    const bool two;
    QList<int> told;
    StopAfter(int slides, bool two) : slides(slides), two(two) {}
    void photo(int index, int count) override { told << index << count; }
    bool cancelRequested() override { return told.size() / 2 >= slides * (two ? 2 : 1); }
};

void build(bool two, const QStringList& paths, bool description, PictureLoader& loader,
           PresentationHost& host) {
    if (two)
        buildTwoOne(paths, description, loader, host);
    else
        buildOneOne(paths, description, loader, host);
}

} // namespace

Q_DECLARE_METATYPE(PhotoPlacement)
Q_DECLARE_METATYPE(PhotoCrop)
Q_DECLARE_METATYPE(CaptionPlacement)
Q_DECLARE_METATYPE(BuildOptions)

class TestBuilds : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void placement_data();
    void placement();
    void placeFour_data();
    void placeFour();
    void placeWhole_data();
    void placeWhole();
    void noPictureLeavesItsSlide_data();
    void noPictureLeavesItsSlide();
    void sorted_data();
    void sorted();
    void albumOptionValues_data();
    void albumOptionValues();
    void conversation_data();
    void conversation();
    void album_data();
    void album();
    void recipeGivenFirst();
    void handOverFailureKeepsBuildError();
    void handOverFailureAfterCompleteBuild();
    void fullList_data();
    void fullList();
    void cancelStopsAfterSlide_data();
    void cancelStopsAfterSlide();
};

// Column -1 is one photo per slide, 0 and 1 the columns of two per slide. Error 0: placed.
// Points above 0: a caption of that size under the photo, whose line takes what it needs of the
// room under the frame (one: 70 points, two: 75).
void TestBuilds::placement_data() {
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("error");
    QTest::addColumn<PhotoPlacement>("expected");
    QTest::addColumn<bool>("wide");
    QTest::addColumn<int>("points");

    const PhotoPlacement none;
    auto one = [](double left, double w) { return PhotoPlacement{left, 90, w, 375}; };
    auto two = [](double left, double w, double h) { return PhotoPlacement{left, 90, w, h}; };
    const int overflow = errOverflow;

    QTest::newRow("640x480") << 16933 << 12700 << -1 << 0 << one(110, 500) << false << 0;
    QTest::newRow("100x100") << 2646 << 2646 << -1 << 0 << one(173, 375) << false << 0;
    // Wider than 710 points at 375 high: as wide as the slide less 5 points each side, centred
    // in the 375 points. 375 x 710 / 3750 = 71, 90 + (375 - 71) / 2 = 242.
    QTest::newRow("panorama, to the slide's width")
        << 26460 << 2646 << -1 << 0 << PhotoPlacement{5, 242, 710, 71} << false << 0;
    // 375 x 710 / 3751 = 70.98 -> 71.
    QTest::newRow("panorama, 70.98 rounds up")
        << 26461 << 2646 << -1 << 0 << PhotoPlacement{5, 242, 710, 71} << false << 0;
    // w = 710 still fits as it did; 711 is fitted to 710: 375 x 710 / 711 = 374.47 -> 375.
    QTest::newRow("710 wide, as before") << 18786 << 9922 << -1 << 0 << one(5, 710) << false << 0;
    QTest::newRow("711 wide, fitted")
        << 18787 << 9922 << -1 << 0 << PhotoPlacement{5, 90, 710, 375} << false << 0;
    QTest::newRow("tallest that fits") << 2000 << 867014 << -1 << 0 << one(360, 1) << false << 0;
    QTest::newRow("one HIMETRIC too tall")
        << 2000 << 867015 << -1 << overflow << none << false << 0;
    QTest::newRow("too wide for its height")
        << 300000 << 2646 << -1 << overflow << none << false << 0;
    QTest::newRow("zero height") << 2646 << 0 << -1 << int(errDivisionByZero) << none << false << 0;
    QTest::newRow("zero size") << 0 << 0 << -1 << overflow << none << false << 0;

    QTest::newRow("1024x768, left") << 27093 << 20320 << 0 << 0 << two(5, 350, 263) << false << 0;
    QTest::newRow("square") << 26458 << 26458 << 0 << 0 << two(5, 350, 350) << false << 0;
    QTest::newRow("h exactly 370") << 26458 << 27950 << 1 << 0 << two(365, 350, 370) << false << 0;
    // Taller than 370: proportions kept inside 350 x 370, centred in the column.
    QTest::newRow("h 371, width rounds to 350")
        << 26458 << 28030 << 0 << 0 << two(5, 350, 370) << false << 0;
    QTest::newRow("h 372, half a point in")
        << 26458 << 28100 << 0 << 0 << two(6, 349, 370) << false << 0;
    QTest::newRow("768x1024, left") << 20320 << 27093 << 0 << 0 << two(41, 278, 370) << false << 0;
    QTest::newRow("very tall") << 2646 << 200000 << 0 << 0 << two(178, 5, 370) << false << 0;
    QTest::newRow("too tall for its width") << 132 << 26458 << 0 << overflow << none << false << 0;
    QTest::newRow("too wide") << 867015 << 2646 << 0 << overflow << none << false << 0;
    QTest::newRow("zero width") << 0 << 2646 << 0 << int(errDivisionByZero) << none << false << 0;
    QTest::newRow("zero size, two") << 0 << 0 << 1 << overflow << none << false << 0;

    // Captions: up to 52 points a line fits under the frame of one (1.2 x 52 + 7.2 = 69.6).
    QTest::newRow("one, 6 pt") << 16933 << 12700 << -1 << 0 << one(110, 500) << false << 6;
    QTest::newRow("one, 20 pt, 16:9") << 16933 << 12700 << -1 << 0 << one(230, 500) << true << 20;
    QTest::newRow("one, 52 pt") << 16933 << 12700 << -1 << 0 << one(110, 500) << false << 52;
    // 70.8 points take one from the frame: 374 high, 640 x 374 / 480 = 498.67 -> 499 wide.
    QTest::newRow("one, 53 pt") << 16933 << 12700 << -1 << 0 << PhotoPlacement{111, 90, 499, 374}
                                << false << 53;
    // 122.4 points take 53: 322 high, 1023.92 / (768 / 322) = 429.30 -> 430 wide.
    QTest::newRow("one, 96 pt") << 27093 << 20320 << -1 << 0 << PhotoPlacement{145, 90, 430, 322}
                                << false << 96;
    QTest::newRow("one, 96 pt, 16:9")
        << 27093 << 20320 << -1 << 0 << PhotoPlacement{265, 90, 430, 322} << true << 96;
    // Centred in the 322 points: 90 + (322 - 71) / 2 = 215.5 -> 216.
    QTest::newRow("one, 96 pt, panorama")
        << 26460 << 2646 << -1 << 0 << PhotoPlacement{5, 216, 710, 71} << false << 96;
    QTest::newRow("two, 6 pt") << 20320 << 27093 << 0 << 0 << two(41, 278, 370) << false << 6;
    QTest::newRow("two, 16 pt, 16:9, right")
        << 20320 << 27093 << 1 << 0 << two(581, 278, 370) << true << 16;
    // 122.4 points take 48 from the 370: 350 x 322 / 467 = 241.33 -> 242 wide.
    QTest::newRow("two, 96 pt") << 20320 << 27093 << 0 << 0 << two(59, 242, 322) << false << 96;
    QTest::newRow("two, 96 pt, a landscape already leaves room")
        << 27093 << 20320 << 0 << 0 << two(5, 350, 263) << false << 96;
    QTest::newRow("two, 96 pt, 16:9, square, right")
        << 26458 << 26458 << 1 << 0 << two(559, 322, 322) << true << 96;
}

void TestBuilds::placement() {
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, column);
    QFETCH(int, error);
    QFETCH(PhotoPlacement, expected);
    QFETCH(bool, wide);
    QFETCH(int, points);
    Picture p;
    p.widthHimetric = width;
    p.heightHimetric = height;
    const std::int16_t slideWidth = wide ? kWideSlideWidth : kSlideWidth;
    const Layout layout = column < 0 ? Layout::OnePerSlide : Layout::TwoPerSlide;
    try {
        const SlotPlacement at =
            points > 0   ? placeSlot(p, layout, std::max(column, 0), slideWidth, 1, points).photo
            : column < 0 ? placeOneOne(p, slideWidth)
                         : placeTwoOne(p, column, slideWidth);
        QCOMPARE(error, 0);
        QCOMPARE(at.picture, expected);
        // The box stays under a 370-point frame even when the picture was narrowed.
        const double shift = (slideWidth - kSlideWidth) / 2;
        const TextboxFrame box = column < 0 ? TextboxFrame{90 + shift, 475, 542, 80}
                                            : TextboxFrame{column ? 365 + shift : 30.0,
                                                           expected.height + 95, 325 + shift, 200};
        QCOMPARE(at.description, box);
        // A caption's line fits under the picture, above the slide's foot.
        if (points > 0)
            QVERIFY(expected.top + expected.height + 5 + fittedTextHeight(1, points) <=
                    kSlideHeight);
    } catch (const RuntimeError& e) {
        QCOMPARE(e.number(), error);
    }
}

void TestBuilds::initTestCase() {
    // File times are written as local time: the same everywhere.
    qputenv("TZ", "UTC");
}

// Four photos per slide: cells of 350 x 225 points at (5 or 365, 15 or 280). Error 0: placed.
// Points above 0: a caption of that size under the photo, whose line takes what it needs past
// the 30 points under a cell from the cell's foot.
void TestBuilds::placeFour_data() {
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("cell");
    QTest::addColumn<int>("error");
    QTest::addColumn<PhotoPlacement>("expected");
    QTest::addColumn<int>("points");

    const PhotoPlacement none;
    const int overflow = errOverflow;
    // 640 x 480 pixels: taller than the cell's 350:225, so 225 high and 639.95 / (480 / 225)
    // = 299.98 wide, rounded up to 300, (350 - 300) / 2 = 25 in from the left.
    QTest::newRow("640x480, top left")
        << 16933 << 12700 << 0 << 0 << PhotoPlacement{30, 15, 300, 225} << 0;
    // 1920 x 1080: wider, so 350 wide and 1079.93 / (1920 / 350) = 196.87 -> 197 high,
    // (225 - 197) / 2 = 14 down.
    QTest::newRow("1920x1080, top right")
        << 50800 << 28575 << 1 << 0 << PhotoPlacement{365, 29, 350, 197} << 0;
    // 1000 x 1000: 224.98 -> 225 wide, (350 - 225) / 2 = 62.5 -> 63 in.
    QTest::newRow("square, bottom left")
        << 26458 << 26458 << 2 << 0 << PhotoPlacement{68, 280, 225, 225} << 0;
    // 768 x 1024: 168.74 -> 169 wide, 90.5 -> 91 in.
    QTest::newRow("768x1024, bottom right")
        << 20320 << 27093 << 3 << 0 << PhotoPlacement{456, 280, 169, 225} << 0;
    // 1400 x 900 pixels has the cell's proportions and fills it.
    QTest::newRow("the cell's proportions")
        << 37042 << 23813 << 0 << 0 << PhotoPlacement{5, 15, 350, 225} << 0;
    QTest::newRow("panorama 10:1")
        << 264600 << 26460 << 0 << 0 << PhotoPlacement{5, 110, 350, 35} << 0;
    // Where two photos per slide overflow (more than 93.6 times taller than wide), four fit.
    QTest::newRow("1:200") << 2646 << 529200 << 0 << 0 << PhotoPlacement{179, 15, 2, 225} << 0;
    QTest::newRow("one pixel by 32767")
        << 26 << 867014 << 1 << 0 << PhotoPlacement{540, 15, 1, 225} << 0;
    QTest::newRow("32767 by one pixel")
        << 867014 << 26 << 2 << 0 << PhotoPlacement{5, 392, 350, 1} << 0;
    QTest::newRow("too tall") << 2646 << 867015 << 0 << overflow << none << 0;
    QTest::newRow("too wide") << 867015 << 2646 << 3 << overflow << none << 0;
    QTest::newRow("zero height") << 2646 << 0 << 0 << int(errDivisionByZero) << none << 0;
    QTest::newRow("zero width") << 0 << 2646 << 0 << int(errDivisionByZero) << none << 0;
    QTest::newRow("zero size") << 0 << 0 << 0 << overflow << none << 0;

    QTest::newRow("6 pt") << 16933 << 12700 << 0 << 0 << PhotoPlacement{30, 15, 300, 225} << 6;
    QTest::newRow("14 pt") << 16933 << 12700 << 3 << 0 << PhotoPlacement{390, 280, 300, 225} << 14;
    // 1.2 x 19 + 7.2 = 30 points fit; 31.2 take 2 from the cell: 223 high, 639.95 / (480 / 223)
    // = 297.31 -> 298 wide.
    QTest::newRow("19 pt") << 16933 << 12700 << 0 << 0 << PhotoPlacement{30, 15, 300, 225} << 19;
    QTest::newRow("20 pt") << 16933 << 12700 << 0 << 0 << PhotoPlacement{31, 15, 298, 223} << 20;
    // 122.4 points take 93: cells 132 high.
    QTest::newRow("96 pt, square, bottom left")
        << 26458 << 26458 << 2 << 0 << PhotoPlacement{114, 280, 132, 132} << 96;
    // 1919.88 / (1080 / 132) = 234.65 -> 235 wide, (350 - 235) / 2 = 57.5 -> 58 in.
    QTest::newRow("96 pt, 1920x1080, top right")
        << 50800 << 28575 << 1 << 0 << PhotoPlacement{423, 15, 235, 132} << 96;
}

void TestBuilds::placeFour() {
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, cell);
    QFETCH(int, error);
    QFETCH(PhotoPlacement, expected);
    QFETCH(int, points);
    Picture p;
    p.widthHimetric = width;
    p.heightHimetric = height;
    const auto place = [&](std::int16_t slideWidth) {
        return points > 0 ? placeSlot(p, Layout::FourPerSlide, cell, slideWidth, 1, points).photo
                          : placeFourOne(p, cell, slideWidth);
    };
    try {
        const SlotPlacement at = place(kSlideWidth);
        QCOMPARE(error, 0);
        QCOMPARE(at.picture, expected);
        // Inside its cell, the caption under it within the cell's width.
        const QRectF cellFrame(cell % 2 ? 365 : 5, cell / 2 ? 280 : 15, 350, 225);
        QVERIFY(cellFrame.contains(
            QRectF(at.picture.left, at.picture.top, at.picture.width, at.picture.height)));
        QCOMPARE(at.description, (TextboxFrame{expected.left, expected.top + expected.height + 5,
                                               cellFrame.right() - expected.left, 20}));
        // On a 16:9 slide, in a cell 120 points wider (the right one 120 further right), no
        // smaller, at the same height, its caption to that cell's right edge.
        const SlotPlacement wide = place(kWideSlideWidth);
        const QRectF wideCell(cell % 2 ? 485 : 5, cellFrame.top(), 470, 225);
        const QRectF widePicture(wide.picture.left, wide.picture.top, wide.picture.width,
                                 wide.picture.height);
        QVERIFY(wideCell.contains(widePicture));
        QVERIFY(wide.picture.width >= expected.width && wide.picture.height >= expected.height);
        QCOMPARE(widePicture.center().y(),
                 QRectF(at.picture.left, at.picture.top, at.picture.width, at.picture.height)
                     .center()
                     .y());
        QCOMPARE(wide.description.left + wide.description.width, wideCell.right());
        // A caption's line fits under the picture, 5 points above the lower row or the foot.
        if (points > 0)
            QVERIFY(expected.top + expected.height + 5 + fittedTextHeight(1, points) <=
                    (cell < 2 ? 275 : kSlideHeight));
    } catch (const RuntimeError& e) {
        QCOMPARE(e.number(), error);
    }
}

// One photo a slide, fitted whole or filling the slide; 4:3 slides are 720 x 540, 16:9 960.
// Points above 0: where a caption of that size stands, a line high: under the photo where the
// room under it holds it, else in the wider band beside it where that holds 4 ems, else on the
// photo's foot.
void TestBuilds::placeWhole_data() {
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<bool>("fill");
    QTest::addColumn<bool>("wide");
    QTest::addColumn<PhotoPlacement>("expected");
    QTest::addColumn<PhotoCrop>("crop");
    QTest::addColumn<int>("points");
    QTest::addColumn<CaptionPlacement>("caption");

    const PhotoCrop none;
    // 1024 x 768 is a hair taller than 4:3 in HIMETRIC; to the nearest point it is 4:3.
    QTest::newRow("4:3 fit on 4:3")
        << 27093 << 20320 << false << false << PhotoPlacement{0, 0, 720, 540} << none << 0
        << CaptionPlacement{};
    QTest::newRow("4:3 fill on 4:3, nothing cut")
        << 27093 << 20320 << true << false << PhotoPlacement{0, 0, 720, 540} << none << 0
        << CaptionPlacement{};
    // 1920 x 1080: 720 x 405, (540 - 405) / 2 = 67.5 -> 67 down.
    QTest::newRow("16:9 fit on 4:3")
        << 50800 << 28575 << false << false << PhotoPlacement{0, 67, 720, 405} << none << 0
        << CaptionPlacement{};
    // 960 x 540 shown, 120 cut from each side.
    QTest::newRow("16:9 fill on 4:3")
        << 50800 << 28575 << true << false << PhotoPlacement{-120, 0, 960, 540}
        << PhotoCrop{120, 0, 120, 0} << 0 << CaptionPlacement{};
    QTest::newRow("16:9 fill on 16:9")
        << 50800 << 28575 << true << true << PhotoPlacement{0, 0, 960, 540} << none << 0
        << CaptionPlacement{};
    // 768 x 1024: 405 wide, (720 - 405) / 2 = 157.5 -> 157 in; filled 720 x 960, 210 cut from
    // top and bottom.
    QTest::newRow("portrait fit on 4:3")
        << 20320 << 27093 << false << false << PhotoPlacement{157, 0, 405, 540} << none << 0
        << CaptionPlacement{};
    QTest::newRow("portrait fill on 16:9")
        << 20320 << 27093 << true << true << PhotoPlacement{0, -370, 960, 1280}
        << PhotoCrop{0, 370, 0, 370} << 0 << CaptionPlacement{};
    QTest::newRow("square fit on 16:9")
        << 26458 << 26458 << false << true << PhotoPlacement{210, 0, 540, 540} << none << 0
        << CaptionPlacement{};
    // 1339 x 1000: 723.06 -> 723 wide, 3 over: 1 cut left, 2 right.
    QTest::newRow("odd overhang") << 35427 << 26458 << true << false
                                  << PhotoPlacement{-1, 0, 723, 540} << PhotoCrop{1, 0, 2, 0} << 0
                                  << CaptionPlacement{};
    QTest::newRow("20:1 fit") << 52920 << 2646 << false << false << PhotoPlacement{0, 252, 720, 36}
                              << none << 0 << CaptionPlacement{};
    QTest::newRow("20:1 fill") << 52920 << 2646 << true << false
                               << PhotoPlacement{-5040, 0, 10800, 540}
                               << PhotoCrop{5040, 0, 5040, 0} << 0 << CaptionPlacement{};
    QTest::newRow("1:20 fit on 16:9")
        << 2646 << 52920 << false << true << PhotoPlacement{466, 0, 27, 540} << none << 0
        << CaptionPlacement{};
    // A sliver still shows a point of itself.
    QTest::newRow("1:2000 fit") << 26 << 52920 << false << false << PhotoPlacement{359, 0, 1, 540}
                                << none << 0 << CaptionPlacement{};

    const auto at = [](double left, double top, double width, double height, CaptionSpot spot) {
        return CaptionPlacement{{left, top, width, height}, spot};
    };
    using enum CaptionSpot;
    // A 4:3 photo on 16:9 leaves bands of 120 points, 115 past the gap, 100.6 between the
    // box's insets: room for 4 ems up to 25 points.
    const PhotoPlacement tv{120, 0, 720, 540};
    QTest::newRow("4:3 fit on 16:9, 6 pt beside it")
        << 27093 << 20320 << false << true << tv << none << 6 << at(845, 525.6, 115, 14.4, RightOf);
    QTest::newRow("4:3 fit on 16:9, 20 pt beside it")
        << 27093 << 20320 << false << true << tv << none << 20
        << at(845, 508.8, 115, 31.2, RightOf);
    QTest::newRow("4:3 fit on 16:9, 25 pt beside it")
        << 27093 << 20320 << false << true << tv << none << 25
        << at(845, 502.8, 115, 37.2, RightOf);
    QTest::newRow("4:3 fit on 16:9, 26 pt on its foot")
        << 27093 << 20320 << false << true << tv << none << 26
        << at(120, 501.6, 720, 38.4, OverPicture);
    QTest::newRow("4:3 fit on 16:9, 96 pt on its foot")
        << 27093 << 20320 << false << true << tv << none << 96
        << at(120, 417.6, 720, 122.4, OverPicture);
    // 68 points under the photo: 63 past the gap.
    QTest::newRow("16:9 fit on 4:3, 20 pt under it")
        << 50800 << 28575 << false << false << PhotoPlacement{0, 67, 720, 405} << none << 20
        << at(0, 477, 720, 31.2, Under);
    QTest::newRow("16:9 fit on 4:3, 46 pt under it")
        << 50800 << 28575 << false << false << PhotoPlacement{0, 67, 720, 405} << none << 46
        << at(0, 477, 720, 62.4, Under);
    QTest::newRow("16:9 fit on 4:3, 47 pt on its foot")
        << 50800 << 28575 << false << false << PhotoPlacement{0, 67, 720, 405} << none << 47
        << at(0, 408.4, 720, 63.6, OverPicture);
    // Bands of 157 and 158 points: the wider, right one.
    QTest::newRow("portrait fit on 4:3, 20 pt in the right band")
        << 20320 << 27093 << false << false << PhotoPlacement{157, 0, 405, 540} << none << 20
        << at(567, 508.8, 153, 31.2, RightOf);
    // Bands alike, 205 points past the gap: 4 ems of 47 points fit between the insets, of 48
    // not.
    QTest::newRow("square fit on 16:9, 47 pt in the right band")
        << 26458 << 26458 << false << true << PhotoPlacement{210, 0, 540, 540} << none << 47
        << at(755, 476.4, 205, 63.6, RightOf);
    QTest::newRow("square fit on 16:9, 48 pt on its foot")
        << 26458 << 26458 << false << true << PhotoPlacement{210, 0, 540, 540} << none << 48
        << at(210, 475.2, 540, 64.8, OverPicture);
    QTest::newRow("1:20 fit on 16:9, 96 pt in the right band")
        << 2646 << 52920 << false << true << PhotoPlacement{466, 0, 27, 540} << none << 96
        << at(498, 417.6, 462, 122.4, RightOf);
    QTest::newRow("16:9 fill on 4:3, 20 pt on its foot")
        << 50800 << 28575 << true << false << PhotoPlacement{-120, 0, 960, 540}
        << PhotoCrop{120, 0, 120, 0} << 20 << at(0, 508.8, 720, 31.2, OverPicture);
    QTest::newRow("portrait fill on 16:9, 6 pt on its foot")
        << 20320 << 27093 << true << true << PhotoPlacement{0, -370, 960, 1280}
        << PhotoCrop{0, 370, 0, 370} << 6 << at(0, 525.6, 960, 14.4, OverPicture);
    QTest::newRow("portrait fill on 16:9, 96 pt on its foot")
        << 20320 << 27093 << true << true << PhotoPlacement{0, -370, 960, 1280}
        << PhotoCrop{0, 370, 0, 370} << 96 << at(0, 417.6, 960, 122.4, OverPicture);
}

void TestBuilds::placeWhole() {
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(bool, fill);
    QFETCH(bool, wide);
    QFETCH(PhotoPlacement, expected);
    QFETCH(PhotoCrop, crop);
    QFETCH(int, points);
    QFETCH(CaptionPlacement, caption);
    Picture p;
    p.widthHimetric = width;
    p.heightHimetric = height;
    const std::int16_t slideWidth = wide ? kWideSlideWidth : kSlideWidth;
    const SlotPlacement at = fill ? placeFill(p, slideWidth) : placeFit(p, slideWidth);
    // A caption takes nothing from a photo fitted or filling its slide.
    if (points > 0) {
        const PlacedSlot placed =
            placeSlot(p, fill ? Layout::Fill : Layout::Fit, 0, slideWidth, 1, points);
        QCOMPARE(placed.photo, at);
        QCOMPARE(toThousandths(placed.caption), toThousandths(caption));
    }
    QCOMPARE(at.picture, expected);
    QCOMPARE(at.crop, crop);
    // The description box stays where one photo a slide has it.
    QCOMPARE(at.description, (TextboxFrame{wide ? 210.0 : 90.0, 475, 542, 80}));
    const PhotoPlacement shown = at.visible();
    if (fill)
        QCOMPARE(shown, (PhotoPlacement{0, 0, double(slideWidth), 540}));
    else
        QVERIFY(shown.width == slideWidth || shown.height == 540);
}

// Every layout, 4:3 and 16:9, every proportion from 1:20 to 20:1, captions from 6 to 96 points
// (0: the layout's size): what the slide shows of each picture, and its caption, stay on the
// slide and in the picture's slot. One, two and four make room for a line under the picture;
// fitted or filling, a caption under or beside its picture stays off it.
void TestBuilds::noPictureLeavesItsSlide_data() {
    QTest::addColumn<int>("layout");
    QTest::addColumn<bool>("wide");
    QTest::addColumn<int>("points");
    for (int layout = 0; layout <= int(Layout::Fill); ++layout)
        for (bool wide : {false, true})
            for (int points : {6, 12, 0, 24, 48, 96})
                QTest::addRow("layout %d%s, %d pt", layout, wide ? ", 16:9" : "", points)
                    << layout << wide << points;
}

void TestBuilds::noPictureLeavesItsSlide() {
    QFETCH(int, layout);
    QFETCH(bool, wide);
    QFETCH(int, points);
    const double size = points > 0 ? points : defaultCaptionSize(Layout(layout));
    const std::int16_t slideWidth = wide ? kWideSlideWidth : kSlideWidth;
    const QRectF slide(0, 0, slideWidth, kSlideHeight);
    const auto rect = [](const PhotoPlacement& r) {
        return QRectF(r.left, r.top, r.width, r.height);
    };
    QList<double> ratios{4.0 / 3, 3.0 / 4, 16.0 / 9, 9.0 / 16};
    for (int k = -40; k <= 40; ++k)
        ratios << std::pow(20.0, k / 40.0);
    for (const double ratio : ratios) {
        Picture p;
        // 4000 pixels on the longer side.
        p.widthHimetric = int(std::lround(26.46 * (ratio >= 1 ? 4000 : 4000 * ratio)));
        p.heightHimetric = int(std::lround(26.46 * (ratio >= 1 ? 4000 / ratio : 4000)));
        const int slots = layout == int(Layout::TwoPerSlide)    ? 2
                          : layout == int(Layout::FourPerSlide) ? 4
                                                                : 1;
        for (int slot = 0; slot < slots; ++slot) {
            const PlacedSlot placed = placeSlot(p, Layout(layout), slot, slideWidth, 1, size);
            const PhotoPlacement v = placed.photo.visible();
            const QRectF shown = rect(v);
            const QByteArray what =
                QByteArray::number(ratio) + " in slot " + QByteArray::number(slot);
            QVERIFY2(slide.contains(shown), what.constData());
            QVERIFY2(shown.width() >= 1 && shown.height() >= 1, what.constData());
            const QRectF c = rect(placed.caption.box);
            QVERIFY2(slide.contains(c), what.constData());
            QVERIFY2(rect(slotRoom(slots, slot, slideWidth)).contains(c), what.constData());
            switch (placed.caption.spot) {
            case CaptionSpot::Under:
                QVERIFY2(c.top() >= shown.bottom() && c.left() <= shown.center().x() &&
                             c.right() >= shown.center().x(),
                         what.constData());
                break;
            case CaptionSpot::LeftOf:
            case CaptionSpot::RightOf:
                QVERIFY2(!c.intersects(shown) && c.bottom() == shown.bottom(), what.constData());
                break;
            case CaptionSpot::OverPicture:
                QVERIFY2(Layout(layout) == Layout::Fit || Layout(layout) == Layout::Fill,
                         what.constData());
                QVERIFY2(c.bottom() == std::min(shown.bottom(), slide.bottom()), what.constData());
                break;
            }
        }
    }
}

// Dates taken first, by their time; then file times; unreadable last; names in natural order.
void TestBuilds::sorted_data() {
    QTest::addColumn<int>("order");
    QTest::addColumn<QStringList>("paths");
    QTest::addColumn<QStringList>("expected");

    const QString early = QStringLiteral("a/10x10@2025-07-12T09:00.jpg");
    const QString late = QStringLiteral("b/10x10@2025-07-12T18:00.jpg");
    const QString sameAsLate = QStringLiteral("a/10x10@2025-07-12T18:00.jpg");
    const QString fileTime = QStringLiteral("10x10~1700000000.png"); // 14 November 2023
    const QString broken = QStringLiteral("not a picture.jpg");
    // Dated by their names, not their files' times; a day alone before that day's times.
    const QString named = QStringLiteral("Screenshot 2025-07-12 at 12.00.00 10x10~1700000000.png");
    const QString dayAlone = QStringLiteral("IMG-20250712-WA0001 10x10~1700000000.jpg");
    QTest::newRow("by date") << int(SortOrder::Date)
                             << QStringList{broken, late,     named,     fileTime,
                                            early,  dayAlone, sameAsLate}
                             << QStringList{fileTime,   dayAlone, early, named,
                                            sameAsLate, late,     broken};
    QTest::newRow("given") << int(SortOrder::Given) << QStringList{late, early}
                           << QStringList{late, early};
    QTest::newRow("by name, naturally") << int(SortOrder::Name)
                                        << QStringList{"x/IMG_10.jpg",
                                                       "y/img_9.jpg",
                                                       "IMG_2.jpg",
                                                       "IMG_002.jpg",
                                                       "z/a.jpg",
                                                       "IMG_2b.jpg",
                                                       "IMG_1000000000000000000001.jpg"}
                                        << QStringList{"z/a.jpg",
                                                       "IMG_002.jpg",
                                                       "IMG_2.jpg",
                                                       "IMG_2b.jpg",
                                                       "y/img_9.jpg",
                                                       "x/IMG_10.jpg",
                                                       "IMG_1000000000000000000001.jpg"};
}

void TestBuilds::sorted() {
    QFETCH(int, order);
    QFETCH(QStringList, paths);
    QFETCH(QStringList, expected);
    NamedSizeLoader loader;
    QCOMPARE(sortedPhotos(paths, SortOrder(order), loader), expected);
}

// Every album option from its text and back, as the command line or a settings file gives it:
// what a settings file then holds, what the build buttons' tooltips say and whether the album
// is still the default one; a bad value is refused in the option's own words and changes
// nothing. Every option of the table has a value tried.
void TestBuilds::albumOptionValues_data() {
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("setting");
    QTest::addColumn<QString>("summary");
    QTest::addColumn<bool>("isDefault");
    QTest::addColumn<QString>("refused"); // empty: taken

    QStringList tried;
    const auto taken = [&](const char* option, const char* value, const char* setting,
                           const char* summary, bool isDefault = false) {
        tried << option;
        QTest::addRow("%s=%s", option, value)
            << option << value << setting << summary << isDefault << QString();
    };
    const auto refused = [](const char* option, const char* value, const char* why) {
        QTest::addRow("%s=%s refused", option, value)
            << option << value << QString() << QString() << true << why;
    };
    taken("two", "true", "true", "two a slide");
    taken("two", "false", "false", "", true);
    taken("four", "true", "true", "four a slide");
    taken("fit", "true", "true", "fit a slide");
    taken("fill", "true", "true", "fill a slide");
    refused("fill", "yes", "--fill takes true or false, not 'yes'");
    taken("layout", "one", "one", "", true);
    taken("layout", "four", "four", "four a slide");
    refused("layout", "six", "--layout takes one, two, four, fit or fill, not 'six'");
    taken("description", "true", "true", "");
    taken("caption", "name", "name", "captions: name");
    taken("caption", "date", "date", "captions: date");
    taken("caption", "none", "none", "", true);
    taken("caption-size", "24", "24", "captions 24 pt");
    taken("caption-size", "6", "6", "captions 6 pt");
    taken("caption-size", "09", "9", "captions 9 pt");
    for (const char* bad : {"5", "97", "0", "096", "12.5", "", "auto"})
        refused("caption-size", bad,
                qPrintable(QStringLiteral("--caption-size takes a whole number of points from 6 "
                                          "to 96, not '%1'")
                               .arg(QLatin1String(bad))));
    taken("caption", "Harbour, at dusk", "Harbour, at dusk", "captions: Harbour, at dusk");
    refused("caption", " ", "--caption needs name, date, none or a text");
    taken("title", "Crete", "Crete", "title slide");
    taken("title", " ", "", "", true); // a blank title is none
    taken("subtitle", "July", "July", "");
    taken("subtitle", "", "", ""); // none, where unset is the dates
    taken("wide", "true", "true", "16:9");
    taken("background", "black", "black", "black");
    taken("background", "#1e2a38", "#1E2A38", "#1E2A38");
    taken("background", "#FFFFFF", "white", "", true);
    refused("background", "navy", "--background takes white, black or #RRGGBB, not 'navy'");
    refused("background", "#123", "--background takes white, black or #RRGGBB, not '#123'");
    refused("background", "0x000000", "--background takes white, black or #RRGGBB, not '0x000000'");
    taken("grey", "true", "true", "greys");
    taken("advance", "0", "0", "", true);
    taken("advance", "3600", "3600", "advance 3600 s");
    taken("advance", "0005", "5", "advance 5 s");
    taken("advance", "fit", "fit", "fit to the music");
    for (const char* bad : {"-1", "3601", "99999", "2.5", "1m", "+5", "Fit"})
        refused("advance", bad,
                qPrintable(QStringLiteral("--advance takes a whole number of seconds from 0 to "
                                          "3600 or fit, not '%1'")
                               .arg(QLatin1String(bad))));
    taken("loop", "true", "true", "loop");
    // A settings text holds the files one a line, in their order.
    taken("music", "/m/b.wav\n/m/a.mp3", "/m/b.wav\n/m/a.mp3", "music");
    refused("music", "", "--music takes a file, not ''");
    taken("transition", "wipe", "wipe", "wipe");
    refused("transition", "dissolve",
            "--transition takes none, fade, push or wipe, not 'dissolve'");
    taken("sort", "name", "name", "");
    refused("sort", "size", "--sort takes date or name, not 'size'");
    taken("folder", "~/Decks", "~/Decks", "");
    taken("folder", "", "", "", true);
    for (const AlbumOption& row : albumOptions())
        if (!tried.contains(QLatin1String(row.name)))
            QTest::addRow("%s", row.name)
                << row.name << QString() << QString() << QString() << true << QString();
}

void TestBuilds::albumOptionValues() {
    QFETCH(QString, option);
    QFETCH(QString, value);
    QFETCH(QString, setting);
    QFETCH(QString, summary);
    QFETCH(bool, isDefault);
    QFETCH(QString, refused);
    QVERIFY2(!value.isNull(), "no value of the option is tried");
    Album album;
    QCOMPARE(setAlbumOption(album, option, value), refused);
    QCOMPARE(album == Album(), isDefault);
    if (!refused.isEmpty())
        return;
    // A null setting is not written at all.
    QVERIFY(!albumSetting(album, option).isNull());
    QCOMPARE(albumSetting(album, option), setting);
    QCOMPARE(albumSummary(album), summary);
    Album again;
    QCOMPARE(setAlbumOption(again, option, setting), QString());
    QVERIFY(again == album);
}

// Whole conversations: every call, in order, with its arguments; the error that ends a
// build names the picture it is about.
void TestBuilds::conversation_data() {
    QTest::addColumn<bool>("two");
    QTest::addColumn<QStringList>("paths");
    QTest::addColumn<bool>("description");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<int>("error");
    QTest::addColumn<QString>("errorFile");

    const QString a = QStringLiteral("16933x12700.png"); // 640 x 480 pixels
    const QString b = QStringLiteral("2646x2646.jpg");   // 100 x 100
    const QString l = QStringLiteral("27093x20320.png"); // 1024 x 768
    const QString p = QStringLiteral("20320x27093.png"); // 768 x 1024
    const QString s = QStringLiteral("26458x26458.bmp"); // 1000 x 1000

    QTest::newRow("one: empty list")
        << false << QStringList{} << true << Calls().done() << 0 << QString();
    QTest::newRow("one: description")
        << false << QStringList{a, b} << true
        << Calls().slide().one(a, 110, 500, true).slide().one(b, 173, 375, true).done() << 0
        << QString();
    QTest::newRow("one: no description, path twice")
        << false << QStringList{a, a} << false
        << Calls().slide().one(a, 110, 500, false).slide().one(a, 110, 500, false).done() << 0
        << QString();
    QTest::newRow("one: overflow leaves a blank slide")
        << false << QStringList{a, QStringLiteral("300000x2646.png")} << true
        << Calls().slide().one(a, 110, 500, true).slide().failed() << int(errOverflow)
        << QStringLiteral("300000x2646.png");

    QTest::newRow("two: empty list")
        << true << QStringList{} << true << Calls().done() << 0 << QString();
    QTest::newRow("two: even count") << true << QStringList{l, s, p, l} << true
                                     << Calls()
                                            .slide()
                                            .two(l, 5, 350, 263, 0, true)
                                            .two(s, 365, 350, 350, 1, true)
                                            .slide()
                                            .two(p, 41, 278, 370, 0, true)
                                            .two(l, 365, 350, 263, 1, true)
                                            .done()
                                     << 0 << QString();
    QTest::newRow("two: odd count, no description") << true << QStringList{l, p, s} << false
                                                    << Calls()
                                                           .slide()
                                                           .two(l, 5, 350, 263, 0, false)
                                                           .two(p, 401, 278, 370, 1, false)
                                                           .slide()
                                                           .two(s, 5, 350, 350, 0, false)
                                                           .done()
                                                    << 0 << QString();
    QTest::newRow("two: overflow on the right")
        << true << QStringList{l, QStringLiteral("132x26458.png"), s} << true
        << Calls().slide().two(l, 5, 350, 263, 0, true).failed() << int(errOverflow)
        << QStringLiteral("132x26458.png");
    QTest::newRow("two: unreadable picture on the right")
        << true << QStringList{s, QStringLiteral("notes.txt")} << true
        << Calls().slide().two(s, 5, 350, 350, 0, true).failed() << int(errInvalidPicture)
        << QStringLiteral("notes.txt");
}

void TestBuilds::conversation() {
    QFETCH(bool, two);
    QFETCH(QStringList, paths);
    QFETCH(bool, description);
    QFETCH(QStringList, expected);
    QFETCH(int, error);
    QFETCH(QString, errorFile);

    NamedSizeLoader loader;
    RecordingHost host;
    try {
        build(two, paths, description, loader, host);
        QCOMPARE(error, 0);
    } catch (const RuntimeError& e) {
        QCOMPARE(e.number(), error);
        QCOMPARE(e.file(), errorFile);
    }
    QCOMPARE(host.calls, expected);
}

// The layouts, captions, title slide and slide size the options ask for.
void TestBuilds::album_data() {
    QTest::addColumn<BuildOptions>("options");
    QTest::addColumn<QStringList>("paths");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<int>("error");

    const QString l = QStringLiteral("27093x20320.png"); // 1024 x 768
    const QString s = QStringLiteral("26458x26458.bmp"); // 1000 x 1000
    const QString p = QStringLiteral("20320x27093.png"); // 768 x 1024
    const auto options = [](Layout layout, Caption caption = Caption::None) {
        BuildOptions o;
        o.layout = layout;
        o.caption = caption;
        o.locale = QLocale(QLocale::English, QLocale::UnitedKingdom);
        return o;
    };
    const Layout four = Layout::FourPerSlide;
    const QString d = QStringLiteral("Description");

    QTest::newRow("four: empty list") << options(four) << QStringList{} << Calls().done() << 0;
    QTest::newRow("four: three, described")
        << options(four, Caption::Description) << QStringList{l, s, p}
        << Calls()
               .slide()
               .four(l, 30, 15, 300, 225, d)
               .four(s, 428, 15, 225, 225, d)
               .four(p, 96, 280, 169, 225, d)
               .done()
        << 0;
    QTest::newRow("four: five, one on the last slide")
        << options(four) << QStringList{l, s, p, l, s}
        << Calls()
               .slide()
               .four(l, 30, 15, 300, 225)
               .four(s, 428, 15, 225, 225)
               .four(p, 96, 280, 169, 225)
               .four(l, 390, 280, 300, 225)
               .slide()
               .four(s, 68, 15, 225, 225)
               .done()
        << 0;
    QTest::newRow("four: six, two on the last slide")
        << options(four) << QStringList{p, p, p, p, l, l}
        << Calls()
               .slide()
               .four(p, 96, 15, 169, 225)
               .four(p, 456, 15, 169, 225)
               .four(p, 96, 280, 169, 225)
               .four(p, 456, 280, 169, 225)
               .slide()
               .four(l, 30, 15, 300, 225)
               .four(l, 390, 15, 300, 225)
               .done()
        << 0;
    QTest::newRow("four: overflow in the third cell")
        << options(four, Caption::Description)
        << QStringList{l, s, QStringLiteral("2646x867015.png"), p}
        << Calls().slide().four(l, 30, 15, 300, 225, d).four(s, 428, 15, 225, 225, d).failed()
        << int(errOverflow);

    BuildOptions wide = options(four);
    wide.wide = true;
    // 16:9 cells are 470 points wide: a 4:3 photo, held by the height, as on 4:3; a 16:9 one
    // larger, 400 x 225 instead of 350 x 197.
    const QString hd = QStringLiteral("50800x28575.jpg"); // 1920 x 1080
    QTest::newRow("four, 16:9: the cells take the width") << wide << QStringList{l, s, hd}
                                                          << Calls()
                                                                 .wide()
                                                                 .slide()
                                                                 .four(l, 90, 15, 300, 225)
                                                                 .four(s, 608, 15, 225, 225)
                                                                 .four(hd, 40, 280, 400, 225)
                                                                 .done()
                                                          << 0;
    wide.layout = Layout::OnePerSlide;
    wide.caption = Caption::Description;
    QTest::newRow("one, 16:9")
        << wide << QStringList{l}
        << Calls().wide().slide().picture(l, 230, 90, 500, 375).box(210, 475, 542, 80).done() << 0;
    wide.layout = Layout::TwoPerSlide;
    QTest::newRow("two, 16:9") << wide << QStringList{l, p}
                               << Calls()
                                      .wide()
                                      .slide()
                                      .picture(l, 5, 90, 470, 353)
                                      .box(30, 448, 445, 200)
                                      .picture(p, 581, 90, 278, 370)
                                      .box(485, 465, 445, 200)
                                      .done()
                               << 0;

    // Names as the user reads them: no folder or extension, a byte that is not UTF-8 (carried
    // as a lone surrogate) as U+FFFD, a tab as a space, other control characters as U+FFFD.
    const QString odd = QStringLiteral("photos/27093x20320 caf") + QChar(0xDCE9) +
                        QStringLiteral("\tday\x01.v2.png");
    QTest::newRow("caption: name")
        << options(four, Caption::Name) << QStringList{odd, QStringLiteral("/a.b/27093x20320")}
        << Calls()
               .size(14)
               .slide()
               .four(odd, 30, 15, 300, 225, QStringLiteral("27093x20320 caf\uFFFD day\uFFFD.v2"))
               .four(QStringLiteral("/a.b/27093x20320"), 390, 15, 300, 225,
                     QStringLiteral("27093x20320"))
               .done()
        << 0;
    BuildOptions text = options(Layout::TwoPerSlide, Caption::Text);
    text.captionText = QStringLiteral("Harbour\r\nat dusk\x07");
    QTest::newRow("caption: text, its line break kept")
        << text << QStringList{s}
        << Calls()
               .size(16)
               .slide()
               .picture(s, 5, 90, 350, 350)
               .caption(5, 445, 350, 45.6, QStringLiteral("Harbour\nat dusk\uFFFD"))
               .done()
        << 0;
    // The date the photo was taken, else its file's time; a photo without either has none.
    const QString taken = QStringLiteral("26458x26458@2026-07-12T10:04.jpg");
    const QString changed = QStringLiteral("27093x20320~1784000000.jpg");
    QTest::newRow("caption: date")
        << options(four, Caption::Date) << QStringList{taken, changed, s}
        << Calls()
               .size(14)
               .slide()
               .four(taken, 68, 15, 225, 225, QStringLiteral("12 Jul 2026 10:04"))
               .four(changed, 390, 15, 300, 225, QStringLiteral("14 Jul 2026 03:33"))
               .four(s, 68, 280, 225, 225)
               .done()
        << 0;

    // A name's date before the file's time; a name that tells the day alone, the day alone.
    const QString shot =
        QStringLiteral("Screenshot 2025-07-14 at 10.15.02 27093x20320~1784000000.png");
    const QString sent = QStringLiteral("IMG-20250713-WA0001 27093x20320~1784000000.jpg");
    QTest::newRow("caption: date from the name")
        << options(four, Caption::Date) << QStringList{shot, sent}
        << Calls()
               .size(14)
               .slide()
               .four(shot, 30, 15, 300, 225, QStringLiteral("14 Jul 2025 10:15"))
               .four(sent, 390, 15, 300, 225, QStringLiteral("13 Jul 2025"))
               .done()
        << 0;

    // The title slide is made last and put first; its subtitle is the span of the days the
    // photos were taken, never of file times (a screenshot's, a download's).
    BuildOptions titled = options(four);
    titled.title = QStringLiteral("Summer\tholiday");
    const QString later = QStringLiteral("26458x26458@2026-07-19T18:30.jpg");
    QTest::newRow("title, the days taken")
        << titled << QStringList{later, changed, taken}
        << Calls()
               .slide()
               .four(later, 68, 15, 225, 225)
               .four(changed, 390, 15, 300, 225)
               .four(taken, 68, 280, 225, 225)
               .title(QStringLiteral("Summer holiday"), QStringLiteral("12 - 19 July 2026"))
               .done()
        << 0;
    // Names' dates count, their files' times (21 September) do not.
    const QString shotEarlier =
        QStringLiteral("Screenshot 2026-07-10 at 09.30.00 27093x20320~1790000000.png");
    const QString sentLater = QStringLiteral("IMG-20260721-WA0003 27093x20320~1790000000.jpg");
    QTest::newRow("title, the days the names tell")
        << titled << QStringList{taken, shotEarlier, sentLater}
        << Calls()
               .slide()
               .four(taken, 68, 15, 225, 225)
               .four(shotEarlier, 390, 15, 300, 225)
               .four(sentLater, 30, 280, 300, 225)
               .title(QStringLiteral("Summer holiday"), QStringLiteral("10 - 21 July 2026"))
               .done()
        << 0;
    QTest::newRow("title, no day known")
        << titled << QStringList{changed}
        << Calls().slide().four(changed, 30, 15, 300, 225).title("Summer holiday").done() << 0;
    titled.caption = Caption::Date;
    QTest::newRow("title, captions by date")
        << titled << QStringList{changed, QStringLiteral("27093x20320~1790000000.jpg")}
        << Calls()
               .size(14)
               .slide()
               .four(changed, 30, 15, 300, 225, QStringLiteral("14 Jul 2026 03:33"))
               .four(QStringLiteral("27093x20320~1790000000.jpg"), 390, 15, 300, 225,
                     QStringLiteral("21 Sept 2026 14:13"))
               .title("Summer holiday")
               .done()
        << 0;
    titled.caption = Caption::None;
    titled.subtitle = QStringLiteral("Crete");
    QTest::newRow("title and subtitle given, no photos")
        << titled << QStringList{} << Calls().title("Summer holiday", "Crete").done() << 0;
    titled.subtitle = QString();
    QTest::newRow("title, an empty subtitle leaves the days out")
        << titled << QStringList{taken}
        << Calls().slide().four(taken, 68, 15, 225, 225).title("Summer holiday").done() << 0;

    // A panorama fitted to the slide's width, its caption under it rather than under the
    // 375-point frame; a narrow portrait's caption as wide as a short name, centred under it.
    const QString pan = QStringLiteral("26460x2646@2026-07-12T10:04:59.jpg");
    const QString narrow = QStringLiteral("10000x40000@2026-07-13T08:00.jpg");
    QTest::newRow("one: captions under panorama and portrait")
        << options(Layout::OnePerSlide, Caption::Date) << QStringList{pan, narrow}
        << Calls()
               .slide()
               .picture(pan, 5, 242, 710, 71)
               .caption(5, 318, 710, 31.2, QStringLiteral("12 Jul 2026 10:04"))
               .slide()
               .picture(narrow, 313, 90, 94, 375)
               .caption(288, 470, 144, 31.2, QStringLiteral("13 Jul 2026 08:00"))
               .done()
        << 0;
    QTest::newRow("two: each caption under its own photo")
        << options(Layout::TwoPerSlide, Caption::Name) << QStringList{l, p}
        << Calls()
               .size(16)
               .slide()
               .picture(l, 5, 90, 350, 263)
               .under(5, 90, 350, 263, QStringLiteral("27093x20320"))
               .picture(p, 401, 90, 278, 370)
               .under(401, 90, 278, 370, QStringLiteral("20320x27093"))
               .done()
        << 0;
    // A photo's own caption stands in place of the rule's, where the rule would put it (the
    // Description box for Description), or under the photo when the rule has none.
    const auto own = [&](Layout layout, Caption caption, std::vector<PhotoSettings> photos) {
        BuildOptions o = options(layout, caption);
        o.photos = std::move(photos);
        return o;
    };
    QTest::newRow("two: a photo's own caption over the names")
        << own(Layout::TwoPerSlide, Caption::Name, {{QStringLiteral("Harbour\tat dusk")}})
        << QStringList{l, p}
        << Calls()
               .size(16)
               .slide()
               .picture(l, 5, 90, 350, 263)
               .under(5, 90, 350, 263, QStringLiteral("Harbour at dusk"))
               .picture(p, 401, 90, 278, 370)
               .under(401, 90, 278, 370, QStringLiteral("20320x27093"))
               .done()
        << 0;
    QTest::newRow("two: a photo's own caption without a rule")
        << own(Layout::TwoPerSlide, Caption::None, {{}, {QStringLiteral("Mia")}})
        << QStringList{l, p}
        << Calls()
               .size(16)
               .slide()
               .picture(l, 5, 90, 350, 263)
               .picture(p, 401, 90, 278, 370)
               .under(401, 90, 278, 370, QStringLiteral("Mia"))
               .done()
        << 0;
    QTest::newRow("four: a photo's own caption in the Description box; fewer settings than photos")
        << own(four, Caption::Description, {{}, {QStringLiteral("Mia")}}) << QStringList{l, s, p}
        << Calls()
               .slide()
               .four(l, 30, 15, 300, 225, d)
               .four(s, 428, 15, 225, 225, QStringLiteral("Mia"), true)
               .four(p, 96, 280, 169, 225, d)
               .done()
        << 0;
    // A photo's own quarter turns: placed by its turned size, given to the object model as it
    // stands before the turn (its box turned back about the centre of what shows, its crop
    // from the sides it turns into), then turned.
    const auto turned = [](Calls calls, const QString& path, const QString& added,
                           const QString& crop, int degrees) {
        calls.line(QStringLiteral("Shapes.AddPicture(%1, 0, -1, %2)").arg(path, added));
        if (!crop.isEmpty())
            calls.line(QStringLiteral("PictureFormat.Crop = ") + crop);
        return calls.line(QStringLiteral("Rotation = %1").arg(degrees))
            .line("Line.Visible = -1")
            .line("Line.Weight = 0.25")
            .line("Release picture");
    };
    QTest::newRow("one: a landscape photo turned clockwise stands as a portrait")
        << own(Layout::OnePerSlide, Caption::None, {{QString(), 1}}) << QStringList{l}
        << turned(Calls().slide(), l, "172.5, 136.5, 375, 282", "", 90).done() << 0;
    QTest::newRow("fill: a landscape photo turned anticlockwise, its crop turned back")
        << own(Layout::Fill, Caption::None, {{QString(), -1}}) << QStringList{l}
        << turned(Calls().slide(), l, "-120, -90, 960, 720", "210, 0, 210, 0", 270).done() << 0;
    QTest::newRow("four: half a turn keeps the cell; a turn past the last is none")
        << own(four, Caption::None, {{QString(), 2}, {QString(), 4}}) << QStringList{l, s}
        << turned(Calls().slide(), l, "30, 15, 300, 225", "", 180).four(s, 428, 15, 225, 225).done()
        << 0;
    // Three lines of 14 points fit under no photo of four (the upper row's room ends 5 points
    // above the lower row), nor beside a landscape photo: they stand on its foot, on a band.
    // Beside a portrait, 86 points left and 85 right past the gap, they stand in the left
    // band, right-aligned.
    BuildOptions lines = options(four, Caption::Text);
    lines.captionText = QStringLiteral("a\nb\nc");
    QTest::newRow("four: a caption too tall for the room under its photo")
        << lines << QStringList{l, l, p}
        << Calls()
               .size(14)
               .slide()
               .four(l, 30, 15, 300, 225)
               .caption(30, 182.4, 300, 57.6, QStringLiteral("a\nb\nc"), QString(), "#FFFFFF")
               .four(l, 390, 15, 300, 225)
               .caption(390, 182.4, 300, 57.6, QStringLiteral("a\nb\nc"), QString(), "#FFFFFF")
               .four(p, 96, 280, 169, 225)
               .beside(5, 447.4, 86, 57.6, QStringLiteral("a\nb\nc"), true)
               .done()
        << 0;

    // A show on black: the master's background, white text, captions over the foot of photos
    // that fill the slide on a black band; greys by the picture's effect; every slide,
    // the title's too, moves on after 5 seconds with a fade, and the show loops.
    BuildOptions show = options(Layout::Fill, Caption::Name);
    show.background = 0x000000;
    show.grey = true;
    show.advanceMs = 5000;
    show.loop = true;
    show.transition = Transition::Fade;
    show.title = QStringLiteral("Party");
    QTest::newRow("fill, black, grey, a show that runs itself")
        << show << QStringList{hd, p}
        << Calls()
               .line("Background = #000000")
               .line("SlideShowSettings.LoopUntilStopped = -1")
               .slide()
               .line("SlideShowTransition = 1, 5")
               .line("Shapes.AddPicture(50800x28575.jpg, 0, -1, -120, 0, 960, 540)")
               .line("PictureFormat.Crop = 120, 0, 120, 0")
               .line("PictureFormat.ColorType = 2")
               .line("Line.Visible = -1")
               .line("Line.Weight = 0.25")
               .line("Release picture")
               .caption(0, 508.8, 720, 31.2, "50800x28575", "#FFFFFF", "#000000")
               .slide()
               .line("SlideShowTransition = 1, 5")
               .line("Shapes.AddPicture(20320x27093.png, 0, -1, 0, -210, 720, 960)")
               .line("PictureFormat.Crop = 0, 210, 0, 210")
               .line("PictureFormat.ColorType = 2")
               .line("Line.Visible = -1")
               .line("Line.Weight = 0.25")
               .line("Release picture")
               .caption(0, 508.8, 720, 31.2, "20320x27093", "#FFFFFF", "#000000")
               .line("Slides.Add(1, 1)")
               .line("SlideShowTransition = 1, 5")
               .line("Shapes.Placeholders(1).TextFrame.TextRange")
               .line("TextRange.Text = Party")
               .line("Font.Color = #FFFFFF")
               .line("Release text range")
               .done()
        << 0;
    // Fitted on a dark blue 16:9 slide: a 16:9 photo fills it and its caption stands on its
    // foot; a portrait leaves room under it for none, so its caption too. The description box
    // keeps its place and only takes the colour; clicks only, so no slide says how it moves.
    BuildOptions fit = options(Layout::Fit, Caption::Description);
    fit.wide = true;
    fit.background = 0x102040;
    fit.transition = Transition::Wipe;
    QTest::newRow("fit, 16:9, dark blue, described, wiped on a click")
        << fit << QStringList{hd}
        << Calls()
               .wide()
               .line("Background = #102040")
               .slide()
               .line("SlideShowTransition = 3, 0")
               .picture(hd, 0, 0, 960, 540)
               .line("Shapes.AddTextbox(1, 210, 475, 542, 80)")
               .line("TextFrame.TextRange")
               .line("TextRange.Text = Description")
               .line("Font.Size = 12")
               .line("Font.Color = #FFFFFF")
               .line("Release text range")
               .done()
        << 0;
    // Music of 10 s (as the host measures it) over a title and two photos: every slide, the
    // title's too, takes its third to the millisecond.
    BuildOptions music = options(Layout::Fit, Caption::None);
    music.wide = true;
    music.music = QStringList{QStringLiteral("a.mp3"), QStringLiteral("b.wav")};
    music.advanceFit = true;
    music.advanceMs = 4000; // not read: the music's share is the advance
    music.title = QStringLiteral("Summer");
    QTest::newRow("advance fitted to the music")
        << music << QStringList{hd, hd}
        << Calls()
               .wide()
               .line("Music.Add = a.mp3, b.wav")
               .slide()
               .line("SlideShowTransition = 0, 3.333")
               .picture(hd, 0, 0, 960, 540)
               .slide()
               .line("SlideShowTransition = 0, 3.333")
               .picture(hd, 0, 0, 960, 540)
               .line("Slides.Add(1, 1)")
               .line("SlideShowTransition = 0, 3.333")
               .line("Shapes.Placeholders(1).TextFrame.TextRange")
               .line("TextRange.Text = Summer")
               .line("Release text range")
               .done()
        << 0;

    // The captions' size: a 4:3 photo fitted on a black 16:9 slide has its date in the band
    // right of it at the foot, left-aligned; at 28 points 4 ems no longer fit there, and the
    // date stands on the photo's foot.
    const QString tv = QStringLiteral("27093x20320@2026-07-12T10:04.jpg");
    BuildOptions show43 = options(Layout::Fit, Caption::Date);
    show43.wide = true;
    show43.background = 0x000000;
    QTest::newRow("fit, 16:9, black: a 4:3 photo's date beside it")
        << show43 << QStringList{tv}
        << Calls()
               .wide()
               .line("Background = #000000")
               .slide()
               .picture(tv, 120, 0, 720, 540)
               .beside(845, 508.8, 115, 31.2, "12 Jul 2026 10:04", false, "#FFFFFF")
               .done()
        << 0;
    show43.captionSize = 28;
    QTest::newRow("fit, 16:9, black, 28 pt: on the photo's foot")
        << show43 << QStringList{tv}
        << Calls()
               .size(28)
               .wide()
               .line("Background = #000000")
               .slide()
               .picture(tv, 120, 0, 720, 540)
               .caption(120, 499.2, 720, 40.8, "12 Jul 2026 10:04", "#FFFFFF", "#000000")
               .done()
        << 0;
    BuildOptions big = options(Layout::OnePerSlide, Caption::Name);
    big.captionSize = 96;
    QTest::newRow("one, 96 pt: the photo makes room for a line")
        << big << QStringList{l}
        << Calls()
               .size(96)
               .slide()
               .picture(l, 145, 90, 430, 322)
               .under(145, 90, 430, 322, "27093x20320")
               .done()
        << 0;
    BuildOptions small = options(Layout::TwoPerSlide, Caption::Name);
    small.captionSize = 6;
    QTest::newRow("two, 6 pt") << small << QStringList{l, p}
                               << Calls()
                                      .size(6)
                                      .slide()
                                      .picture(l, 5, 90, 350, 263)
                                      .under(5, 90, 350, 263, "27093x20320")
                                      .picture(p, 401, 90, 278, 370)
                                      .under(401, 90, 278, 370, "20320x27093")
                                      .done()
                               << 0;
    // 36 points take 6 from each cell of a photo with a caption; one without a date has none
    // and keeps its cell.
    BuildOptions dated = options(four, Caption::Date);
    dated.captionSize = 24;
    QTest::newRow("four, 24 pt: only a photo with a caption makes room")
        << dated << QStringList{taken, s}
        << Calls()
               .size(24)
               .slide()
               .four(taken, 71, 15, 219, 219, "12 Jul 2026 10:04")
               .four(s, 428, 15, 225, 225)
               .done()
        << 0;
    // The Description box keeps its place and its 12 points.
    BuildOptions described = options(four, Caption::Description);
    described.captionSize = 40;
    QTest::newRow("four, described: the caption size is not the box's")
        << described << QStringList{l, s, p}
        << Calls()
               .slide()
               .four(l, 30, 15, 300, 225, d)
               .four(s, 428, 15, 225, 225, d)
               .four(p, 96, 280, 169, 225, d)
               .done()
        << 0;
}

void TestBuilds::album() {
    QFETCH(BuildOptions, options);
    QFETCH(QStringList, paths);
    QFETCH(QStringList, expected);
    QFETCH(int, error);

    NamedSizeLoader loader;
    RecordingHost host;
    host.musicMs = 10000;
    try {
        buildSlides(paths, options, loader, host);
        QCOMPARE(error, 0);
    } catch (const RuntimeError& e) {
        QCOMPARE(e.number(), error);
    }
    QCOMPARE(host.calls, expected);
    if (!error)
        QCOMPARE(host.calls.filter(QStringLiteral("Slides.Add(")).size(),
                 int(slidesFor(paths.size(), options)));
}

// The host has the album's options, its own captions with them, before any slide is made.
void TestBuilds::recipeGivenFirst() {
    NamedSizeLoader loader;
    RecipeHost host;
    BuildOptions options;
    options.layout = Layout::TwoPerSlide;
    options.photos = {{}, {QStringLiteral("Mia")}};
    buildSlides({QStringLiteral("2646x2646.png"), QStringLiteral("2646x2646.png")}, options, loader,
                host);
    QVERIFY(host.recipe);
    QCOMPARE(host.recipe->layout, Layout::TwoPerSlide);
    QVERIFY(host.recipe->photos == options.photos);
    QCOMPARE(host.calls.mid(0, host.after), Calls().lines);
}

void TestBuilds::handOverFailureKeepsBuildError() {
    NamedSizeLoader loader;
    FailingEndHost host;
    // A host failure carries no file; the build adds the picture it was placing.
    host.failAt(QStringLiteral("Line.Weight"), 2, RuntimeError(errPathFileAccess));
    const QString s = QStringLiteral("26458x26458.png");
    try {
        buildTwoOne({s, QStringLiteral("2646x2646.png")}, false, loader, host);
        QFAIL("no error");
    } catch (const RuntimeError& e) {
        QCOMPARE(e.number(), int(errPathFileAccess));
        QCOMPARE(e.file(), QStringLiteral("2646x2646.png"));
    }
    QCOMPARE(host.calls.last(), QStringLiteral("End (failed)"));
}

void TestBuilds::handOverFailureAfterCompleteBuild() {
    NamedSizeLoader loader;
    FailingEndHost host;
    try {
        buildOneOne({QStringLiteral("2646x2646.png")}, false, loader, host);
        QFAIL("no error");
    } catch (const RuntimeError& e) {
        QCOMPARE(e.file(), QStringLiteral("/docs"));
    }
    // Completed once, never reported as failed afterwards.
    QCOMPARE(host.calls.last(), QStringLiteral("End"));
    QCOMPARE(host.calls.count(QStringLiteral("End (failed)")), 0);
}

// The longest list a window can hold ends normally; one more cannot be counted.
void TestBuilds::fullList_data() {
    QTest::addColumn<bool>("two");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("slides");
    QTest::addColumn<int>("error");

    QTest::newRow("one photo, 32767") << false << 32767 << 32767 << 0;
    QTest::newRow("two photos, 32767") << true << 32767 << 16384 << 0;
    QTest::newRow("two photos, 32766") << true << 32766 << 16383 << 0;
    QTest::newRow("two photos, 32768") << true << 32768 << 0 << int(errOverflow);
}

void TestBuilds::fullList() {
    QFETCH(bool, two);
    QFETCH(int, count);
    QFETCH(int, slides);
    QFETCH(int, error);

    const QStringList paths(count, QStringLiteral("2646x2646.png"));
    NamedSizeLoader loader;
    RecordingHost host;
    try {
        build(two, paths, false, loader, host);
        QCOMPARE(error, 0);
        QCOMPARE(host.calls.last(), QStringLiteral("End"));
    } catch (const RuntimeError& e) {
        QCOMPARE(e.number(), error);
        QCOMPARE(host.calls.last(), QStringLiteral("End (failed)"));
    }
    QCOMPARE(host.calls.count(QStringLiteral("Slides.Add(%1, 12)").arg(slides)), slides ? 1 : 0);
    QCOMPARE(host.calls.count(QStringLiteral("Slides.Add(%1, 12)").arg(slides + 1)), 0);
    QCOMPARE(loader.loaded.size(), error ? 0 : count);
}

// Cancel takes effect between slides, never between the two photos of one, and is not asked
// after the last slide: a finished build is never reported as cancelled.
void TestBuilds::cancelStopsAfterSlide_data() {
    QTest::addColumn<bool>("two");
    QTest::addColumn<int>("stopAfter");
    QTest::addColumn<int>("photos");
    QTest::addColumn<QString>("end");
    QTest::newRow("one per slide, after 2 of 5") << false << 2 << 2 << "End (cancelled)";
    QTest::newRow("two per slide, after 1 of 3") << true << 1 << 2 << "End (cancelled)";
    QTest::newRow("one per slide, after the last") << false << 5 << 5 << "End";
    QTest::newRow("two per slide, after the last") << true << 3 << 5 << "End";
}

void TestBuilds::cancelStopsAfterSlide() {
    QFETCH(bool, two);
    QFETCH(int, stopAfter);
    QFETCH(int, photos);
    QFETCH(QString, end);
    NamedSizeLoader loader;
    RecordingHost host;
    StopAfter progress(stopAfter, two);
    const QStringList paths(5, QStringLiteral("2646x2646.png"));
    const BuildResult result = two ? buildTwoOne(paths, false, loader, host, &progress)
                                   : buildOneOne(paths, false, loader, host, &progress);
    QCOMPARE(result == BuildResult::Cancelled, end != QLatin1String("End"));
    QCOMPARE(host.calls.last(), end);
    QCOMPARE(loader.loaded.size(), photos);
    QCOMPARE(progress.told.mid(0, 4), QList<int>({0, 5, 1, 5}));
}

QTEST_APPLESS_MAIN(TestBuilds)
#include "test_builds.moc"
