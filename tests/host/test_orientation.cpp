// Photos stored turned or mirrored: the shape that shows them upright, and the copy in the
// package that no longer asks to be turned.

#include "slides/picturemetrics.h"
#include "support/deckcheck.h"
#include "support/fixtures.h"

#include <QBuffer>
#include <QImageWriter>
#include <QTemporaryDir>
#include <QtTest>

using namespace slidemill;
using namespace slidemill::test;

namespace {

const QString kSlide = QStringLiteral("ppt/slides/slide1.xml");
const QString kMedia = QStringLiteral("ppt/media/image1.jpeg");

const QRectF kFrame(100, 50, 300, 400);

// The picture's a:xfrm on a slide holding one picture and no text; the first a:xfrm, a:off
// and a:ext belong to the slide's group.
struct Xfrm {
    qsizetype pictures = 0;
    QString rot, flipH, flipV;
    qint64 x = 0, y = 0, cx = 0, cy = 0;
};

Xfrm pictureFrame(const QString& pptx, const QString& slide = kSlide) {
    const QByteArray xml = partOf(pptx, slide);
    auto at = [&](const char* e, const char* a) { return attributeValues(xml, e, a).value(1); };
    return {attributeValues(xml, "p:pic", "x").size(),
            at("a:xfrm", "rot"),
            at("a:xfrm", "flipH"),
            at("a:xfrm", "flipV"),
            at("a:off", "x").toLongLong(),
            at("a:off", "y").toLongLong(),
            at("a:ext", "cx").toLongLong(),
            at("a:ext", "cy").toLongLong()};
}

// The positions where two equally long byte arrays differ.
QList<qsizetype> differences(const QByteArray& a, const QByteArray& b) {
    QList<qsizetype> at;
    for (qsizetype i = 0; i < qMin(a.size(), b.size()); ++i)
        if (a[i] != b[i])
            at << i;
    return at;
}

// A TIFF whose writer records the turn as its orientation tag.
QByteArray orientedTiff(QImageIOHandler::Transformation t) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "tiff");
    writer.setTransformation(t);
    QImage image(40, 30, QImage::Format_RGB32);
    image.fill(Qt::gray);
    return writer.write(image) ? bytes : QByteArray();
}

} // namespace

class TestOrientation : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void shapeTurnsUpright_data();
    void shapeTurnsUpright();
    void copyIsUpright_data();
    void copyIsUpright();
    void storedAsIs_data();
    void storedAsIs();
    void sameFileTwice();
};

// DrawingML mirrors first, then turns clockwise: each row is the shape that undoes how the
// file stores the photo.
void TestOrientation::shapeTurnsUpright_data() {
    QTest::addColumn<int>("orientation");
    QTest::addColumn<QString>("rot");
    QTest::addColumn<QString>("flipH");
    QTest::addRow("1 as stored") << 1 << QString() << QString();
    QTest::addRow("2 mirrored") << 2 << QString() << QStringLiteral("1");
    QTest::addRow("3 upside down") << 3 << QStringLiteral("10800000") << QString();
    QTest::addRow("4 mirrored top to bottom")
        << 4 << QStringLiteral("10800000") << QStringLiteral("1");
    QTest::addRow("5 transposed") << 5 << QStringLiteral("16200000") << QStringLiteral("1");
    QTest::addRow("6 turned anticlockwise") << 6 << QStringLiteral("5400000") << QString();
    QTest::addRow("7 transversed") << 7 << QStringLiteral("5400000") << QStringLiteral("1");
    QTest::addRow("8 turned clockwise") << 8 << QStringLiteral("16200000") << QString();
}

void TestOrientation::shapeTurnsUpright() {
    QFETCH(int, orientation);
    QFETCH(QString, rot);
    QFETCH(QString, flipH);
    QTemporaryDir dir;
    const QString photo = makeOrientedJpeg(dir.path(), "p.jpg", 64, 48, orientation);
    const QString out = dir.filePath("o.pptx");
    writeDeck(out, {photo}, false, kFrame);
    const Xfrm f = pictureFrame(out);
    QCOMPARE(f.pictures, 1);
    QCOMPARE(f.rot, rot);
    QCOMPARE(f.flipH, flipH);
    QCOMPARE(f.flipV, QString());
    // Turned about its centre, the box covers the asked frame (100, 50, 300 x 400 pt).
    const bool quarter = orientation >= 5;
    QCOMPARE(f.x + f.cx / 2, 250 * 12700);
    QCOMPARE(f.y + f.cy / 2, 250 * 12700);
    QCOMPARE(f.cx, (quarter ? 400 : 300) * 12700);
    QCOMPARE(f.cy, (quarter ? 300 : 400) * 12700);
}

