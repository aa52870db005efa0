#include "core/runtimeerror.h"
#include "slides/bytesource.h"
#include "slides/captions.h"
#include "slides/exif.h"
#include "slides/metafile.h"
#include "slides/picturemetrics.h"
#include "support/fixtures.h"

#include <QBuffer>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace slidemill;
using namespace slidemill::test;

Q_DECLARE_METATYPE(slidemill::PictureFormat)

namespace {

using Maker = std::function<QString(const QString& dir)>;

QString convertTo(const QString& dir, const QString& name, const QStringList& args) {
    const QString path = QDir(dir).filePath(name);
    return runConvert(QStringList(args) << path) ? path : QString();
}

// The raster file as Qt writes it, then changed by edit.
Maker edited(const char* format, int w, int h, std::function<void(QByteArray&)> edit) {
    return [=](const QString& dir) {
        QByteArray bytes = readBytes(makePicture(dir, "source", format, w, h));
        edit(bytes);
        return writeBytes(dir, "edited", bytes);
    };
}

Maker bytes(const QByteArray& content, const QString& name = "file.png") {
    return [=](const QString& dir) { return writeBytes(dir, name, content); };
}

quint32 crc32(const QByteArray& data) {
    quint32 crc = 0xFFFFFFFF;
    for (char c : data) {
        crc ^= quint8(c);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
    }
    return ~crc;
}

QByteArray pngChunk(const QByteArray& typeAndData) {
    char len[4], crc[4];
    qToBigEndian(quint32(typeAndData.size() - 4), len);
    qToBigEndian(crc32(typeAndData), crc);
    return QByteArray(len, 4) + typeAndData + QByteArray(crc, 4);
}

// A PNG whose only image data is a few bytes of nothing: a size without a pixel to decode.
QByteArray pngHeaderOnly(quint32 w, quint32 h) {
    QByteArray ihdr("IHDR", 4);
    char b[4];
    qToBigEndian(w, b);
    ihdr.append(b, 4);
    qToBigEndian(h, b);
    ihdr.append(b, 4);
    ihdr.append("\x08\x02\x00\x00\x00", 5);
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + pngChunk(ihdr) +
           pngChunk(QByteArray("IDAT\x78\x9c", 6)) + pngChunk("IEND");
}

int errorNumber(const QString& path) {
    try {
        readPicture(path);
    } catch (const RuntimeError& e) {
        return e.file() == path ? e.number() : -e.number();
    }
    return 0;
}

// A plain picture of w x h for the encoders that take pixels.
QImage plain(int w, int h) {
    QImage image(w, h, QImage::Format_ARGB32);
    image.fill(qRgb(255, 240, 150));
    return image;
}

Maker heif(const QByteArray& bytes, const QString& name = "p.heic") {
    return [=](const QString& dir) { return writeBytes(dir, name, bytes); };
}

// A Qt-written PNG whose image data is split over two IDAT chunks.
QByteArray pngInTwoIdats(const QString& dir) {
    const QByteArray png = readBytes(makePicture(dir, "two.png", "png", 640, 480));
    const qsizetype idat = png.indexOf("IDAT") - 4;
    const qsizetype length = qFromBigEndian<quint32>(png.constData() + idat);
    const QByteArray data = png.mid(idat + 8, length);
    const qsizetype half = length / 2;
    return png.left(idat) + pngChunk("IDAT" + data.left(half)) + pngChunk("IDAT" + data.mid(half)) +
           png.mid(idat + 12 + length);
}

// Where the first IDAT chunk after the signature ends in a PNG.
qsizetype afterFirstIdat(const QByteArray& png) {
    const qsizetype idat = png.indexOf("IDAT") - 4;
    return idat + 12 + qFromBigEndian<quint32>(png.constData() + idat);
}

// A Qt-written little-endian TIFF whose first strip is said to start at the file's end.
QByteArray tiffStripPastEnd(const QString& dir) {
    QByteArray tif = readBytes(makePicture(dir, "s.tif", "tiff", 64, 48));
    const quint32 ifd = qFromLittleEndian<quint32>(tif.constData() + 4);
    const int count = qFromLittleEndian<quint16>(tif.constData() + ifd);
    for (int i = 0; i < count; ++i) {
        const qsizetype entry = ifd + 2 + i * 12;
        if (qFromLittleEndian<quint16>(tif.constData() + entry) != 273)
            continue;
        const qsizetype values = qFromLittleEndian<quint32>(tif.constData() + entry + 4) == 1
                                     ? entry + 8
                                     : qFromLittleEndian<quint32>(tif.constData() + entry + 8);
        qToLittleEndian<quint32>(quint32(tif.size()), tif.data() + values);
    }
    return tif;
}

// A file in memory that counts the bytes its readers take from it.
class CountingBuffer : public QBuffer {
public:
    explicit CountingBuffer(const QByteArray& bytes) : bytes_(bytes) {
        setBuffer(&bytes_);
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    qint64 taken = 0;

protected:
    qint64 readData(char* data, qint64 max) override {
        const qint64 n = QBuffer::readData(data, max);
        taken += qMax<qint64>(n, 0);
        return n;
    }

private:
    QByteArray bytes_;
};

// A file whose reads fail from `failAt` on, as a disk's do.
class FailingBuffer : public QBuffer {
public:
    FailingBuffer(const QByteArray& bytes, qint64 failAt) : bytes_(bytes), failAt_(failAt) {
        setBuffer(&bytes_);
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }

protected:
    qint64 readData(char* data, qint64 max) override {
        if (pos() + max > failAt_) {
            setErrorString(QStringLiteral("Input/output error"));
            return -1;
        }
        return QBuffer::readData(data, max);
    }

private:
    QByteArray bytes_;
    qint64 failAt_;
};

// A 64 x 48 bitmap of 8 bits coded in runs, as ImageMagick writes it.
QString runLengthBmp(const QString& dir) {
    const QString path = QDir(dir).filePath("r.bmp");
    return runConvert({"-size", "64x48", "gradient:red-blue", "-colors", "40", "-type", "Palette",
                       "-compress", "RLE", "BMP3:" + path})
               ? path
               : QString();
}

} // namespace

class TestPictureMetrics : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void sizes_data() {
        QTest::addColumn<Maker>("make");
        QTest::addColumn<PictureFormat>("format");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        using F = PictureFormat;
        auto qt = [](const char* format, int w, int h) {
            return Maker([=](const QString& dir) { return makePicture(dir, "p", format, w, h); });
        };
        auto im = [](const QString& name, const QStringList& args) {
            return Maker([=](const QString& dir) { return convertTo(dir, name, args); });
        };
        const QStringList w640 = {"-size", "640x480", "xc:white"};

