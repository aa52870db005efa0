#include "core/runtimeerror.h"
#include "host/recordinghost.h"
#include "slides/builds.h"
#include "slides/placement.h"

#include <QRegularExpression>
#include <QTest>

using namespace slidemill;

namespace {

// Reads a picture's HIMETRIC size from its name, "WxH.png"; "missing..." is not there and
// anything else is not a picture.
class NamedSizeLoader : public PictureLoader {
public:
    QStringList loaded;
    Picture load(const QString& path) override {
        loaded << path;
        if (path.startsWith(QLatin1String("missing")))
            throw RuntimeError::withFile(errFileNotFound, path);
        static const QRegularExpression size(QStringLiteral("^(\\d+)x(\\d+)"));
        const auto m = size.match(path);
        if (!m.hasMatch())
            throw RuntimeError::withFile(errInvalidPicture, path);
        Picture p;
        p.path = path;
        p.widthHimetric = m.captured(1).toInt();
        p.heightHimetric = m.captured(2).toInt();
        return p;
    }
};

// A recording host whose hand-over fails as well.
class FailingEndHost : public RecordingHost {
public:
    void endBuild(Outcome outcome) override {
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
    // Two photos per slide, picture and box as placed in a column.
    Calls& two(const QString& path, double left, double width, double height, int column,
               bool description) {
        picture(path, left, 90, width, height);
        return description ? box(column == 0 ? 30 : 365, height + 95, 325, 200) : *this;
    }
    QStringList done() const { return lines + QStringList{QStringLiteral("End")}; }
    QStringList failed() const { return lines + QStringList{QStringLiteral("End (failed)")}; }
};

void build(bool two, const QStringList& paths, bool description, PictureLoader& loader,
           PresentationHost& host) {
    if (two)
        buildTwoOne(paths, description, loader, host);
    else
        buildOneOne(paths, description, loader, host);
}

} // namespace

Q_DECLARE_METATYPE(SlotPlacement)

class TestBuilds : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void oneOnePlacement_data();
    void oneOnePlacement();
    void twoOnePlacement_data();
    void twoOnePlacement();
    void conversation_data();
    void conversation();
    void handOverFailureKeepsBuildError();
    void handOverFailureAfterCompleteBuild();
    void fullList_data();
    void fullList();
};

// Error 0: the placement succeeds with the given left, width and height.
void TestBuilds::oneOnePlacement_data() {
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("error");
    QTest::addColumn<double>("left");
    QTest::addColumn<double>("w");

    QTest::newRow("640x480 pixels") << 16933 << 12700 << 0 << 110.0 << 500.0;
    QTest::newRow("100x100 pixels") << 2646 << 2646 << 0 << 173.0 << 375.0;
    QTest::newRow("wide, centred on both sides") << 26460 << 2646 << 0 << -1515.0 << 3750.0;
    QTest::newRow("wide, negative half rounds up") << 26461 << 2646 << 0 << -1514.0 << 3751.0;
    QTest::newRow("tallest that fits") << 2000 << 867014 << 0 << 360.0 << 1.0;
    QTest::newRow("one HIMETRIC too tall") << 2000 << 867015 << int(errOverflow) << 0.0 << 0.0;
    QTest::newRow("too wide for its height") << 300000 << 2646 << int(errOverflow) << 0.0 << 0.0;
    QTest::newRow("zero height") << 2646 << 0 << int(errDivisionByZero) << 0.0 << 0.0;
    QTest::newRow("zero height and width") << 0 << 0 << int(errOverflow) << 0.0 << 0.0;
}

void TestBuilds::oneOnePlacement() {
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, error);
    QFETCH(double, left);
    QFETCH(double, w);
    Picture p;
    p.widthHimetric = width;
    p.heightHimetric = height;
    try {
        const SlotPlacement at = placeOneOne(p);
        QCOMPARE(error, 0);
        QCOMPARE(at.picture, (PhotoPlacement{left, 90, w, 375}));
        QCOMPARE(at.description, (TextboxFrame{90, 475, 542, 80}));
    } catch (const RuntimeError& e) {
        QCOMPARE(e.number(), error);
    }
}

void TestBuilds::twoOnePlacement_data() {
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("error");
    QTest::addColumn<SlotPlacement>("expected");

    auto at = [](double l, double w, double h, int column) {
        return SlotPlacement{{l, 90, w, h}, {column == 0 ? 30.0 : 365.0, h + 95, 325, 200}};
    };
    const SlotPlacement none;

    QTest::newRow("landscape, left") << 27093 << 20320 << 0 << 0 << at(5, 350, 263, 0);
    QTest::newRow("landscape, right") << 27093 << 20320 << 1 << 0 << at(365, 350, 263, 1);
    QTest::newRow("square") << 26458 << 26458 << 0 << 0 << at(5, 350, 350, 0);
    QTest::newRow("h exactly 370") << 26458 << 27950 << 1 << 0 << at(365, 350, 370, 1);
    // Taller than 370: proportions kept inside 350 x 370, centred in the column.
    QTest::newRow("h 371, width rounds back to 350")
        << 26458 << 28030 << 0 << 0 << at(5, 350, 370, 0);
    QTest::newRow("h 372, half a point in") << 26458 << 28100 << 0 << 0 << at(6, 349, 370, 0);
    QTest::newRow("portrait, left") << 20320 << 27093 << 0 << 0 << at(41, 278, 370, 0);
    QTest::newRow("portrait, right") << 20320 << 27093 << 1 << 0 << at(401, 278, 370, 1);
    QTest::newRow("very tall, still fits 16 bits")
        << 2646 << 200000 << 0 << 0 << at(178, 5, 370, 0);
    QTest::newRow("too tall for its width") << 132 << 26458 << 0 << int(errOverflow) << none;
    QTest::newRow("too wide") << 867015 << 2646 << 0 << int(errOverflow) << none;
    QTest::newRow("zero width") << 0 << 2646 << 0 << int(errDivisionByZero) << none;
    QTest::newRow("zero width and height") << 0 << 0 << 1 << int(errOverflow) << none;
}

void TestBuilds::twoOnePlacement() {
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, column);
    QFETCH(int, error);
    QFETCH(SlotPlacement, expected);
    Picture p;
    p.widthHimetric = width;
    p.heightHimetric = height;
    try {
        const SlotPlacement at = placeTwoOne(p, column);
        QCOMPARE(error, 0);
        QCOMPARE(at.picture, expected.picture);
        QCOMPARE(at.description, expected.description);
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
    QTest::newRow("one: zero height")
        << false << QStringList{QStringLiteral("2646x0.gif")} << false << Calls().slide().failed()
        << int(errDivisionByZero) << QStringLiteral("2646x0.gif");
    QTest::newRow("one: missing picture")
        << false << QStringList{QStringLiteral("missing.png"), a} << false
        << Calls().slide().failed() << int(errFileNotFound) << QStringLiteral("missing.png");

    QTest::newRow("two: empty list")
        << true << QStringList{} << true << Calls().done() << 0 << QString();
    QTest::newRow("two: one entry")
        << true << QStringList{l} << true << Calls().slide().two(l, 5, 350, 263, 0, true).done()
        << 0 << QString();
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
    QTest::newRow("two: zero width on a new slide")
        << true << QStringList{s, s, QStringLiteral("0x2646.png")} << false
        << Calls()
               .slide()
               .two(s, 5, 350, 350, 0, false)
               .two(s, 365, 350, 350, 1, false)
               .slide()
               .failed()
        << int(errDivisionByZero) << QStringLiteral("0x2646.png");
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

QTEST_APPLESS_MAIN(TestBuilds)
#include "test_builds.moc"
