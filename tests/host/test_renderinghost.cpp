// The host that records a build and hands the deck to a writer: what it writes, when, and what
// it tells the window.

#include "host/renderinghost.h"
#include "slides/builds.h"
#include "slides/picturemetrics.h"
#include "support/fixtures.h"
#include "support/formdriver.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace slidemill;

class TestRenderingHost : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void handsTheDeckOver_data();
    void handsTheDeckOver();
    void kindByName_data();
    void kindByName();
};

void TestRenderingHost::handsTheDeckOver_data() {
    QTest::addColumn<QString>("picture");
    // The writer answers false: the user pressed Cancel while it wrote.
    QTest::addColumn<bool>("writerStops");
    QTest::addColumn<int>("written"); // decks the writer was given
    QTest::addColumn<bool>("saved");
    QTest::addColumn<int>("error"); // 0: none
    QTest::newRow("written, then opened") << "photo.png" << false << 1 << true << 0;
    QTest::newRow("stopped while it wrote") << "photo.png" << true << 1 << false << 0;
    QTest::newRow("a build that failed writes nothing") << "gone.png" << false << 0 << false << 53;
    QTest::newRow("a drawing is refused at once") << "drawing.wmf" << false << 0 << false << 481;
}

void TestRenderingHost::handsTheDeckOver() {
    QFETCH(QString, picture);
    QFETCH(bool, writerStops);
    QFETCH(int, written);
    QFETCH(bool, saved);
    QFETCH(int, error);
    QTemporaryDir dir;
    test::makePicture(dir.path(), QStringLiteral("photo.png"), "png", 64, 48);
    test::makePicture(dir.path(), QStringLiteral("drawing.wmf"), "wmf", 192, 96);
    test::RecordingOpener opener;
    std::vector<RecordedDeck> decks;
    RenderingHostOptions options;
    options.outputPath = dir.filePath(QStringLiteral("show.mp4"));
    options.opener = &opener;
    options.write = [&](const RecordedDeck& deck, const QString& path,
                        const std::function<bool(double)>& progress) {
        decks.push_back(deck);
        return path == options.outputPath && progress(0.5) && !writerStops;
    };
    RenderingHost host(options);
    HeaderPictureLoader loader;
    BuildOptions build;
    build.title = QStringLiteral("Summer");
    build.advanceMs = 2500;
    build.transition = Transition::Push;
    int thrown = 0;
    try {
        buildSlides({dir.filePath(picture)}, build, loader, host);
    } catch (const RuntimeError& e) {
        thrown = e.number();
        QCOMPARE(e.file(), dir.filePath(picture));
    }
    QCOMPARE(thrown, error);
    QCOMPARE(int(decks.size()), written);
    QCOMPARE(host.savedPath(), saved ? options.outputPath : QString());
    QCOMPARE(opener.opened, saved ? QStringList{options.outputPath} : QStringList());
    QCOMPARE(host.stopped(), writerStops);
    if (written == 0)
        return;
    // The deck as the build made it: a title slide, then the photo, each moving on as asked.
    const RecordedDeck& deck = decks.front();
    QCOMPARE(deck.slides.size(), std::size_t(2));
    QVERIFY(deck.slides[0].title);
    QCOMPARE(deck.slides[1].shapes.front().path, dir.filePath(picture));
    for (const RecordedSlide& slide : deck.slides) {
        QCOMPARE(slide.advanceSeconds, 2.5);
        QCOMPARE(slide.transition, kTransitionPush);
    }
    QCOMPARE(slideStarts(deck).back(), 5.0);
}

void TestRenderingHost::kindByName_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("kind");
    QTest::newRow("a video") << "show.mp4" << int(DeckKind::Video);
    QTest::newRow("in capitals") << "SHOW.MP4" << int(DeckKind::Video);
    QTest::newRow("a PDF") << "deck.pdf" << int(DeckKind::Pdf);
    QTest::newRow("a slide show") << "show.ppsx" << int(DeckKind::Presentation);
    QTest::newRow("a new presentation") << "" << int(DeckKind::Presentation);
    QTest::newRow("mp4 in the folder's name")
        << "clips.mp4/deck.pptx" << int(DeckKind::Presentation);
}

void TestRenderingHost::kindByName() {
    QFETCH(QString, name);
    QFETCH(int, kind);
    QCOMPARE(int(deckKindOf(name)), kind);
}

QTEST_GUILESS_MAIN(TestRenderingHost)
#include "test_renderinghost.moc"