        QTest::newRow("png 640x480") << qt("png", 640, 480) << F::Png << 16933 << 12700;
        QTest::newRow("jpeg") << qt("jpeg", 640, 480) << F::Jpeg << 16933 << 12700;
        QTest::newRow("bmp") << qt("bmp", 640, 480) << F::Bmp << 16933 << 12700;
        QTest::newRow("tiff") << qt("tiff", 640, 480) << F::Tiff << 16933 << 12700;
        QTest::newRow("gif") << im("a.gif", w640) << F::Gif << 16933 << 12700;
        // 12 px is 317.5 HIMETRIC: the half goes up; 1 px is 26.46.
        QTest::newRow("half rounds up") << qt("png", 12, 1) << F::Png << 318 << 26;
        QTest::newRow("no pixels decoded")
            << bytes(pngHeaderOnly(20000, 15000)) << F::Png << 529167 << 396875;
        QTest::newRow("progressive jpeg")
            << im("p.jpg", w640 + QStringList{"-interlace", "Plane"}) << F::Jpeg << 16933 << 12700;
        QTest::newRow("cmyk jpeg")
            << im("c.jpg", w640 + QStringList{"-colorspace", "CMYK"}) << F::Jpeg << 16933 << 12700;
        QTest::newRow("camera jpeg with thumbnail")
            << bytes(withSegment(jpegBytes(640, 480), exifSegment(1, false, jpegBytes(160, 120))),
                     "cam.jpg")
            << F::Jpeg << 16933 << 12700;
        QTest::newRow("top-down bmp") << edited("bmp", 640, 480, [](QByteArray& b) {
            qToLittleEndian<qint32>(-qFromLittleEndian<qint32>(b.constData() + 22), b.data() + 22);
        }) << F::Bmp << 16933 << 12700;
        QTest::newRow("big-endian tiff")
            << im("be.tif", w640 + QStringList{"-define", "tiff:endian=msb"}) << F::Tiff << 16933
            << 12700;
        QTest::newRow("multi-page tiff, first page")
            << im("m.tif", {"-size", "640x480", "xc:white", "-size", "32x32", "xc:black"})
            << F::Tiff << 16933 << 12700;
        QTest::newRow("animated gif, first frame")
            << im("a.gif", {"-delay", "10", "-size", "640x480", "xc:red", "xc:blue"}) << F::Gif
            << 16933 << 12700;
        QTest::newRow("png named .wmf") << Maker([](const QString& dir) {
            return writeBytes(dir, "x.wmf", readBytes(makePicture(dir, "s.png", "png", 96, 192)));
        }) << F::Png << 2540 << 5080;

        // Phone and web formats, measured from their boxes and chunks.
        const QImage p640 = plain(640, 480);
        QTest::newRow("heic") << heif(heifBytes(p640)) << F::Heic << 16933 << 12700;
        QTest::newRow("heif of no particular codec")
            << heif(withMajorBrand(heifBytes(p640), "mif1")) << F::Heif << 16933 << 12700;
        QTest::newRow("avif") << heif(heifBytes(p640, 1, HeifCodec::Av1)) << F::Avif << 16933
                              << 12700;
        QTest::newRow("webp lossy")
            << bytes(webpBytes(p640), "p.webp") << F::Webp << 16933 << 12700;
        QTest::newRow("webp lossless")
            << bytes(webpBytes(p640, 100), "l.webp") << F::Webp << 16933 << 12700;
        // The shape is the coded picture's, cropped as the decoder crops it.
        QTest::newRow("heic cropped by its clean aperture")
            << heif(withProperty(heifBytes(p640), clapBox({600, 400}))) << F::Heic << 15875
            << 10583;
        QTest::newRow("heic whose aperture reaches past its edge")
            << heif(withProperty(heifBytes(p640), clapBox({600, 400}, {100, 0}))) << F::Heic
            << 13758 << 10583;
        QTest::newRow("heic whose ispe lies: swapped")
            << heif(withIspe(heifBytes(p640), {480, 640})) << F::Heic << 16933 << 12700;
        QTest::newRow("heic whose ispe lies: too small")
            << heif(withIspe(heifBytes(p640), {64, 48})) << F::Heic << 16933 << 12700;
        QTest::newRow("heic whose ispe is given twice alike")
            << heif(withProperty(heifBytes(p640), ispeBox({640, 480}))) << F::Heic << 16933
            << 12700;
        QTest::newRow("heic of odd size, a grid of one")
            << heif(heifBytes(plain(641, 479))) << F::Heic << 16960 << 12674;
        QTest::newRow("avif of odd size")
            << heif(heifBytes(plain(641, 479), 1, HeifCodec::Av1)) << F::Avif << 16960 << 12674;
        QTest::newRow("webp extended")
            << bytes(withWebpExif(webpBytes(p640), p640.size(), 1), "x.webp") << F::Webp << 16933
            << 12700;

