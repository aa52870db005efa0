// Photos stored turned, drawn by LibreOffice: every one comes out upright, with its shown
// proportions, filling the frame the build asked for. JPEGs in each of the eight EXIF
// orientations (the shape turns them), and the phone and web formats (a decoded copy stands
// upright) through the batch tool.

#include "support/deckcheck.h"
#include "support/fixtures.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace slidemill;
using namespace slidemill::test;

class TestOrientationRender : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void eachOrientationUpright();
    void phoneFormatsUprightThroughTheBatchTool();
};

void TestOrientationRender::eachOrientationUpright() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // One deck, a slide per orientation, so LibreOffice starts once.
    const QString deck = dir.filePath(QStringLiteral("orientations.pptx"));
    QStringList photos;
    for (int o = 1; o <= 8; ++o) {
        photos << writeTurned(dir.path(), QStringLiteral("o%1.jpg").arg(o), uprightPhoto(), "jpeg",
                              o);
        QVERIFY(!photos.back().isEmpty());
    }
    const QRect frame(240, 60, 240, 320);
    writeDeck(deck, photos, false, frame);

    const CheckResult valid = validatePptx({deck});
    if (valid.skipped)
        qInfo("%s", qPrintable(valid.output));
    else
        QVERIFY2(valid.ok, qPrintable(valid.output));

    const QString pdfDir = dir.filePath(QStringLiteral("pdf"));
    const CheckResult converted = convertToPdf({deck}, pdfDir);
    if (converted.skipped)
        QSKIP(qPrintable(converted.output));
    QVERIFY2(converted.ok, qPrintable(converted.output));
    const QString pdf = pdfPathFor(deck, pdfDir);
    QCOMPARE(pdfPageCount(pdf), 8);

    // At 72 dpi a pixel is a point.
    for (int o = 1; o <= 8; ++o) {
        const QString png = renderPage(pdf, o, 72, dir.filePath(QStringLiteral("p%1").arg(o)));
        QVERIFY(!png.isEmpty());
        const QString problem = uprightProblem(QImage(png), frame);
        QVERIFY2(problem.isEmpty(),
                 qPrintable(QStringLiteral("orientation %1: ").arg(o) + problem));
    }
}

void TestOrientationRender::phoneFormatsUprightThroughTheBatchTool() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QList<std::pair<const char*, int>> photos = {
        {"heic", 6}, {"heif", 3}, {"avif", 8}, {"webp", 6}};
    QStringList args = {QStringLiteral("-o"), dir.filePath(QStringLiteral("phone.pptx"))};
    for (const auto& [format, orientation] : photos) {
        args << writeTurned(dir.path(), QStringLiteral("photo.%1").arg(QLatin1String(format)),
                            uprightPhoto(), format, orientation);
        QVERIFY2(!args.back().isEmpty(), format);
    }
    QProcess build;
    build.start(QStringLiteral(SLIDEMILL_BINARY_DIR "/slidemill-build"), args);
    QVERIFY(build.waitForFinished(300000));
    QVERIFY2(build.exitCode() == 0, build.readAllStandardError().constData());
    const QString deck = args[1];

    const CheckResult valid = validatePptx({deck});
    QVERIFY2(valid.skipped || valid.ok, qPrintable(valid.output));
    const QString pdfDir = dir.filePath(QStringLiteral("pdf"));
    const CheckResult converted = convertToPdf({deck}, pdfDir);
    if (converted.skipped)
        QSKIP(qPrintable(converted.output));
    QVERIFY2(converted.ok, qPrintable(converted.output));
    const QString pdf = pdfPathFor(deck, pdfDir);
    QCOMPARE(pdfPageCount(pdf), int(photos.size()));
    for (int i = 1; i <= photos.size(); ++i) {
        const QString png = renderPage(pdf, i, 72, dir.filePath(QStringLiteral("p%1").arg(i)));
        QVERIFY(!png.isEmpty());
        const QRectF frame =
            shownPictureFrame(partOf(deck, QStringLiteral("ppt/slides/slide%1.xml").arg(i)));
        const QString problem = uprightProblem(QImage(png), frame);
        QVERIFY2(problem.isEmpty(),
                 qPrintable(QLatin1String(photos[i - 1].first) + ": " + problem));
    }
}

QTEST_GUILESS_MAIN(TestOrientationRender)
#include "test_orientation_render.moc"
