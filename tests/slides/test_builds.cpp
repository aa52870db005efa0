#include "core/runtimeerror.h"
#include "slides/builds.h"
#include "slides/placement.h"
#include "support/recordinghost.h"

#include <QRegularExpression>
#include <QTest>
#include <algorithm>

using namespace slidemill;

namespace {

// Reads a picture's HIMETRIC size from its file name, "WxH.png"; "missing..." is not there and
// anything else is not a picture. "WxH@2026-07-12T10:04.png" was taken then, and
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
            QStringLiteral("^(\\d+)x(\\d+)(?:@([-:T\\d]+))?(?:~(\\d+))?"));
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

// A recording host whose hand-over fails as well.
class FailingEndHost : public RecordingHost {
public:
    std::optional<RuntimeError> endBuild(Outcome outcome) override {
        RecordingHost::endBuild(outcome);
        throw RuntimeError(75, QStringLiteral("Cannot save"), QStringLiteral("/docs"));
    }
};

// The conversation a build should have, written the way RecordingHost writes it.
struct Calls {
    QStringList lines{QStringLiteral("CreateApplication"),
                      QStringLiteral("Application.Visible = -1"),
                      QStringLiteral("Presentations.Add(-1)")};
    int slides = 0;

    static QString n(double v) { return RecordingHost::number(v); }
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
    Calls& caption(double left, double top, double width, double height, const QString& text) {
        lines << QStringLiteral("Shapes.AddTextbox(1, %1, %2, %3, %4)")
                     .arg(n(left), n(top), n(width), n(height))
              << QStringLiteral("TextFrame.TextRange") << QStringLiteral("TextRange.Text = ") + text
              << QStringLiteral("Font.Size = 12") << QStringLiteral("Release text range");
        return *this;
    }
    // Four photos per slide: the picture, and its caption from its left edge to the cell's
    // right edge (715 or 355 points), 5 points under it.
    Calls& four(const QString& path, double left, double top, double width, double height,
                const QString& text = QString()) {
        picture(path, left, top, width, height);
        const double cellRight = left >= 365 ? 715 : 355;
        return text.isEmpty() ? *this : caption(left, top + height + 5, cellRight - left, 20, text);
    }
    Calls& wide() {
        lines << QStringLiteral("PageSetup.SlideSize = 960 x 540");
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
Q_DECLARE_METATYPE(BuildOptions)

class TestBuilds : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void placement_data();
    void placement();
    void placeFour_data();
    void placeFour();
    void conversation_data();
    void conversation();
    void album_data();
    void album();
    void handOverFailureKeepsBuildError();
    void handOverFailureAfterCompleteBuild();
    void fullList_data();
    void fullList();
    void cancelStopsAfterSlide_data();
    void cancelStopsAfterSlide();
};

// Column -1 is one photo per slide, 0 and 1 the columns of two per slide. Error 0: placed.
void TestBuilds::placement_data() {
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("error");
    QTest::addColumn<PhotoPlacement>("expected");

    const PhotoPlacement none;
    auto one = [](double left, double w) { return PhotoPlacement{left, 90, w, 375}; };
    auto two = [](double left, double w, double h) { return PhotoPlacement{left, 90, w, h}; };
    const int overflow = errOverflow;

    QTest::newRow("640x480") << 16933 << 12700 << -1 << 0 << one(110, 500);
    QTest::newRow("100x100") << 2646 << 2646 << -1 << 0 << one(173, 375);
    QTest::newRow("wide, past both sides") << 26460 << 2646 << -1 << 0 << one(-1515, 3750);
    QTest::newRow("wide, -1515.5 rounds up") << 26461 << 2646 << -1 << 0 << one(-1514, 3751);
    QTest::newRow("tallest that fits") << 2000 << 867014 << -1 << 0 << one(360, 1);
    QTest::newRow("one HIMETRIC too tall") << 2000 << 867015 << -1 << overflow << none;
    QTest::newRow("too wide for its height") << 300000 << 2646 << -1 << overflow << none;
    QTest::newRow("zero height") << 2646 << 0 << -1 << int(errDivisionByZero) << none;
    QTest::newRow("zero size") << 0 << 0 << -1 << overflow << none;

    QTest::newRow("1024x768, left") << 27093 << 20320 << 0 << 0 << two(5, 350, 263);
    QTest::newRow("square") << 26458 << 26458 << 0 << 0 << two(5, 350, 350);
    QTest::newRow("h exactly 370") << 26458 << 27950 << 1 << 0 << two(365, 350, 370);
    // Taller than 370: proportions kept inside 350 x 370, centred in the column.
    QTest::newRow("h 371, width rounds to 350") << 26458 << 28030 << 0 << 0 << two(5, 350, 370);
    QTest::newRow("h 372, half a point in") << 26458 << 28100 << 0 << 0 << two(6, 349, 370);
    QTest::newRow("768x1024, left") << 20320 << 27093 << 0 << 0 << two(41, 278, 370);
    QTest::newRow("very tall") << 2646 << 200000 << 0 << 0 << two(178, 5, 370);
    QTest::newRow("too tall for its width") << 132 << 26458 << 0 << overflow << none;
    QTest::newRow("too wide") << 867015 << 2646 << 0 << overflow << none;
    QTest::newRow("zero width") << 0 << 2646 << 0 << int(errDivisionByZero) << none;
    QTest::newRow("zero size, two") << 0 << 0 << 1 << overflow << none;
}

void TestBuilds::placement() {
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, column);
    QFETCH(int, error);
    QFETCH(PhotoPlacement, expected);
    Picture p;
    p.widthHimetric = width;
    p.heightHimetric = height;
    try {
        const SlotPlacement at = column < 0 ? placeOneOne(p) : placeTwoOne(p, column);
        QCOMPARE(error, 0);
        QCOMPARE(at.picture, expected);
        // The box stays under a 370-point frame even when the picture was narrowed.
        const TextboxFrame box =
            column < 0 ? TextboxFrame{90, 475, 542, 80}
                       : TextboxFrame{column ? 365.0 : 30.0, expected.height + 95, 325, 200};
        QCOMPARE(at.description, box);
    } catch (const RuntimeError& e) {
        QCOMPARE(e.number(), error);
    }
}

