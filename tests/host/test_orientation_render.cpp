// Photos stored turned, drawn by LibreOffice: every one comes out upright, with its shown
// proportions, filling the frame the build asked for, cropped where it was asked. JPEGs in each of
// the eight EXIF orientations (the shape turns them), and the phone and web formats and JPEGs with
// more pixels than the slide shows (a copy made upright) through the batch tool.

#include "host/pptxhost.h"
#include "slides/builds.h"
#include "slides/picturemetrics.h"
#include "support/deckcheck.h"
#include "support/fixtures.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace slidemill;
using namespace slidemill::test;

namespace {

// The deck drawn by LibreOffice a page a slide at 72 dpi, so that a pixel is a point.
struct Drawn {
    QStringList pages;
    QString problem;
    bool skipped = false;
};

Drawn draw(const QString& deck, const QString& dir, int slides) {
    Drawn d;
    const QString pdfDir = dir + QStringLiteral("/pdf");
    const CheckResult converted = convertToPdf({deck}, pdfDir);
    d.skipped = converted.skipped;
    if (converted.skipped || !converted.ok) {
        d.problem = converted.output;
        return d;
    }
    const QString pdf = pdfPathFor(deck, pdfDir);
    if (pdfPageCount(pdf) != slides) {
        d.problem = QStringLiteral("%1 pages, not %2").arg(pdfPageCount(pdf)).arg(slides);
        return d;
    }
    for (int i = 1; i <= slides; ++i) {
        d.pages << renderPage(pdf, i, 72, dir + QStringLiteral("/p%1").arg(i));
        if (d.pages.back().isEmpty())
            d.problem = QStringLiteral("page %1 was not drawn").arg(i);
    }
    return d;
}

// What is wrong with the first slide of `drawn` whose photo is not upright in the box its
// shape shows, named by `names`; empty when each is.
QString notUpright(const QString& deck, const Drawn& drawn, const QStringList& names) {
    for (int i = 1; i <= names.size(); ++i) {
        const QRectF frame =
            shownPictureFrame(partOf(deck, QStringLiteral("ppt/slides/slide%1.xml").arg(i)));
        if (const QString problem = uprightProblem(QImage(drawn.pages[i - 1]), frame);
            !problem.isEmpty())
            return names[i - 1] + QStringLiteral(": ") + problem;
    }
    return {};
}

} // namespace

class TestOrientationRender : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void eachOrientationUpright();
    void phoneFormatsUprightThroughTheBatchTool();
    void ownTurnsUpright();
};

// Each orientation whole, then cropped by a different amount at each side: the crop is asked
// of the upright photo, so it must be turned with it.
void TestOrientationRender::eachOrientationUpright() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // One deck, a slide per orientation and crop, so LibreOffice starts once.
    const QString deck = dir.filePath(QStringLiteral("orientations.pptx"));
    QStringList photos;
    for (int o = 1; o <= 8; ++o) {
        photos << writeTurned(dir.path(), QStringLiteral("o%1.jpg").arg(o), uprightPhoto(), "jpeg",
                              o);
        QVERIFY(!photos.back().isEmpty());
    }
    const QRect frame(240, 60, 240, 320);
    // 12, 6, 3 and 30 of the photo's 90 x 120 pixels: both blocks still show, each cut.
    const QMarginsF crop(32, 16, 8, 80);
    PptxHost host(PptxHostOptions{deck, {}, false, nullptr});
    host.createApplication();
    host.addPresentation(kMsoTrue);
    for (const QMarginsF& c : {QMarginsF(), crop}) {
        for (const QString& photo : photos) {
            host.addSlide(host.slideCount() + 1, kLayoutBlank);
            host.addPicture(readPicture(photo), kMsoFalse, kMsoTrue, float(frame.x()),
                            float(frame.y()), float(frame.width()), float(frame.height()));
            host.setLineVisible(kMsoTrue);
            host.setLineWeight(kBorderWeight);
            if (!c.isNull())
                host.setPictureCrop(float(c.left()), float(c.top()), float(c.right()),
                                    float(c.bottom()));
            host.releasePicture();
        }
    }
    QVERIFY(!host.endBuild(PresentationHost::Outcome::Completed));

    const Drawn drawn = draw(deck, dir.path(), 16);
    if (drawn.skipped)
        QSKIP(qPrintable(drawn.problem));
    QVERIFY2(drawn.problem.isEmpty(), qPrintable(drawn.problem));
    for (int page = 1; page <= 16; ++page) {
        const bool cropped = page > 8;
        const QString problem =
            uprightProblem(QImage(drawn.pages[page - 1]), frame, cropped ? crop : QMarginsF());
        QVERIFY2(problem.isEmpty(), qPrintable(QStringLiteral("orientation %1%2: ")
                                                   .arg((page - 1) % 8 + 1)
                                                   .arg(cropped ? ", cropped" : "") +
                                               problem));
    }
    VERIFY_VALID_PPTX({deck});
}