        // Whole as LibreOffice shows them, though something after the shown picture is
        // missing or added.
        const QByteArray jpeg = jpegBytes(640, 480);
        QTest::newRow("camera trailer after EOI")
            << bytes(jpeg + QByteArray("\0\0SEFH\xff\xd8 not a picture", 22), "t.jpg") << F::Jpeg
            << 16933 << 12700;
        QTest::newRow("mpo whose second picture is cut short")
            << bytes(jpeg + jpeg.left(jpeg.size() / 2), "m.jpg") << F::Jpeg << 16933 << 12700;
        QTest::newRow("png cut in its IEND, its image data whole") << Maker([](const QString& dir) {
            const QByteArray png = readBytes(makePicture(dir, "s.png", "png", 640, 480));
            return writeBytes(dir, "n.png", png.chopped(6));
        }) << F::Png << 16933 << 12700;
        QTest::newRow("gif without its trailer") << Maker([](const QString& dir) {
            const QByteArray gif = readBytes(makePicture(dir, "s.gif", "gif", 640, 480));
            return writeBytes(dir, "n.gif", gif.chopped(1));
        }) << F::Gif << 16933 << 12700;
        QTest::newRow("animated gif cut in its second frame") << Maker([](const QString& dir) {
            const QString gif = convertTo(dir, "a.gif", {"-size", "640x480", "xc:red", "xc:blue"});
            // The two frames are alike: the second half of the file is the second frame.
            const QByteArray b = readBytes(gif);
            return writeBytes(dir, "c.gif", b.left(b.size() * 3 / 4));
        }) << F::Gif << 16933 << 12700;

        // What LibreOffice draws whole of a GIF cut after its first frame.
        const GifParts gif = gifOfThreeFrames();
        auto gifTo = [&](qsizetype size) { return bytes(gif.bytes.left(size), "c.gif"); };
        QTest::newRow("gif of three frames cut in the data of its third")
            << gifTo(gif.thirdData + 3) << F::Gif << 106 << 79;
        QTest::newRow("gif of three frames cut after an extension's introducer")
            << gifTo(gif.secondControl + 1) << F::Gif << 106 << 79;
        QTest::newRow("gif of three frames cut in a control extension")
            << gifTo(gif.thirdControl + 4) << F::Gif << 106 << 79;
        QTest::newRow("gif of three frames cut after an extension")
            << gifTo(gif.secondImage) << F::Gif << 106 << 79;
        QTest::newRow("run-length bmp") << Maker(runLengthBmp) << F::Bmp << 1693 << 1270;

        QTest::newRow("wmf at 1440 per inch")
            << bytes(placeableWmf(0, 0, 1440, 720, 1440)) << F::Wmf << 2540 << 1270;
        QTest::newRow("wmf off origin at 96")
            << bytes(placeableWmf(-100, -50, 100, 50, 96)) << F::Wmf << 5292 << 2646;
        QTest::newRow("wmf half rounds up")
            << bytes(placeableWmf(0, 0, 25, 25, 1000)) << F::Wmf << 64 << 64;
        QTest::newRow("emf") << bytes(emf(QRect(0, 0, 2000, 1000))) << F::Emf << 2000 << 1000;
        QTest::newRow("emf off origin")
            << bytes(emf(QRect(-500, -500, 1000, 2000))) << F::Emf << 1000 << 2000;
    }
    void sizes() {
        QFETCH(Maker, make);
        QTemporaryDir dir;
        const QString path = make(dir.path());
        QVERIFY2(!path.isEmpty(), "fixture not written");
        Picture p;
        try {
            p = readPicture(path);
        } catch (const RuntimeError& e) {
            QFAIL(qPrintable(e.oneLine()));
        }
        QCOMPARE(p.path, path);
        QTEST(p.format, "format");
        QTEST(p.widthHimetric, "width");
        QTEST(p.heightHimetric, "height");
        QCOMPARE(p.orientation, 1);
        QCOMPARE(p.orientationOffset, -1);
    }

    // The traps above only test something if the files really are what they claim.
    void fixturesAreTheTraps() {
        QTemporaryDir dir;
        const QString be = convertTo(dir.path(), "be.tif",
                                     {"-size", "64x48", "xc:white", "-define", "tiff:endian=msb"});
        QVERIFY(readBytes(be).startsWith("MM"));
        const QByteArray tif = readBytes(makePicture(dir.path(), "t.tif", "tiff", 640, 480));
        QVERIFY(qFromLittleEndian<quint32>(tif.constData() + 4) > quint32(tif.size() / 2));
        const QString p =
            convertTo(dir.path(), "p.jpg", {"-size", "64x48", "xc:white", "-interlace", "Plane"});
        QCOMPARE(identify("%[interlace]", p), "JPEG");
        const QString c =
            convertTo(dir.path(), "c.jpg", {"-size", "64x48", "xc:white", "-colorspace", "CMYK"});
        QCOMPARE(identify("%[colorspace]", c), "CMYK");
    }