void TestOrientation::copyIsUpright_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("part");
    const QByteArray jpeg = jpegBytes(64, 48);
    QTest::newRow("little-endian") << withSegment(jpeg, exifSegment(6, false)) << kMedia;
    QTest::newRow("big-endian") << withSegment(jpeg, exifSegment(3, true)) << kMedia;
    QTest::newRow("after other APP segments")
        << withSegmentAfterApps(jpeg, exifSegment(7, true)) << kMedia;
    QTest::newRow("with thumbnail")
        << withSegment(jpeg, exifSegment(5, false, jpegBytes(16, 12))) << kMedia;
    // Several pictures in one file (MPO): only the first, the one shown, is set upright.
    const QByteArray mpf("\xFF\xE2\x00\x0EMPF\0II*\0\x08\0\0\0", 16);
    QTest::newRow("mpo") << withSegment(withSegment(jpeg, mpf), exifSegment(6, false)) +
                                withSegment(jpegBytes(32, 32), exifSegment(6, false))
                         << kMedia;
    QTest::newRow("tiff") << orientedTiff(QImageIOHandler::TransformationRotate90)
                          << QStringLiteral("ppt/media/image1.tiff");
}

void TestOrientation::copyIsUpright() {
    QFETCH(QByteArray, file);
    QFETCH(QString, part);
    QTemporaryDir dir;
    const QString photo = writeBytes(dir.path(), "p.jpg", file);
    const Picture before = readPicture(photo);
    QVERIFY(before.orientation != 1);
    const QString out = dir.filePath("o.pptx");
    writeDeck(out, {photo}, false, kFrame);

    const QByteArray stored = readPart(out, part).value_or(QByteArray());
    QCOMPARE(stored.size(), file.size());
    // Only the low byte of the value changes, wherever the file's byte order puts it.
    const QList<qsizetype> changed = differences(stored, file);
    QCOMPARE(changed.size(), 1);
    QCOMPARE(changed[0], before.orientationOffset + (before.orientationBigEndian ? 1 : 0));
    const QString copy = writeBytes(dir.path(), "copy", stored);
    QCOMPARE(readPicture(copy).orientation, 1);
    QCOMPARE(identify(QStringLiteral("%[orientation]"), copy + "[0]"), QStringLiteral("TopLeft"));
}

// Whatever does not need turning, or cannot be trusted to, is stored byte for byte and
// shown unturned; none of it stops the build. (Damaged EXIF blocks read as orientation 1.)
void TestOrientation::storedAsIs_data() {
    QTest::addColumn<QByteArray>("file");
    const QByteArray jpeg = jpegBytes(64, 48);
    QTest::newRow("no EXIF") << jpeg;
    QTest::newRow("orientation 1") << withSegment(jpeg, exifSegment(1, true));
    QTest::newRow("orientation 9") << withSegment(jpeg, exifSegment(9, false));
}

void TestOrientation::storedAsIs() {
    QFETCH(QByteArray, file);
    QTemporaryDir dir;
    const QString photo = writeBytes(dir.path(), "p.jpg", file);
    const QString out = dir.filePath("o.pptx");
    writeDeck(out, {photo}, false, kFrame);
    QCOMPARE(readPart(out, kMedia).value_or(QByteArray()), file);
    const Xfrm f = pictureFrame(out);
    QCOMPARE(f.pictures, 1);
    QCOMPARE(f.rot, QString());
    QCOMPARE(f.flipH, QString());
}

void TestOrientation::sameFileTwice() {
    QTemporaryDir dir;
    const QString photo = makeOrientedJpeg(dir.path(), "p.jpg", 64, 48, 6, true);
    const QString out = dir.filePath("o.pptx");
    writeDeck(out, {photo, photo}, false, kFrame);
    int media = 0;
    for (const ZipEntry& e : zipEntries(out))
        media += e.name.startsWith(QLatin1String("ppt/media/"));
    QCOMPARE(media, 1);
    for (const char* slide : {"ppt/slides/slide1.xml", "ppt/slides/slide2.xml"}) {
        const Xfrm f = pictureFrame(out, QLatin1String(slide));
        QCOMPARE(f.pictures, 1);
        QCOMPARE(f.rot, QStringLiteral("5400000"));
    }
    QCOMPARE(differences(readPart(out, kMedia).value(), readBytes(photo)).size(), 1);
}

QTEST_GUILESS_MAIN(TestOrientation)
#include "test_orientation.moc"