void TestOrientationRender::phoneFormatsUprightThroughTheBatchTool() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QList<std::pair<const char*, int>> photos = {{"heic", 6}, {"heif", 3}, {"avif", 8},
                                                       {"webp", 6}, {"jpeg", 6}, {"jpeg", 7}};
    // At 50 ppi a 375-point slide shows 261 pixels of the 480 each photo has: all are resized.
    QStringList args = {QStringLiteral("--ppi"), QStringLiteral("50"), QStringLiteral("-o"),
                        dir.filePath(QStringLiteral("phone.pptx"))};
    const QImage upright = uprightPhoto().scaled(360, 480);
    for (const auto& [format, orientation] : photos) {
        args << writeTurned(
            dir.path(), QStringLiteral("photo%1.%2").arg(args.size()).arg(QLatin1String(format)),
            upright, format, orientation);
        QVERIFY2(!args.back().isEmpty(), format);
    }
    QProcess build;
    build.start(QStringLiteral(SLIDEMILL_BINARY_DIR "/slidemill-build"), args);
    QVERIFY(build.waitForFinished(300000));
    QVERIFY2(build.exitCode() == 0, build.readAllStandardError().constData());
    const QString deck = args[3];

    const Drawn drawn = draw(deck, dir.path(), int(photos.size()));
    if (drawn.skipped)
        QSKIP(qPrintable(drawn.problem));
    QVERIFY2(drawn.problem.isEmpty(), qPrintable(drawn.problem));
    QStringList names;
    for (const auto& photo : photos)
        names << QLatin1String(photo.first);
    const QString problem = notUpright(deck, drawn, names);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    VERIFY_VALID_PPTX({deck});
}

// Photos a camera stored turned the wrong way, set right by the album's own quarter turns on
// top of whatever their tags say: a file stored as it is (turned by its shape) and a copy made
// upright from its tag alike.
void TestOrientationRender::ownTurnsUpright() {
    struct Row {
        const char* format;
        // How far the content is turned clockwise before it is stored with `orientation`.
        int contentTurned;
        int orientation;
        int quarterTurns;
    };
    const Row rows[] = {{"jpeg", -90, 1, 1},
                        {"jpeg", 180, 6, 2},
                        {"jpeg", 90, 8, -1},
                        {"heic", -90, 6, 1},
                        {"webp", 90, 1, 3}};
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QStringList photos;
    BuildOptions options;
    for (const Row& r : rows) {
        const QImage content = uprightPhoto().transformed(QTransform().rotate(r.contentTurned));
        photos << writeTurned(dir.path(), QStringLiteral("t%1.%2").arg(photos.size()).arg(r.format),
                              content, r.format, r.orientation);
        QVERIFY2(!photos.back().isEmpty(), r.format);
        options.photos.push_back({QString(), r.quarterTurns});
    }
    const QString deck = dir.filePath(QStringLiteral("turned.pptx"));
    PptxHostOptions hostOptions{deck, {}, false, nullptr};
    hostOptions.pixelsPerInch = 0;
    PptxHost host(hostOptions);
    HeaderPictureLoader loader;
    QCOMPARE(buildSlides(photos, options, loader, host), BuildResult::Completed);

    const Drawn drawn = draw(deck, dir.path(), int(photos.size()));
    if (drawn.skipped)
        QSKIP(qPrintable(drawn.problem));
    QVERIFY2(drawn.problem.isEmpty(), qPrintable(drawn.problem));
    QStringList names;
    for (const QString& photo : photos)
        names << QFileInfo(photo).fileName();
    const QString problem = notUpright(deck, drawn, names);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    VERIFY_VALID_PPTX({deck});
}

QTEST_GUILESS_MAIN(TestOrientationRender)
#include "test_orientation_render.moc"