void TestBuilds::initTestCase() {
    // File times are written as local time: the same everywhere.
    qputenv("TZ", "UTC");
}

// Four photos per slide: cells of 350 x 225 points at (5 or 365, 15 or 280). Error 0: placed.
void TestBuilds::placeFour_data() {
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("cell");
    QTest::addColumn<int>("error");
    QTest::addColumn<PhotoPlacement>("expected");

    const PhotoPlacement none;
    const int overflow = errOverflow;
    // 640 x 480 pixels: taller than the cell's 350:225, so 225 high and 639.95 / (480 / 225)
    // = 299.98 wide, rounded up to 300, (350 - 300) / 2 = 25 in from the left.
    QTest::newRow("640x480, top left")
        << 16933 << 12700 << 0 << 0 << PhotoPlacement{30, 15, 300, 225};
    // 1920 x 1080: wider, so 350 wide and 1079.93 / (1920 / 350) = 196.87 -> 197 high,
    // (225 - 197) / 2 = 14 down.
    QTest::newRow("1920x1080, top right")
        << 50800 << 28575 << 1 << 0 << PhotoPlacement{365, 29, 350, 197};
    // 1000 x 1000: 224.98 -> 225 wide, (350 - 225) / 2 = 62.5 -> 63 in.
    QTest::newRow("square, bottom left")
        << 26458 << 26458 << 2 << 0 << PhotoPlacement{68, 280, 225, 225};
    // 768 x 1024: 168.74 -> 169 wide, 90.5 -> 91 in.
    QTest::newRow("768x1024, bottom right")
        << 20320 << 27093 << 3 << 0 << PhotoPlacement{456, 280, 169, 225};
    // 1400 x 900 pixels has the cell's proportions and fills it.
    QTest::newRow("the cell's proportions")
        << 37042 << 23813 << 0 << 0 << PhotoPlacement{5, 15, 350, 225};
    QTest::newRow("panorama 10:1") << 264600 << 26460 << 0 << 0 << PhotoPlacement{5, 110, 350, 35};
    // Where two photos per slide overflow (more than 93.6 times taller than wide), four fit.
    QTest::newRow("1:200") << 2646 << 529200 << 0 << 0 << PhotoPlacement{179, 15, 2, 225};
    QTest::newRow("one pixel by 32767")
        << 26 << 867014 << 1 << 0 << PhotoPlacement{540, 15, 1, 225};
    QTest::newRow("32767 by one pixel") << 867014 << 26 << 2 << 0 << PhotoPlacement{5, 392, 350, 1};
    QTest::newRow("too tall") << 2646 << 867015 << 0 << overflow << none;
    QTest::newRow("too wide") << 867015 << 2646 << 3 << overflow << none;
    QTest::newRow("zero height") << 2646 << 0 << 0 << int(errDivisionByZero) << none;
    QTest::newRow("zero width") << 0 << 2646 << 0 << int(errDivisionByZero) << none;
    QTest::newRow("zero size") << 0 << 0 << 0 << overflow << none;
}

