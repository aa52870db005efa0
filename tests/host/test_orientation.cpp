// Photos stored turned or mirrored: the shape that shows them upright, and the copy in the
// package that no longer asks to be turned.

#include "slides/picturemetrics.h"
#include "support/deckcheck.h"
#include "support/fixtures.h"

#include <QBuffer>
#include <QImageWriter>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

using namespace slidemill;
using namespace slidemill::test;

namespace {

const QString kSlide = QStringLiteral("ppt/slides/slide1.xml");
const QString kMedia = QStringLiteral("ppt/media/image1.jpeg");

const QRectF kFrame(100, 50, 300, 400);

// The a:xfrm of every picture on a slide: its attributes and its off/ext values.
struct Xfrm {
    QString rot, flipH, flipV;
    qint64 x = 0, y = 0, cx = 0, cy = 0;
};

std::vector<Xfrm> pictureFrames(const QByteArray& slideXml) {
    std::vector<Xfrm> out;
    QXmlStreamReader r(slideXml);
    bool inPicture = false;
    while (!r.atEnd()) {
        r.readNext();
        if (r.isEndElement() && r.qualifiedName() == QLatin1String("p:pic"))
            inPicture = false;
        if (!r.isStartElement())
            continue;
        const auto a = r.attributes();
        if (r.qualifiedName() == QLatin1String("p:pic")) {
            inPicture = true;
        } else if (inPicture && r.qualifiedName() == QLatin1String("a:xfrm")) {
            out.push_back({a.value("rot").toString(), a.value("flipH").toString(),
                           a.value("flipV").toString()});
        } else if (inPicture && r.qualifiedName() == QLatin1String("a:off")) {
            out.back().x = a.value("x").toLongLong();
            out.back().y = a.value("y").toLongLong();
        } else if (inPicture && r.qualifiedName() == QLatin1String("a:ext")) {
            out.back().cx = a.value("cx").toLongLong();
            out.back().cy = a.value("cy").toLongLong();
        }
    }
    return out;
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
    const auto frames = pictureFrames(readPart(out, kSlide).value_or(QByteArray()));
    QCOMPARE(frames.size(), std::size_t(1));
    const Xfrm& f = frames[0];
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
    const auto frames = pictureFrames(readPart(out, kSlide).value_or(QByteArray()));
    QCOMPARE(frames.size(), std::size_t(1));
    QCOMPARE(frames[0].rot, QString());
    QCOMPARE(frames[0].flipH, QString());
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
        const auto frames = pictureFrames(readPart(out, QLatin1String(slide)).value());
        QCOMPARE(frames.size(), std::size_t(1));
        QCOMPARE(frames[0].rot, QStringLiteral("5400000"));
    }
    QCOMPARE(differences(readPart(out, kMedia).value(), readBytes(photo)).size(), 1);
}

QTEST_GUILESS_MAIN(TestOrientation)
#include "test_orientation.moc"
