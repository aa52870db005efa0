// Photos stored in each of the eight EXIF orientations, drawn by LibreOffice: every one
// comes out upright, with its shown proportions, filling the frame the build asked for.

#include "support/deckcheck.h"
#include "support/fixtures.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QtTest>

using namespace slidemill;
using namespace slidemill::test;

namespace {

// The photo as its owner sees it: portrait, pale yellow, a red block top left and a smaller
// blue one top right, so that every turn and mirror puts a block somewhere else.
QImage upright() {
    QImage img(90, 120, QImage::Format_RGB32);
    img.fill(qRgb(255, 240, 150));
    QPainter p(&img);
    p.fillRect(0, 0, 22, 30, Qt::red);
    p.fillRect(72, 0, 18, 15, Qt::blue);
    return img;
}

QString writeStored(const QString& dir, int orientation) {
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    if (!storedForOrientation(upright(), orientation).save(&buffer, "JPEG", 95))
        return {};
    // Both byte orders turn up in cameras' files.
    return writeBytes(dir, QStringLiteral("o%1.jpg").arg(orientation),
                      withSegment(jpeg, exifSegment(orientation, orientation % 2 == 0)));
}

bool red(QRgb c) {
    return qRed(c) > 170 && qGreen(c) < 90 && qBlue(c) < 90;
}
bool blue(QRgb c) {
    return qBlue(c) > 150 && qRed(c) < 90 && qGreen(c) < 90;
}
bool white(QRgb c) {
    return qRed(c) > 235 && qGreen(c) > 235 && qBlue(c) > 235;
}

// The bounding box of the pixels that match, and their centre of mass.
struct Region {
    QRect box;
    QPointF centre;
};

template <typename Match> Region region(const QImage& img, Match match) {
    Region r;
    double sx = 0, sy = 0;
    int n = 0;
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x) {
            if (!match(img.pixel(x, y)))
                continue;
            r.box |= QRect(x, y, 1, 1);
            sx += x;
            sy += y;
            ++n;
        }
    }
    if (n > 0)
        r.centre = {sx / n, sy / n};
    return r;
}

bool near(QPointF a, QPointF b, double tolerance) {
    return qAbs(a.x() - b.x()) <= tolerance && qAbs(a.y() - b.y()) <= tolerance;
}

} // namespace

class TestOrientationRender : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void eachOrientationUpright();
};

void TestOrientationRender::eachOrientationUpright() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // One deck, a slide per orientation, so LibreOffice starts once.
    const QString deck = dir.filePath(QStringLiteral("orientations.pptx"));
    QStringList photos;
    for (int o = 1; o <= 8; ++o) {
        photos << writeStored(dir.path(), o);
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

    // At 72 dpi a pixel is a point: the frame is x 240..480, y 60..380, and the blocks'
    // centres sit at an eighth of it from the top left and near the top right.
    const QPointF redAt(frame.x() + 11.0 / 90 * 240, frame.y() + 15.0 / 120 * 320);
    const QPointF blueAt(frame.x() + 81.0 / 90 * 240, frame.y() + 7.5 / 120 * 320);
    for (int o = 1; o <= 8; ++o) {
        const QString png = renderPage(pdf, o, 72, dir.filePath(QStringLiteral("p%1").arg(o)));
        QVERIFY(!png.isEmpty());
        const QImage img(png);
        const Region picture = region(img, [](QRgb c) { return !white(c); });
        const Region r = region(img, red), b = region(img, blue);
        const QString where =
            QStringLiteral("orientation %1: picture %2,%3 %4x%5, red at %6,%7, blue at %8,%9")
                .arg(o)
                .arg(picture.box.x())
                .arg(picture.box.y())
                .arg(picture.box.width())
                .arg(picture.box.height())
                .arg(r.centre.x(), 0, 'f', 0)
                .arg(r.centre.y(), 0, 'f', 0)
                .arg(b.centre.x(), 0, 'f', 0)
                .arg(b.centre.y(), 0, 'f', 0);
        QVERIFY2(qAbs(picture.box.left() - frame.left()) <= 2 &&
                     qAbs(picture.box.top() - frame.top()) <= 2 &&
                     qAbs(picture.box.width() - frame.width()) <= 3 &&
                     qAbs(picture.box.height() - frame.height()) <= 3,
                 qPrintable(where));
        QVERIFY2(near(r.centre, redAt, 6), qPrintable(where));
        QVERIFY2(near(b.centre, blueAt, 6), qPrintable(where));
    }
}

QTEST_GUILESS_MAIN(TestOrientationRender)
#include "test_orientation_render.moc"