void TestBuilds::placeFour() {
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, cell);
    QFETCH(int, error);
    QFETCH(PhotoPlacement, expected);
    Picture p;
    p.widthHimetric = width;
    p.heightHimetric = height;
    try {
        const SlotPlacement at = placeFourOne(p, cell);
        QCOMPARE(error, 0);
        QCOMPARE(at.picture, expected);
        // Inside its cell, the caption under it within the cell's width.
        const QRectF cellFrame(cell % 2 ? 365 : 5, cell / 2 ? 280 : 15, 350, 225);
        QVERIFY(cellFrame.contains(
            QRectF(at.picture.left, at.picture.top, at.picture.width, at.picture.height)));
        QCOMPARE(at.description, (TextboxFrame{expected.left, expected.top + expected.height + 5,
                                               cellFrame.right() - expected.left, 20}));
        // On a 16:9 slide, 120 points further right.
        const SlotPlacement moved = movedRight(at, 120);
        QCOMPARE(moved.picture.left, expected.left + 120);
        QCOMPARE(moved.description.left, expected.left + 120);
        QCOMPARE(moved.picture.top, expected.top);
    } catch (const RuntimeError& e) {
        QCOMPARE(e.number(), error);
    }
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
    QTest::newRow("four, 16:9: 120 points right")
        << wide << QStringList{l, s}
        << Calls().wide().slide().four(l, 150, 15, 300, 225).four(s, 548, 15, 225, 225).done() << 0;
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
                                      .picture(l, 125, 90, 350, 263)
                                      .box(150, 358, 325, 200)
                                      .picture(p, 521, 90, 278, 370)
                                      .box(485, 465, 325, 200)
                                      .done()
                               << 0;

    // Names as the user reads them: no folder or extension, a byte that is not UTF-8 (carried
    // as a lone surrogate) as U+FFFD, a tab as a space, other control characters as U+FFFD.
    const QString odd = QStringLiteral("photos/27093x20320 caf") + QChar(0xDCE9) +
                        QStringLiteral("\tday\x01.v2.png");
    QTest::newRow("caption: name")
        << options(four, Caption::Name) << QStringList{odd, QStringLiteral("/a.b/27093x20320")}
        << Calls()
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
               .slide()
               .picture(s, 5, 90, 350, 350)
               .caption(30, 445, 325, 200, QStringLiteral("Harbour\nat dusk\uFFFD"))
               .done()
        << 0;
    // The date the photo was taken, else its file's time; a photo without either has none.
    const QString taken = QStringLiteral("26458x26458@2026-07-12T10:04.jpg");
    const QString changed = QStringLiteral("27093x20320~1784000000.jpg");
    QTest::newRow("caption: date")
        << options(four, Caption::Date) << QStringList{taken, changed, s}
        << Calls()
               .slide()
               .four(taken, 68, 15, 225, 225, QStringLiteral("12 July 2026 10:04"))
               .four(changed, 390, 15, 300, 225, QStringLiteral("14 July 2026 03:33"))
               .four(s, 68, 280, 225, 225)
               .done()
        << 0;

    // The title slide is made last and put first; its subtitle is the span of the days the
    // photos were taken, of their file times too when they are the captions.
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
    QTest::newRow("title, no day known")
        << titled << QStringList{changed}
        << Calls().slide().four(changed, 30, 15, 300, 225).title("Summer holiday").done() << 0;
    titled.caption = Caption::Date;
    QTest::newRow("title, captions by date")
        << titled << QStringList{changed, QStringLiteral("27093x20320~1790000000.jpg")}
        << Calls()
               .slide()
               .four(changed, 30, 15, 300, 225, QStringLiteral("14 July 2026 03:33"))
               .four(QStringLiteral("27093x20320~1790000000.jpg"), 390, 15, 300, 225,
                     QStringLiteral("21 September 2026 14:13"))
               .title("Summer holiday", QStringLiteral("14 July - 21 September 2026"))
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
}

void TestBuilds::album() {
    QFETCH(BuildOptions, options);
    QFETCH(QStringList, paths);
    QFETCH(QStringList, expected);
    QFETCH(int, error);

    NamedSizeLoader loader;
    RecordingHost host;
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