    void errors_data() {
        QTest::addColumn<Maker>("make");
        QTest::addColumn<int>("number");
        const QByteArray jpeg = jpegBytes(64, 48);
        const QByteArray wmf = placeableWmf(0, 0, 1440, 720, 1440);
        const QByteArray emfBytes = emf(QRect(0, 0, 2000, 1000));
        auto patched = [](QByteArray b, int at, QByteArray with) {
            b.replace(at, with.size(), with);
            return b;
        };

        QTest::newRow("missing") << Maker([](const QString& dir) {
            return QDir(dir).filePath("none.jpg");
        }) << 53;
        // What is no file says what it is, as a file that cannot be read does: 75.
        QTest::newRow("directory") << Maker([](const QString& dir) {
            QDir(dir).mkdir("d.png");
            return QDir(dir).filePath("d.png");
        }) << 75;
        QTest::newRow("fifo") << Maker([](const QString& dir) {
            const QString path = QDir(dir).filePath("f.jpg");
            return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0 ? path : QString();
        }) << 75;
        QTest::newRow("socket") << Maker([](const QString& dir) {
            const QString path = QDir(dir).filePath("s.jpg");
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            const QByteArray native = QFile::encodeName(path);
            qstrncpy(address.sun_path, native.constData(), sizeof address.sun_path);
            const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
            const bool bound =
                ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
            ::close(fd);
            return bound ? path : QString();
        }) << 75;
        // A list written by find -print0 read a line at a time: the name ends at the NUL.
        QTest::newRow("name with a NUL byte") << Maker([](const QString& dir) {
            writeBytes(dir, "a.jpg", jpegBytes(64, 48));
            return QDir(dir).filePath("a.jpg") + QChar(0) + QStringLiteral("b.jpg");
        }) << 75;
        QTest::newRow("empty") << bytes({}, "e.png") << 481;
        QTest::newRow("text named .jpg") << bytes("not a picture\n", "t.jpg") << 481;
        QTest::newRow("png signature only") << bytes(pngHeaderOnly(64, 48).left(12)) << 481;
        QTest::newRow("jpeg cut in its header") << bytes(jpeg.left(30), "c.jpg") << 481;
        QTest::newRow("png of width 0") << bytes(pngHeaderOnly(0, 48)) << 481;
        QTest::newRow("png beyond 32-bit himetric") << bytes(pngHeaderOnly(0x7FFFFFFF, 1)) << 481;
        QTest::newRow("bmp of width 0") << edited("bmp", 64, 48, [](QByteArray& b) {
            qToLittleEndian<qint32>(0, b.data() + 18);
        }) << 481;
        QTest::newRow("gif header only") << bytes("GIF89a", "g.gif") << 481;
        QTest::newRow("tiff pointing past its end")
            << bytes(QByteArray("II*\0\xff\xff\0\0", 8), "t.tif") << 481;

        QTest::newRow("heic whose ispe is given twice, each different")
            << heif(withProperty(heifBytes(plain(64, 48)), ispeBox({48, 64}))) << 481;

        QTest::newRow("wmf not placeable") << bytes(wmf.mid(22), "s.wmf") << 481;
        QTest::newRow("wmf placeable header only") << bytes(wmf.left(22), "h.wmf") << 481;
        QTest::newRow("wmf truncated") << bytes(wmf.left(wmf.size() - 2), "t.wmf") << 481;
        QTest::newRow("wmf inside out")
            << bytes(placeableWmf(1440, 0, 0, 720, 1440), "i.wmf") << 481;
        QTest::newRow("wmf zero units per inch")
            << bytes(placeableWmf(0, 0, 1440, 720, 0), "u.wmf") << 481;
        QTest::newRow("emf inside out")
            << bytes(patched(emfBytes, 32, QByteArray("\xff\xff\xff\xff", 4)), "i.emf") << 481;
        QTest::newRow("emf truncated") << bytes(emfBytes.left(90), "t.emf") << 481;
        QTest::newRow("emf header cut") << bytes(emfBytes.left(60), "c.emf") << 481;
        QTest::newRow("emf record size lies")
            << bytes(patched(emfBytes, 4, QByteArray("\x08\0\0\0", 4)), "r.emf") << 481;
    }
    void errors() {
        QFETCH(Maker, make);
        QTemporaryDir dir;
        const QString path = make(dir.path());
        QVERIFY(!path.isEmpty());
        QTEST(errorNumber(path), "number");
    }

