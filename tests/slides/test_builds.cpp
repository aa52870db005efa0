#include "core/runtimeerror.h"
#include "slides/builds.h"
#include "slides/placement.h"
#include "support/recordinghost.h"

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

class TestBuilds : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void placement_data();
    void placement();
    void conversation_data();
    void conversation();
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