    // A read that fails is the disk's error, 75 with its text, wherever in the header it
    // falls: never "Invalid picture", which would blame the photo.
    void readErrors_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<qint64>("failAt");
        QByteArray late = jpegBytes(64, 48);
        // An APP15 segment of 100 KB before the frame header: its size is read past the
        // first window.
        late.insert(2, QByteArray("\xff\xef\xff\xff", 4) + QByteArray(0xfffd, '\0'));
        late.insert(2, QByteArray("\xff\xef\xff\xff", 4) + QByteArray(0xfffd, '\0'));
        QTest::newRow("at the first byte") << jpegBytes(64, 48) << qint64(0);
        QTest::newRow("past the first window") << late << qint64(70000);
        QTest::newRow("a PNG at its first byte") << pngHeaderOnly(64, 48) << qint64(0);
    }
    void readErrors() {
        QFETCH(QByteArray, bytes);
        QFETCH(qint64, failAt);
        {
            QBuffer whole(&bytes);
            whole.open(QIODevice::ReadOnly);
            QVERIFY(readPicture(whole, QStringLiteral("p")).widthHimetric > 0);
        }
        FailingBuffer device(bytes, failAt);
        try {
            readPicture(device, QStringLiteral("p.jpg"));
            QFAIL("measured");
        } catch (const RuntimeError& e) {
            QCOMPARE(e.number(), 75);
            QCOMPARE(e.text(), QStringLiteral("Path/File access error: cannot read the picture: "
                                              "Input/output error"));
            QCOMPARE(e.file(), QStringLiteral("p.jpg"));
        }
    }

    // Cut short: the picture that is shown has lost data, or the presentation application
    // draws nothing of what is left. Refused, and said so.
    void cutShort_data() {
        QTest::addColumn<Maker>("make");
        const QByteArray jpeg = jpegBytes(64, 48);
        const QByteArray heic = heifBytes(plain(64, 48));
        const QByteArray webp = webpBytes(plain(64, 48));
        QTest::newRow("heic cut in its data") << heif(heic.chopped(20));
        QTest::newRow("heic cut in its boxes") << heif(heic.left(200));
        QTest::newRow("webp cut short") << bytes(webp.chopped(20), "c.webp");
        QTest::newRow("jpeg cut in its scan") << bytes(jpeg.left(jpeg.size() - 40), "c.jpg");
        QTest::newRow("progressive jpeg cut between scans") << Maker([](const QString& dir) {
            const QByteArray p = readBytes(
                convertTo(dir, "p.jpg", {"-size", "64x48", "plasma:", "-interlace", "Plane"}));
            // Up to the start of its last scan.
            return writeBytes(dir, "c.jpg", p.left(p.lastIndexOf("\xff\xda")));
        });
        QTest::newRow("png cut in its data") << Maker([](const QString& dir) {
            const QByteArray png = readBytes(makePicture(dir, "s.png", "png", 640, 480));
            return writeBytes(dir, "c.png", png.left(png.size() * 2 / 3));
        });
        QTest::newRow("png cut between its data chunks") << Maker([](const QString& dir) {
            const QByteArray png = pngInTwoIdats(dir);
            return writeBytes(dir, "c.png", png.left(afterFirstIdat(png)));
        });
        QTest::newRow("gif cut in its picture") << Maker([](const QString& dir) {
            const QByteArray gif = readBytes(makePicture(dir, "s.gif", "gif", 640, 480));
            return writeBytes(dir, "c.gif", gif.left(gif.size() / 2));
        });
        QTest::newRow("tiff strip past the end") << Maker(
            [](const QString& dir) { return writeBytes(dir, "c.tif", tiffStripPastEnd(dir)); });

        // LibreOffice gives up on a GIF whose later frame stops in its header, or in an
        // extension it reads, and shows nothing at all.
        const GifParts gif = gifOfThreeFrames();
        auto gifTo = [&](qsizetype size) { return bytes(gif.bytes.left(size), "c.gif"); };
        QTest::newRow("gif cut in a later frame's descriptor") << gifTo(gif.secondImage + 5);
        QTest::newRow("gif cut in a later frame's colour table") << gifTo(gif.thirdImage + 14);
        QTest::newRow("gif cut before a later frame's code size") << gifTo(gif.secondData);
        QTest::newRow("gif cut after a later control extension's label")
            << gifTo(gif.thirdControl + 2);
        QTest::newRow("gif cut in a comment between frames") << gifTo(gif.comment + 5);
        QTest::newRow("gif cut before a comment's terminator") << gifTo(gif.comment + 8);

        // A bitmap is drawn only with every row.
        QTest::newRow("bmp without its last byte")
            << edited("bmp", 64, 48, [](QByteArray& b) { b.chop(1); });
        QTest::newRow("top-down bmp without its last row")
            << edited("bmp", 64, 48, [](QByteArray& b) {
                   qToLittleEndian<qint32>(-48, b.data() + 22);
                   b.chop(64 * 3);
               });
        QTest::newRow("run-length bmp without its end") << Maker([](const QString& dir) {
            const QByteArray b = readBytes(runLengthBmp(dir));
            return writeBytes(dir, "c.bmp", b.chopped(1));
        });
        QTest::newRow("run-length bmp, its size unsaid, cut in its runs")
            << Maker([](const QString& dir) {
                   QByteArray b = readBytes(runLengthBmp(dir));
                   qToLittleEndian<quint32>(0, b.data() + 34);
                   return writeBytes(dir, "c.bmp", b.left(b.size() - 20));
               });
    }
    void cutShort() {
        QFETCH(Maker, make);
        QTemporaryDir dir;
        const QString path = make(dir.path());
        try {
            readPicture(path);
            QFAIL("accepted");
        } catch (const RuntimeError& e) {
            QCOMPARE(e.number(), int(errInvalidPicture));
            QCOMPARE(e.file(), path);
            QVERIFY2(e.text().contains(QStringLiteral("cut short")), qPrintable(e.text()));
        }
    }

    // Not the picture's fault: the user may not read it.
    void unreadableIsAnAccessError() {
        QTemporaryDir dir;
        const QString locked = makePicture(dir.path(), "locked.png", "png", 16, 16);
        QVERIFY(QFile::setPermissions(locked, QFileDevice::WriteOwner));
        const test::AsNobody nobody(dir.path());
        try {
            readPicture(locked);
            QFAIL("no error");
        } catch (const RuntimeError& e) {
            QCOMPARE(e.number(), int(errPathFileAccess));
            QCOMPARE(e.file(), locked);
            QVERIFY2(e.text().contains(QStringLiteral("Permission denied")), qPrintable(e.text()));
        }
    }

    // Inputs that once crashed or hung a reader, and hostile ones made to: each is refused.
    void fuzzFindings_data() {
        QTest::addColumn<QString>("path");
        QDirIterator it(QStringLiteral(SLIDEMILL_FUZZ_CRASHES_DIR), QDir::Files);
        while (it.hasNext()) {
            it.next();
            QTest::newRow(qPrintable(it.fileName())) << it.filePath();
        }
    }
    void fuzzFindings() {
        QFETCH(QString, path);
        QCOMPARE(errorNumber(path), 481);
    }

    // Long tables, and walks that would go back and forth: each is read in time, and in reads
    // that grow with the file, not with its tables squared.
    void longTablesReadInProportion_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("number");
        const QByteArray heic = heifBytes(plain(800, 600));
        QTest::newRow("heic, a million auxiliary references and associations")
            << withAuxiliaryFlood(heic, 1000000) << 0;
        QTest::newRow("heic, its auxiliary referred to 200,000 times, of 255 properties")
            << withAuxiliaryFlood(heic, 200000, 255) << 0;
        QTest::newRow("jpeg, 400,000 scans and no EOI") << jpegOfManyScans(400000) << 481;
        QTest::newRow("tiff, strip tables a megabyte apart")
            << tiffWithTablesApart(200000, 1 << 20) << 0;
    }
    void longTablesReadInProportion() {
        QFETCH(QByteArray, file);
        QVERIFY(file.size() > 1000000);
        CountingBuffer device(file);
        int number = 0;
        try {
            readPicture(device, QStringLiteral("long"));
        } catch (const RuntimeError& e) {
            number = e.number();
        }
        QTEST(number, "number");
        // Read in quadratic time these took minutes: the bytes taken say which.
        QVERIFY2(device.taken <= 4 * file.size() + (1 << 20),
                 qPrintable(QString::number(device.taken)));
    }

    // Turned as phones and cameras turn them: HEIF by irot and imir, WebP by EXIF.
    void turnedPhonePictures_data() {
        QTest::addColumn<Maker>("make");
        QTest::addColumn<int>("orientation");
        const QImage p = plain(640, 480);
        auto file = [](const QByteArray& b, const char* name) {
            return Maker([=](const QString& dir) { return writeBytes(dir, name, b); });
        };
        QTest::newRow("heic 6, size after the turn") << file(heifBytes(p, 6), "a.heic") << 6;
        QTest::newRow("heic 6, size before the turn")
            << file(withSizeFirst(heifBytes(p, 6)), "b.heic") << 6;
        QTest::newRow("heic 6, size of the coded picture after the turn")
            << file(withIspe(heifBytes(p, 6), {640, 480}), "h.heic") << 6;
        QTest::newRow("heic 6, size after the turn and too small")
            << file(withIspe(heifBytes(p, 6), {48, 64}), "i.heic") << 6;
        QTest::newRow("heic 6, cropped before the turn")
            << file(withProperty(heifBytes(p, 6), clapBox({640, 480}), 1), "j.heic") << 6;
        QTest::newRow("heic 5, turned then mirrored")
            << file(withSizeFirst(heifBytes(p, 5)), "c.heic") << 5;
        QTest::newRow("heic 4, mirrored top to bottom") << file(heifBytes(p, 4), "d.heic") << 4;
        QTest::newRow("heic 2, mirrored left to right") << file(heifBytes(p, 2), "e.heic") << 2;
        QTest::newRow("avif 8") << file(heifBytes(p, 8, HeifCodec::Av1), "f.avif") << 8;
        QTest::newRow("webp 6") << file(withWebpExif(webpBytes(p), p.size(), 6), "g.webp") << 6;
    }
    void turnedPhonePictures() {
        QFETCH(Maker, make);
        QFETCH(int, orientation);
        QTemporaryDir dir;
        const QString path = make(dir.path());
        QVERIFY2(!path.isEmpty(), "fixture not written");
        const Picture p = readPicture(path);
        QCOMPARE(p.orientation, orientation);
        // The pixels are stored 640 x 480 and shown turned.
        QCOMPARE(p.widthHimetric, orientation >= 5 ? 12700 : 16933);
        QCOMPARE(p.heightHimetric, orientation >= 5 ? 16933 : 12700);
        // Nothing to rewrite: the stored copy is made from the pixels.
        QCOMPARE(p.orientationOffset, -1);
    }

    void orientation_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("orientation");
        QTest::addColumn<bool>("bigEndian");
        const QByteArray jpeg = jpegBytes(640, 480);
        for (int o = 1; o <= 8; ++o) {
            const bool be = o % 2 == 0;
            QTest::addRow("%d %s", o, be ? "big-endian" : "little-endian")
                << withSegment(jpeg, exifSegment(o, be)) << o << be;
        }
        // Cameras write JFIF or other APP segments before the EXIF one; XMP is APP1 as well.
        const QByteArray xmp = QByteArray("\xFF\xE1\x00\x22http://ns.adobe.com/xap/1.0/\0xx", 36);
        QTest::newRow("after APP0 and XMP")
            << withSegmentAfterApps(withSegmentAfterApps(jpeg, xmp), exifSegment(6, true)) << 6
            << true;
        QTest::newRow("with thumbnail")
            << withSegment(jpeg, exifSegment(8, false, jpegBytes(160, 120))) << 8 << false;
        // A picture that holds several (MPO): the first one is measured; the MP index is APP2.
        const QByteArray mpf("\xFF\xE2\x00\x0EMPF\0II*\0\x08\0\0\0", 16);
        QTest::newRow("mpo") << withSegment(withSegment(jpeg, mpf), exifSegment(6, false)) +
                                    withSegment(jpegBytes(100, 100), exifSegment(1, false))
                             << 6 << false;
    }
    void orientation() {
        QFETCH(QByteArray, file);
        QFETCH(int, orientation);
        QFETCH(bool, bigEndian);
        QTemporaryDir dir;
        const QString path = writeBytes(dir.path(), "o.jpg", file);
        const Picture p = readPicture(path);
        QCOMPARE(p.orientation, orientation);
        // The displayed size: a quarter turn exchanges the sides, whatever Qt would do.
        QCOMPARE(p.widthHimetric, orientation >= 5 ? 12700 : 16933);
        QCOMPARE(p.heightHimetric, orientation >= 5 ? 16933 : 12700);
        if (orientation == 1) {
            QCOMPARE(p.orientationOffset, -1);
            return;
        }
        QCOMPARE(p.orientationBigEndian, bigEndian);
        // Writing 1 there is how the package gets an upright copy.
        QCOMPARE(file.mid(p.orientationOffset, 2),
                 bigEndian ? QByteArray("\0", 1) + char(orientation)
                           : QByteArray(1, char(orientation)) + QByteArray("\0", 1));
    }

    // A damaged or lying EXIF block is read as orientation 1, never as a failure.
    void badExif_data() {
        QTest::addColumn<QByteArray>("file");
        const QByteArray jpeg = jpegBytes(640, 480);
        const QByteArray exif = exifSegment(6, false);
        auto patched = [&](int at, QByteArray with) {
            QByteArray e = exif;
            e.replace(at, with.size(), with);
            return withSegment(jpeg, e);
        };
        // Segment layout: marker 2, length 2, "Exif\0\0" 6, then TIFF at 10.
        QTest::newRow("value 0") << withSegment(jpeg, exifSegment(0, false));
        QTest::newRow("value 9") << withSegment(jpeg, exifSegment(9, false));
        QTest::newRow("type LONG") << patched(10 + 8 + 2 + 12 + 2, QByteArray("\x04\0", 2));
        QTest::newRow("count 2") << patched(10 + 8 + 2 + 12 + 4, QByteArray("\x02\0", 2));
        QTest::newRow("IFD past the block") << patched(14, QByteArray("\xF0\xFF\0\0", 4));
        QTest::newRow("IFD count past the block") << patched(18, QByteArray("\xFF\x0F", 2));
        QTest::newRow("bad byte order") << patched(10, QByteArray("IM", 2));
        QTest::newRow("bad magic") << patched(12, QByteArray("\x2B\0", 2));
        // The segment says it ends before the orientation entry.
        QTest::newRow("truncated block") << patched(2, QByteArray("\x00\x1A", 2));
    }
    void badExif() {
        QFETCH(QByteArray, file);
        QTemporaryDir dir;
        const Picture p = readPicture(writeBytes(dir.path(), "b.jpg", file));
        QCOMPARE(p.orientation, 1);
        QCOMPARE(p.orientationOffset, -1);
        QCOMPARE(p.widthHimetric, 16933);
    }

    // When the photo was taken, from the EXIF block read with the orientation. A missing or
    // damaged one is no date, never a refusal.
    void taken_data() {
        QTest::addColumn<Maker>("make");
        QTest::addColumn<QDateTime>("taken");
        const QByteArray date("2026:07:12 14:03:27", 20);
        const QDate day(2026, 7, 12);
        const QTime time(14, 3, 27);
        const QDateTime local(day, time, Qt::LocalTime);
        const QDateTime east(day, time, Qt::OffsetFromUTC, 2 * 3600);
        const QDateTime none;
        const QByteArray jpeg = jpegBytes(64, 48);
        const QImage p = plain(64, 48);
        auto inJpeg = [&](const QByteArray& tiff) {
            return bytes(withSegment(jpeg, exifApp1(tiff)), "t.jpg");
        };
        auto patched = [](QByteArray tiff, QByteArrayView at, QByteArrayView with) {
            const qsizetype i = tiff.indexOf(at);
            return i < 0 ? QByteArray()
                         : tiff.replace(i + at.size(), with.size(), with.toByteArray());
        };
        auto dated = [&](const char* taken) {
            return inJpeg(exifBlockWithDate(QByteArray(taken, qsizetype(std::strlen(taken)) + 1)));
        };
        auto offset = [&](const char* at) {
            return inJpeg(exifBlockWithDate(date, QByteArray(at, qsizetype(std::strlen(at)) + 1)));
        };

        QTest::newRow("jpeg") << inJpeg(exifBlockWithDate(date)) << local;
        QTest::newRow("jpeg, big-endian, east of UTC")
            << inJpeg(exifBlockWithDate(date, QByteArray("+02:00", 7), true)) << east;
        QTest::newRow("jpeg, west of UTC")
            << offset("-05:30") << QDateTime(day, time, Qt::OffsetFromUTC, -(5 * 3600 + 1800));
        QTest::newRow("mpo, its first picture's")
            << bytes(withSegment(jpeg, exifApp1(exifBlockWithDate(date))) +
                         withSegment(jpegBytes(32, 24), exifApp1(exifBlockWithDate(QByteArray(
                                                            "2001:01:01 00:00:00", 20)))),
                     "m.jpg")
            << local;
        QTest::newRow("tiff") << bytes(
                                     exifBlockWithDate(date, QByteArray("+02:00", 7), false, true),
                                     "t.tif")
                              << east;
        QTest::newRow("big-endian tiff")
            << bytes(exifBlockWithDate(date, {}, true, true), "t.tif") << local;
        QTest::newRow("heic, its Exif item")
            << heif(heifWithExif(p, exifBlockWithDate(date, QByteArray("+02:00", 7)))) << east;
        QTest::newRow("avif, its Exif item")
            << heif(heifWithExif(p, exifBlockWithDate(date), HeifCodec::Av1), "t.avif") << local;
        QTest::newRow("webp, its EXIF chunk")
            << bytes(withWebpExifBlock(webpBytes(p), p.size(), exifBlockWithDate(date)), "t.webp")
            << local;
        QTest::newRow("dashes and a T") << dated("2026-07-12T14:03:27") << local;

        QTest::newRow("no EXIF block") << bytes(jpeg, "n.jpg") << none;
        QTest::newRow("no Exif IFD")
            << bytes(withSegment(jpeg, exifSegment(6, false)), "n.jpg") << none;
        QTest::newRow("no Exif item") << heif(heifBytes(p)) << none;
        QTest::newRow("zeros, the camera did not know") << dated("0000:00:00 00:00:00") << none;
        QTest::newRow("spaces, the camera did not know") << dated("    :  :     :  :  ") << none;
        QTest::newRow("month 13") << dated("2026:13:12 14:03:27") << none;
        QTest::newRow("30 February") << dated("2026:02:30 14:03:27") << none;
        QTest::newRow("hour 24") << dated("2026:07:12 24:00:00") << none;
        QTest::newRow("a date without its time") << dated("2026:07:12") << none;
        QTest::newRow("one separator of each") << dated("2026:07-12 14:03:27") << none;
        QTest::newRow("not text") << inJpeg(patched(exifBlockWithDate(date),
                                                    QByteArrayView("\x03\x90", 2),
                                                    QByteArrayView("\x07\0", 2)))
                                  << none;
        QTest::newRow("its text past the block")
            << inJpeg(patched(exifBlockWithDate(date),
                              QByteArrayView("\x03\x90\x02\0\x14\0\0\0", 8),
                              QByteArrayView("\xF0\xFF\0\0", 4)))
            << none;
        QTest::newRow("its text longer than a date")
            << inJpeg(patched(exifBlockWithDate(date), QByteArrayView("\x03\x90\x02\0", 4),
                              QByteArrayView("\xFF\xFF\0\0", 4)))
            << none;
        QTest::newRow("Exif IFD past the block")
            << inJpeg(patched(exifBlockWithDate(date),
                              QByteArrayView("\x69\x87\x04\0\x01\0\0\0", 8),
                              QByteArrayView("\xF0\xFF\0\0", 4)))
            << none;
        QTest::newRow("an offset of one hour digit") << offset("+2:00") << local;
        QTest::newRow("an offset past 14 hours") << offset("+15:00") << local;
        QTest::newRow("an offset without its sign") << offset("02:00 ") << local;
    }
    void taken() {
        QFETCH(Maker, make);
        QFETCH(QDateTime, taken);
        QTemporaryDir dir;
        const QString path = make(dir.path());
        QVERIFY2(!path.isEmpty(), "fixture not written");
        Picture p;
        try {
            p = readPicture(path);
        } catch (const RuntimeError& e) {
            QFAIL(qPrintable(e.oneLine()));
        }
        QCOMPARE(p.taken.isValid(), taken.isValid());
        if (!taken.isValid())
            return;
        QCOMPARE(p.taken.date(), taken.date());
        QCOMPARE(p.taken.time(), taken.time());
        QCOMPARE(p.taken.timeSpec(), taken.timeSpec());
        QCOMPARE(p.taken.offsetFromUtc(), taken.offsetFromUtc());
    }

    // Compressed text chunks before the pixels are not inflated to measure a PNG: three chunks
    // of 48 MiB of nothing, 150 KB in the file, took 144 MiB more when Qt's reader measured it.
    void pngTextNotInflated() {
        QByteArray text("zTXtComment\0\0", 14);
        text += qCompress(QByteArray(48 << 20, '\0'), 9).mid(4);
        QByteArray png = pngHeaderOnly(640, 480);
        for (int i = 0; i < 3; ++i)
            png.insert(33, pngChunk(text));
        QTemporaryDir dir;
        const QString path = writeBytes(dir.path(), "text.png", png);
        rusage before{}, after{};
        ::getrusage(RUSAGE_SELF, &before);
        const Picture p = readPicture(path);
        ::getrusage(RUSAGE_SELF, &after);
        QVERIFY2(after.ru_maxrss - before.ru_maxrss < 32 * 1024,
                 qPrintable(QString::number(after.ru_maxrss - before.ru_maxrss)));
        QCOMPARE(p.widthHimetric, 16933);
    }

    // A photo with no date taken is dated by its file's time, whatever the year: nanoseconds
    // since 1970 no longer fit 64 bits past 2262 nor before 1677.
    void fileTime_data() {
        QTest::addColumn<qint64>("seconds");
        QTest::addColumn<QDate>("day");
        QTest::newRow("2026") << qint64(1784000000) << QDate(2026, 7, 14);
        QTest::newRow("2300, past 2262") << qint64(10413792000) << QDate(2300, 1, 1);
    }
    void fileTime() {
        QFETCH(qint64, seconds);
        QTemporaryDir dir;
        const QString path = writeBytes(dir.path(), "t.jpg", jpegBytes(64, 48));
        const timespec times[2] = {{time_t(seconds), 0}, {time_t(seconds), 0}};
        struct stat st {};
        if (::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0) != 0 ||
            ::stat(QFile::encodeName(path).constData(), &st) != 0 || st.st_mtime != seconds)
            QSKIP("the file system holds no such time");
        const Picture p = readPicture(path);
        QCOMPARE(p.file.modifiedSeconds, seconds);
        // Told by the local clock.
        const PhotoDate when = photoDate(p);
        QTEST(QDateTime(when.day, when.time).toUTC().date(), "day");
    }

    // The upright fixture other tests build on: shown by a viewer that honours the tag, it is
    // 64 x 48 with its mark top left, and the loader reports that displayed size.
    void uprightFixture_data() {
        QTest::addColumn<int>("orientation");
        for (int o = 1; o <= 8; ++o)
            QTest::addRow("%d", o) << o;
    }
    void uprightFixture() {
        QFETCH(int, orientation);
        QTemporaryDir dir;
        const QString path = makeUprightJpeg(dir.path(), "u.jpg", 64, 48, orientation);
        const Picture p = readPicture(path);
        QCOMPARE(p.widthHimetric, 1693);
        QCOMPARE(p.heightHimetric, 1270);
        QProcess shown;
        shown.start("convert",
                    {path, "-auto-orient", "-format",
                     "%w %h %[fx:p{2,2}.r>0.7&&p{2,2}.g<0.3] %[fx:p{60,44}.g>0.7]", "info:"});
        QVERIFY(shown.waitForFinished());
        QCOMPARE(QString::fromLatin1(shown.readAllStandardOutput()).trimmed(), "64 48 1 1");
    }

    void tiffOrientation_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("orientation");
        QTest::addColumn<bool>("bigEndian");
        QTest::newRow("right-top") << QStringList{"-orient", "RightTop"} << 6 << false;
        QTest::newRow("left-bottom, big-endian")
            << QStringList{"-orient", "LeftBottom", "-define", "tiff:endian=msb"} << 8 << true;
    }
    void tiffOrientation() {
        QFETCH(QStringList, args);
        QFETCH(int, orientation);
        QFETCH(bool, bigEndian);
        QTemporaryDir dir;
        const QString path =
            convertTo(dir.path(), "o.tif", QStringList{"-size", "640x480", "xc:white"} + args);
        QVERIFY(!path.isEmpty());
        const Picture p = readPicture(path);
        QCOMPARE(p.format, PictureFormat::Tiff);
        QCOMPARE(p.orientation, orientation);
        QCOMPARE(p.orientationBigEndian, bigEndian);
        QCOMPARE(p.widthHimetric, orientation >= 5 ? 12700 : 16933);
        QByteArray bytes = readBytes(path);
        bytes.replace(p.orientationOffset, 2,
                      bigEndian ? QByteArray("\x00\x01", 2) : QByteArray("\x01\x00", 2));
        QCOMPARE(identify("%[orientation]", writeBytes(dir.path(), "u.tif", bytes)), "TopLeft");
    }
};

QTEST_GUILESS_MAIN(TestPictureMetrics)
#include "test_picturemetrics.moc"
