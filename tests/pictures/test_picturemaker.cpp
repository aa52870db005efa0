// The picture maker: what it stores for each format and size, upright and with its profile, and
// how it refuses what it must not decode.

#include "core/messagehandler.h"
#include "core/runtimeerror.h"
#include "host/pptx/units.h"
#include "pictures/budget.h"
#include "pictures/picturemaker.h"
#include "slides/pictureformats.h"
#include "slides/picturemetrics.h"
#include "support/fixtures.h"
#include "support/hostile.h"

#include <QBuffer>
#include <QColorSpace>
#include <QDir>
#include <QElapsedTimer>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>
#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <future>
#include <libheif/heif.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vips/vips.h>

using namespace slidemill;
using namespace slidemill::test;
using pictures::MadePicture;

namespace {

QImage photo(int w, int h, quint32 seed = 1) {
    return noisyPhoto(w, h, seed);
}

// Upright: the top-left quarter red, the rest white; every turn and mirror moves the red.
QImage marked(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter(&image).fillRect(0, 0, w / 2, h / 2, Qt::red);
    return image;
}

QByteArray encoded(const QImage& image, const char* format, int quality = -1) {
    return encodedImage(image, format, quality);
}

// A picture as the build measured it, with the size its header would give.
Picture pictureOf(const QString& path, PictureFormat format, QSize pixels) {
    Picture p;
    p.path = path;
    p.format = format;
    p.widthHimetric = std::int32_t((qint64(pixels.width()) * 2540 + 48) / 96);
    p.heightHimetric = std::int32_t((qint64(pixels.height()) * 2540 + 48) / 96);
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) == 0)
        p.file = identityOf(st);
    return p;
}

const char* kindOf(const QByteArray& bytes) {
    if (bytes.startsWith("\xFF\xD8\xFF"))
        return "jpeg";
    if (bytes.startsWith("\x89PNG"))
        return "png";
    return "other";
}

// What `work` writes to standard error, descriptor 2 itself.
QByteArray standardErrorOf(const std::function<void()>& work) {
    std::fflush(stderr);
    FILE* capture = std::tmpfile();
    const int saved = ::dup(STDERR_FILENO);
    ::dup2(::fileno(capture), STDERR_FILENO);
    work();
    std::fflush(stderr);
    ::dup2(saved, STDERR_FILENO);
    ::close(saved);
    QFile file;
    file.open(capture, QIODevice::ReadOnly);
    file.seek(0);
    const QByteArray out = file.readAll();
    file.close();
    std::fclose(capture);
    return out;
}

struct Outcome {
    int error = 0;
    QString text;
    MadePicture made;
};

Outcome make(const Picture& picture, QSize shown) {
    Outcome o;
    try {
        o.made = pictures::makePicture(picture, shown);
    } catch (const RuntimeError& e) {
        o.error = e.number();
        o.text = e.oneLine();
    }
    return o;
}

bool red(QRgb c) {
    return qRed(c) > 180 && qGreen(c) < 100 && qBlue(c) < 100;
}
bool white(QRgb c) {
    return qRed(c) > 180 && qGreen(c) > 180 && qBlue(c) > 180;
}

// The AVIF with its nclx colour box saying primaries and transfer no standard has: libheif
// hands over the profile it read along with its error about them.
QByteArray withNclx(QByteArray heif, quint16 primaries, quint16 transfer) {
    const qsizetype at = heif.indexOf("colrnclx");
    if (at < 0)
        return {};
    qToBigEndian<quint16>(primaries, heif.data() + at + 8);
    qToBigEndian<quint16>(transfer, heif.data() + at + 10);
    return heif;
}

// A PNG header declaring w x h whose picture data stops after a few rows.
QByteArray hugePng(quint32 w, quint32 h, bool interlaced) {
    QByteArray ihdr(13, '\0');
    qToBigEndian<quint32>(w, ihdr.data());
    qToBigEndian<quint32>(h, ihdr.data() + 4);
    ihdr[8] = 8; // bits
    ihdr[9] = 2; // RGB
    ihdr[12] = interlaced ? 1 : 0;
    const QByteArray rows = qCompress(QByteArray(3 * 200000, '\0')).mid(4);
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + pngChunk("IHDR", ihdr) + pngChunk("IDAT", rows) +
           pngChunk("IEND", {});
}

// A JPEG whose frame header declares w x h (progressive or not), cut after its first scan
// begins.
QByteArray hugeJpeg(int w, int h, bool progressive) {
    QByteArray jpeg = encoded(photo(64, 64), "jpeg", 90);
    const qsizetype sof = jpeg.indexOf("\xFF\xC0");
    qToBigEndian<quint16>(quint16(h), jpeg.data() + sof + 5);
    qToBigEndian<quint16>(quint16(w), jpeg.data() + sof + 7);
    if (progressive)
        jpeg[sof + 1] = char(0xC2);
    const qsizetype sos = jpeg.indexOf("\xFF\xDA");
    return jpeg.left(sos + 200);
}

QByteArray hugeGif(int w, int h) {
    QByteArray gif("GIF89a");
    gif += char(w & 0xFF);
    gif += char(w >> 8);
    gif += char(h & 0xFF);
    gif += char(h >> 8);
    gif += QByteArray("\x80\x00\x00", 3) + QByteArray(6, '\0'); // two-colour table
    gif += QByteArray("\x2C\x00\x00\x00\x00", 5);
    gif += char(w & 0xFF);
    gif += char(w >> 8);
    gif += char(h & 0xFF);
    gif += char(h >> 8);
    gif += QByteArray("\x00\x02\x02\x4C\x01\x00\x3B", 7);
    return gif;
}

QByteArray hugeBmp(int w, int h) {
    QByteArray bmp("BM");
    auto u32 = [&bmp](quint32 v) {
        char b[4];
        qToLittleEndian<quint32>(v, b);
        bmp.append(b, 4);
    };
    u32(54 + 64);
    u32(0);
    u32(54);
    u32(40);
    u32(quint32(w));
    u32(quint32(h));
    bmp += QByteArray("\x01\x00\x18\x00", 4);
    for (int i = 0; i < 6; ++i)
        u32(0);
    return bmp + QByteArray(64, '\x7f');
}

// A lossless WebP header of w x h whose coded data stops at once.
QByteArray hugeWebp(int w, int h) {
    QByteArray body("VP8L");
    const quint32 bits = quint32(w - 1) | quint32(h - 1) << 14;
    QByteArray stream(1, '\x2f');
    char b[4];
    qToLittleEndian<quint32>(bits, b);
    stream.append(b, 4);
    stream += QByteArray(15, '\0');
    qToLittleEndian<quint32>(quint32(stream.size()), b);
    body.append(b, 4);
    body += stream;
    QByteArray riff("RIFF");
    qToLittleEndian<quint32>(quint32(4 + body.size()), b);
    riff.append(b, 4);
    return riff + "WEBP" + body;
}

// While alive, the process may map no more than `headroom` bytes beyond what it maps now, so a
// decoder that allocates for the size a header declares fails instead of exhausting memory.
class AddressSpaceLimit {
public:
    explicit AddressSpaceLimit(qint64 headroom) {
#if defined(__SANITIZE_ADDRESS__)
        Q_UNUSED(headroom);
#else
        QFile status(QStringLiteral("/proc/self/status"));
        status.open(QIODevice::ReadOnly);
        qint64 mapped = 0;
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("VmSize:"))
                mapped = line.mid(7).trimmed().split(' ').value(0).toLongLong() * 1024;
        }
        if (mapped > 0 && ::getrlimit(RLIMIT_AS, &saved_) == 0) {
            rlimit limited = saved_;
            limited.rlim_cur = rlim_t(mapped + headroom);
            active_ = ::setrlimit(RLIMIT_AS, &limited) == 0;
        }
#endif
    }
    ~AddressSpaceLimit() {
        if (active_)
            ::setrlimit(RLIMIT_AS, &saved_);
    }

private:
    rlimit saved_{};
    bool active_ = false;
};

} // namespace

class TestPictureMaker : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;

    QString write(const QString& name, const QByteArray& bytes) {
        return writeBytes(dir_.path(), name, bytes);
    }

private Q_SLOTS:
    void initTestCase();
    void shownPixels();
    void mustMake_data();
    void mustMake();
    void made_data();
    void made();
    void upright_data();
    void upright();
    void profileKept_data();
    void profileKept();
    void twoAtOnce();
    void blockedLoaders_data();
    void blockedLoaders();
    void otherLoadersBlocked();
    void hugeDeclaredSize_data();
    void hugeDeclaredSize();
    void largeWebpMade();
    void fifoInPlaceDoesNotHang_data();
    void fifoInPlaceDoesNotHang();
    void heifReservedByItsCodedSize();
    void hostile_data();
    void hostile();
    void fileChangedWhileDecoded_data();
    void fileChangedWhileDecoded();
    void headerShapeDisagrees_data();
    void headerShapeDisagrees();
    void decoderNoiseMuted();
    void ownStandardErrorKept();
};

void TestPictureMaker::initTestCase() {
    QVERIFY(dir_.isValid());
    // As both programs run: library noise off, the program's own lines on.
    installMessageHandler();
}

void TestPictureMaker::shownPixels() {
    const std::int64_t pt = pptx::kEmuPerPoint;
    QCOMPARE(pptx::shownPixels(500 * pt, 375 * pt, 220), QSize(1528, 1146));
    QCOMPARE(pptx::shownPixels(500 * pt, 375 * pt, 150), QSize(1042, 782));
    QCOMPARE(pptx::shownPixels(720 * pt, 540 * pt, 96), QSize(960, 720));
    QCOMPARE(pictures::fittedPixels({3000, 4000}, {1528, 1146}), QSize(860, 1146));
    QCOMPARE(pictures::fittedPixels({4000, 3000}, {1042, 782}), QSize(1042, 782));
    QCOMPARE(pictures::fittedPixels({400, 300}, {800, 600}), QSize(400, 300));
}

void TestPictureMaker::mustMake_data() {
    QTest::addColumn<int>("format");
    QTest::addColumn<QSize>("pixels");
    QTest::addColumn<QSize>("shown");
    QTest::addColumn<bool>("must");
    const QSize big(4000, 3000), shown(1528, 1146);
    QTest::newRow("jpeg over") << int(PictureFormat::Jpeg) << big << shown << true;
    QTest::newRow("jpeg at") << int(PictureFormat::Jpeg) << shown << shown << false;
    QTest::newRow("jpeg one side over")
        << int(PictureFormat::Jpeg) << QSize(1529, 100) << shown << true;
    QTest::newRow("png under") << int(PictureFormat::Png) << QSize(800, 600) << shown << false;
    QTest::newRow("every pixel kept") << int(PictureFormat::Tiff) << big << QSize() << false;
    QTest::newRow("heic under") << int(PictureFormat::Heic) << QSize(80, 60) << shown << true;
    QTest::newRow("webp, every pixel") << int(PictureFormat::Webp) << big << QSize() << true;
    QTest::newRow("wmf") << int(PictureFormat::Wmf) << big << shown << false;
    QTest::newRow("emf") << int(PictureFormat::Emf) << big << shown << false;
}

void TestPictureMaker::mustMake() {
    QFETCH(int, format);
    QFETCH(QSize, pixels);
    QFETCH(QSize, shown);
    QFETCH(bool, must);
    const Picture p = pictureOf({}, PictureFormat(format), pixels);
    QCOMPARE(pictures::measuredPixels(p), pixels);
    QCOMPARE(pictures::mustMake(p, shown), must);
}

// Each format resized, kept or transcoded: what is stored, in which format, at which size.
void TestPictureMaker::made_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("shown");
    // "" when the file itself is kept.
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QSize>("pixels");
    QTest::addColumn<bool>("alpha");

    const QImage big = photo(400, 300);
    QImage seeThrough = big.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < 150; ++y)
        for (int x = 0; x < 400; ++x)
            seeThrough.setPixel(x, y, qRgba(10, 20, 30, 0));
    const QSize half(200, 150);
    auto file = [this](const char* name, const QByteArray& bytes) {
        return write(QString::fromLatin1(name), bytes);
    };
    const QString jpeg = file("big.jpg", encoded(big, "jpeg", 95));
    const QString png = file("big.png", encoded(big, "png"));
    const QString bmp = file("big.bmp", encoded(big, "bmp"));
    const QString tiff = file("big.tif", encoded(big, "tiff"));
    const QString gif = makePicture(dir_.path(), QStringLiteral("big.gif"), "gif", 400, 300);
    const QString alphaPng = file("alpha.png", encoded(seeThrough, "png"));
    const QString heic = file("big.heic", heifBytes(big));
    const QString avifAlpha = file("alpha.avif", heifBytes(seeThrough, 1, HeifCodec::Av1, true));
    const QString oddColours =
        file("nclx.avif", withNclx(heifBytes(big, 1, HeifCodec::Av1), 87, 32770));
    const QString webp = file("big.webp", webpBytes(big, 90));
    const QString lossless = file("lossless.webp", webpBytes(big, 100));
    const QString webpAlpha = file("alpha.webp", webpBytes(seeThrough, 90));
    const QString cmyk = dir_.filePath(QStringLiteral("cmyk.jpg"));
    QVERIFY(runConvert({jpeg, QStringLiteral("-colorspace"), QStringLiteral("CMYK"), cmyk}));
    const QString deep = dir_.filePath(QStringLiteral("deep.png"));
    QVERIFY(runConvert({png, QStringLiteral("-depth"), QStringLiteral("16"), deep}));
    const QString animated = dir_.filePath(QStringLiteral("animated.gif"));
    QVERIFY(runConvert({QStringLiteral("-delay"), QStringLiteral("10"), png, bmp, animated}));
    // Files that are already light: a poor JPEG, and a two-colour PNG of fine lines that a
    // resize turns into shades.
    const QString poor = file("poor.jpg", encoded(big, "jpeg", 10));
    QImage lines(400, 300, QImage::Format_Mono);
    for (int y = 0; y < 300; ++y)
        for (int x = 0; x < 400; ++x)
            lines.setPixel(x, y, (x + y) % 2);
    const QString twoColour = file("lines.png", encoded(lines, "png"));

    QTest::newRow("jpeg resized") << jpeg << half << "jpeg" << half << false;
    QTest::newRow("jpeg fits keeping proportions")
        << jpeg << QSize(100, 100) << "jpeg" << QSize(100, 75) << false;
    QTest::newRow("jpeg at its size kept") << jpeg << QSize(400, 300) << "" << QSize() << false;
    QTest::newRow("jpeg never enlarged") << jpeg << QSize(800, 600) << "" << QSize() << false;
    QTest::newRow("jpeg, every pixel") << jpeg << QSize() << "" << QSize() << false;
    QTest::newRow("cmyk jpeg resized") << cmyk << half << "jpeg" << half << false;
    QTest::newRow("png resized") << png << half << "png" << half << false;
    QTest::newRow("png alpha resized") << alphaPng << half << "png" << half << true;
    QTest::newRow("16-bit png resized") << deep << half << "png" << half << false;
    QTest::newRow("bmp resized as png") << bmp << half << "png" << half << false;
    QTest::newRow("tiff resized as png") << tiff << half << "png" << half << false;
    QTest::newRow("gif resized as png") << gif << half << "png" << half << false;
    QTest::newRow("animated gif kept") << animated << half << "" << QSize() << false;
    QTest::newRow("heic resized") << heic << half << "jpeg" << half << false;
    QTest::newRow("heic transcoded, never enlarged")
        << heic << QSize(800, 600) << "jpeg" << QSize(400, 300) << false;
    QTest::newRow("heic, every pixel") << heic << QSize() << "jpeg" << QSize(400, 300) << false;
    QTest::newRow("avif alpha as png") << avifAlpha << half << "png" << half << true;
    QTest::newRow("avif with unknown colours") << oddColours << half << "jpeg" << half << false;
    QTest::newRow("lossy webp as jpeg") << webp << half << "jpeg" << half << false;
    QTest::newRow("lossless webp as png") << lossless << half << "png" << half << false;
    QTest::newRow("webp alpha as png") << webpAlpha << half << "png" << half << true;
    QTest::newRow("jpeg larger than the file: the file")
        << poor << QSize(390, 300) << "" << QSize() << false;
    QTest::newRow("png larger than the file: the file")
        << twoColour << QSize(390, 300) << "" << QSize() << false;
    QTest::newRow("wmf kept") << makePicture(dir_.path(), QStringLiteral("m.wmf"), "wmf", 400, 300)
                              << half << "" << QSize() << false;
}

void TestPictureMaker::made() {
    QFETCH(QString, path);
    QFETCH(QSize, shown);
    QFETCH(QString, kind);
    QFETCH(QSize, pixels);
    QFETCH(bool, alpha);
    QVERIFY(!path.isEmpty());
    const Picture picture = readPicture(path);
    const Outcome o = make(picture, shown);
    QVERIFY2(o.error == 0, qPrintable(o.text));
    if (kind.isEmpty()) {
        QVERIFY(o.made.bytes.isEmpty());
        QCOMPARE(o.made.format, picture.format);
        QCOMPARE(o.made.pixels, pictures::measuredPixels(picture));
        return;
    }
    QCOMPARE(QString::fromLatin1(kindOf(o.made.bytes)), kind);
    QCOMPARE(o.made.format,
             kind == QLatin1String("jpeg") ? PictureFormat::Jpeg : PictureFormat::Png);
    QCOMPARE(o.made.pixels, pixels);
    const QImage image = QImage::fromData(o.made.bytes);
    QCOMPARE(image.size(), pixels);
    QCOMPARE(image.hasAlphaChannel(), alpha);
    if (alpha) // the transparent top half stays transparent, the rest opaque
        QVERIFY(qAlpha(image.pixel(pixels.width() / 2, 2)) < 16 &&
                qAlpha(image.pixel(pixels.width() / 2, pixels.height() - 3)) > 240);
    // Nothing is left for an application to turn.
    const Picture copy = readPicture(write(QStringLiteral("copy.") + kind, o.made.bytes));
    QCOMPARE(copy.orientation, 1);
    if (formatRow(picture.format).storage == Storage::AsIs)
        QVERIFY(o.made.bytes.size() < QFileInfo(path).size());
}

// Every format that says how it is turned, every turn: the copy stands upright with the red
// quarter top left, resized or not.
void TestPictureMaker::upright_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("shown");
    const QImage upright = marked(64, 48);
    for (const char* format : {"jpeg", "heic", "heif", "avif", "webp", "tiff"}) {
        for (int o = 1; o <= 8; ++o) {
            const QString name = QStringLiteral("turned%1.%2").arg(o).arg(QLatin1String(format));
            QString path;
            if (QByteArray(format) == "tiff") {
                // ImageMagick writes the tag and leaves the pixels as they are.
                static const char* names[] = {"",           "TopLeft", "TopRight", "BottomRight",
                                              "BottomLeft", "LeftTop", "RightTop", "RightBottom",
                                              "LeftBottom"};
                const QString stored = write(name + QStringLiteral(".png"),
                                             encoded(storedForOrientation(upright, o), "png"));
                path = dir_.filePath(name);
                if (!runConvert({stored, QStringLiteral("-orient"), QLatin1String(names[o]),
                                 QStringLiteral("-compress"), QStringLiteral("none"), path}))
                    path.clear();
            } else {
                path = writeTurned(dir_.path(), name, upright, format, o);
            }
            QTest::addRow("%s %d resized", format, o) << path << QSize(32, 32);
            if (QByteArray(format) != "jpeg" && QByteArray(format) != "tiff")
                QTest::addRow("%s %d transcoded", format, o) << path << QSize();
        }
    }
}

void TestPictureMaker::upright() {
    QFETCH(QString, path);
    QFETCH(QSize, shown);
    QVERIFY(!path.isEmpty());
    const Outcome o = make(readPicture(path), shown);
    QVERIFY2(o.error == 0, qPrintable(o.text));
    const QImage image = QImage::fromData(o.made.bytes);
    const QSize expected = shown.isEmpty() ? QSize(64, 48) : QSize(32, 24);
    QCOMPARE(image.size(), expected);
    const int w = expected.width(), h = expected.height();
    QVERIFY(red(image.pixel(w / 4, h / 4)));
    QVERIFY(white(image.pixel(3 * w / 4, h / 4)));
    QVERIFY(white(image.pixel(w / 4, 3 * h / 4)));
    QVERIFY(white(image.pixel(3 * w / 4, 3 * h / 4)));
    QCOMPARE(readPicture(write(QStringLiteral("upright.copy"), o.made.bytes)).orientation, 1);
}

void TestPictureMaker::profileKept_data() {
    QTest::addColumn<QString>("path");
    QImage p3 = photo(200, 150);
    p3.setColorSpace(QColorSpace::DisplayP3);
    QTest::newRow("jpeg") << write(QStringLiteral("p3.jpg"), encoded(p3, "jpeg", 95));
    QTest::newRow("png") << write(QStringLiteral("p3.png"), encoded(p3, "png"));
    QTest::newRow("heic") << write(QStringLiteral("p3.heic"), heifBytes(p3));
}

void TestPictureMaker::profileKept() {
    QFETCH(QString, path);
    const Picture picture = readPicture(path);
    const Outcome o = make(picture, QSize(100, 75));
    QVERIFY2(o.error == 0, qPrintable(o.text));
    QCOMPARE(QImage::fromData(o.made.bytes).colorSpace(), QColorSpace(QColorSpace::DisplayP3));
}

// Two threads make what one makes, picture for picture.
void TestPictureMaker::twoAtOnce() {
    QList<Picture> pictures;
    for (int i = 0; i < 6; ++i) {
        const QImage image = photo(320, 240, quint32(i + 1));
        const QByteArray bytes = i % 3 == 0   ? encoded(image, "jpeg", 95)
                                 : i % 3 == 1 ? heifBytes(image)
                                              : encoded(image, "png");
        pictures << readPicture(write(QStringLiteral("both%1").arg(i), bytes));
    }
    QList<QByteArray> alone;
    for (const Picture& p : pictures)
        alone << pictures::makePicture(p, QSize(160, 120)).bytes;
    QList<QByteArray> together(pictures.size());
    auto half = [&](int first) {
        for (int i = first; i < pictures.size(); i += 2)
            together[i] = pictures::makePicture(pictures[i], QSize(160, 120)).bytes;
    };
    std::thread other(half, 1);
    half(0);
    other.join();
    QCOMPARE(together, alone);
}

// A file that is not what it was measured as is decoded as what it was measured as, or not at
// all: the loaders of everything else are out of reach.
void TestPictureMaker::blockedLoaders_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("format");
    const QByteArray pdf = "%PDF-1.4\n1 0 obj<</Type/Catalog/Pages 2 0 R>>endobj\n"
                           "2 0 obj<</Type/Pages/Kids[3 0 R]/Count 1>>endobj\n"
                           "3 0 obj<</Type/Page/Parent 2 0 R/MediaBox[0 0 200 150]>>endobj\n"
                           "trailer<</Root 1 0 R>>\n%%EOF\n";
    const QByteArray svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"200\" "
                           "height=\"150\"><rect width=\"200\" height=\"150\"/></svg>\n";
    const QByteArray ppm = "P6\n200 150\n255\n" + QByteArray(200 * 150 * 3, '\x40');
    const QByteArray miff = "id=ImageMagick\nclass=DirectClass columns=200 rows=150\n\f\n:\x1a" +
                            QByteArray(200 * 150 * 3, '\x40');
    const QByteArray vips = QByteArray("\x08\xf2\xa6\xb6", 4) + QByteArray(60, '\0');
    const struct {
        const char* name;
        QByteArray bytes;
    } files[] = {{"pdf", pdf}, {"svg", svg}, {"ppm", ppm}, {"miff", miff}, {"vips", vips}};
    for (const auto& f : files) {
        const QString path = write(QStringLiteral("%1.jpg").arg(QLatin1String(f.name)), f.bytes);
        for (PictureFormat format :
             {PictureFormat::Jpeg, PictureFormat::Png, PictureFormat::Gif, PictureFormat::Tiff,
              PictureFormat::Webp, PictureFormat::Bmp, PictureFormat::Heic})
            QTest::addRow("%s as %d", f.name, int(format)) << path << int(format);
    }
}

void TestPictureMaker::blockedLoaders() {
    QFETCH(QString, path);
    QFETCH(int, format);
    const Outcome o = make(pictureOf(path, PictureFormat(format), {200, 150}), QSize(20, 15));
    QCOMPARE(o.error, int(errInvalidPicture));
    QVERIFY2(o.text.contains(path), qPrintable(o.text));
    QVERIFY(!o.text.contains(QLatin1Char('\n')));
}

// Even libvips' own choice by the file's bytes finds nothing to load these with, once the maker
// has started it.
void TestPictureMaker::otherLoadersBlocked() {
    const QString jpeg = write(QStringLiteral("start.jpg"), encoded(photo(40, 30), "jpeg"));
    QVERIFY(!pictures::makePicture(readPicture(jpeg), QSize(20, 15)).bytes.isEmpty());
    const QByteArray ppm = "P6\n2 2\n255\n" + QByteArray(12, '\x40');
    const QByteArray svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"2\" height=\"2\"/>";
    for (const QString& path :
         {write(QStringLiteral("sniffed.ppm"), ppm), write(QStringLiteral("sniffed.svg"), svg),
          write(QStringLiteral("sniffed.pdf"),
                "%PDF-1.4\n1 0 obj<</Type/Catalog/Pages 2 0 R>>endobj\n"
                "2 0 obj<</Type/Pages/Kids[3 0 R]/Count 1>>endobj\n"
                "3 0 obj<</Type/Page/Parent 2 0 R/MediaBox[0 0 2 2]>>endobj\n"
                "trailer<</Root 1 0 R>>\n%%EOF\n")}) {
        VipsImage* image = vips_image_new_from_file(QFile::encodeName(path).constData(), nullptr);
        const QString error = QString::fromUtf8(vips_error_buffer());
        vips_error_clear();
        QVERIFY2(!image, qPrintable(path));
        QVERIFY2(error.contains(QLatin1String("blocked")) ||
                     error.contains(QLatin1String("not a known file format")),
                 qPrintable(error));
    }
    // What the maker uses stays: JPEG from a source, not from a file name.
    VipsSource* source = vips_source_new_from_file(QFile::encodeName(jpeg).constData());
    VipsImage* image = vips_image_new_from_source(source, "", nullptr);
    QVERIFY(image);
    g_object_unref(image);
    g_object_unref(source);
    QVERIFY(!vips_image_new_from_file(QFile::encodeName(jpeg).constData(), nullptr));
    vips_error_clear();
}

// A small file whose header declares a huge picture is refused, or fails where its data stops,
// without allocating for the size it declares.
void TestPictureMaker::hugeDeclaredSize_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("format");
    QTest::addColumn<QSize>("pixels");
    QTest::addColumn<QSize>("shown");
    QTest::addColumn<bool>("tooLarge");
    const QSize shown(1528, 1146), most(65535, 65535);
    QTest::newRow("png") << write(QStringLiteral("huge.png"), hugePng(65535, 65535, false))
                         << int(PictureFormat::Png) << most << shown << true;
    QTest::newRow("interlaced png")
        << write(QStringLiteral("hugei.png"), hugePng(65535, 65535, true))
        << int(PictureFormat::Png) << most << shown << true;
    QTest::newRow("jpeg") << write(QStringLiteral("huge.jpg"), hugeJpeg(65500, 65500, false))
                          << int(PictureFormat::Jpeg) << QSize(65500, 65500) << shown << false;
    QTest::newRow("progressive jpeg")
        << write(QStringLiteral("hugep.jpg"), hugeJpeg(65500, 65500, true))
        << int(PictureFormat::Jpeg) << QSize(65500, 65500) << shown << true;
    QTest::newRow("gif") << write(QStringLiteral("huge.gif"), hugeGif(65535, 65535))
                         << int(PictureFormat::Gif) << most << shown << true;
    QTest::newRow("bmp") << write(QStringLiteral("huge.bmp"), hugeBmp(65535, 65535))
                         << int(PictureFormat::Bmp) << most << shown << true;
    QTest::newRow("webp, every pixel")
        << write(QStringLiteral("huge.webp"), hugeWebp(16384, 16384)) << int(PictureFormat::Webp)
        << QSize(16384, 16384) << QSize() << true;
    QTest::newRow("webp, shrunk while decoded")
        << write(QStringLiteral("huge2.webp"), hugeWebp(16384, 16384)) << int(PictureFormat::Webp)
        << QSize(16384, 16384) << shown << true;
    // Every tile the same few bytes: 8.7 s of decoding before.
    QTest::newRow("tiff of deflated tiles")
        << write(QStringLiteral("tiles.tif"), tiledTiff(30000, 256)) << int(PictureFormat::Tiff)
        << QSize(30000, 30000) << shown << true;
    // One colour in 12 KB whose ispe says 64 x 64: HEVC of 8,192 x 8,192 so took 4 s.
    QTest::newRow("heic of one colour")
        << write(QStringLiteral("flat.heic"), withIspe(flatHeic(QSize(4352, 4352)), QSize(64, 64)))
        << int(PictureFormat::Heic) << QSize(4352, 4352) << shown << true;
}

void TestPictureMaker::hugeDeclaredSize() {
    QFETCH(QString, path);
    QFETCH(int, format);
    QFETCH(QSize, pixels);
    QFETCH(QSize, shown);
    QFETCH(bool, tooLarge);
    Outcome o;
    {
        const AddressSpaceLimit limit(qint64(1) << 30);
        o = make(pictureOf(path, PictureFormat(format), pixels), shown);
    }
    QCOMPARE(o.error, int(errInvalidPicture));
    QVERIFY2(o.text.contains(path), qPrintable(o.text));
    QVERIFY2(o.text.contains(QLatin1String("too large")) == tooLarge, qPrintable(o.text));
}

// A phone's 48-megapixel WebP is made, not refused.
void TestPictureMaker::largeWebpMade() {
    QImage image(8000, 6000, QImage::Format_RGB32);
    image.fill(qRgb(90, 140, 200));
    QPainter(&image).fillRect(0, 0, 4000, 3000, Qt::red);
    const QString path = write(QStringLiteral("48mp.webp"), webpBytes(image, 80));
    image = QImage();
    const Picture picture = readPicture(path);
    for (const QSize& shown : {QSize(1528, 1146), QSize()}) {
        const Outcome o = make(picture, shown);
        QVERIFY2(o.error == 0, qPrintable(o.text));
        QCOMPARE(o.made.pixels, shown.isEmpty() ? QSize(8000, 6000) : shown);
        // Read back at a size Qt's own allocation limit lets through.
        QByteArray bytes = o.made.bytes;
        QBuffer buffer(&bytes);
        QImageReader reader(&buffer, "jpeg");
        reader.setScaledSize(QSize(800, 600));
        const QImage copy = reader.read();
        QVERIFY(red(copy.pixel(200, 150)));
        QVERIFY(!red(copy.pixel(600, 450)));
    }
}

void TestPictureMaker::fifoInPlaceDoesNotHang_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("jpeg to resize") << encoded(photo(400, 300), "jpeg", 90);
    QTest::newRow("heic") << heifBytes(photo(64, 48));
    QTest::newRow("webp") << webpBytes(photo(64, 48));
}

void TestPictureMaker::fifoInPlaceDoesNotHang() {
    QFETCH(QByteArray, bytes);
    const QString path = write(QStringLiteral("fifo.pic"), bytes);
    const Picture picture = readPicture(path);
    QVERIFY(QFile::remove(path));
    QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    const Outcome o = make(picture, QSize(100, 75));
    QFile::remove(path);
    QCOMPARE(o.error, int(errPathFileAccess));
    QVERIFY(o.text.contains(path));
}

// A file written to while it is decoded is refused, not stored as whatever was read.
// A HEIC's share of the decode budget is taken from the size it codes, not from an ispe that
// understates it (three such files of 15 KB took 829 MB at once), and before its file is read:
// with only a megabyte of the budget free, it waits for its share.
void TestPictureMaker::heifReservedByItsCodedSize() {
    QByteArray heic = heifBytes(photo(640, 480));
    const qsizetype ispe = heic.indexOf("ispe") + 8;
    QVERIFY(ispe > 8);
    qToBigEndian<quint32>(64, heic.data() + ispe);
    qToBigEndian<quint32>(48, heic.data() + ispe + 4);
    const Picture picture = readPicture(write(QStringLiteral("understated.heic"), heic));
    QCOMPARE(pictures::measuredPixels(picture), QSize(640, 480));
    auto held = std::make_unique<pictures::Reservation>();
    held->add(picture, {}, pictures::kDecodeBudget - (qint64(1) << 20));
    auto made = std::async(std::launch::async, [&] { return make(picture, QSize(320, 240)); });
    QCOMPARE(made.wait_for(std::chrono::milliseconds(500)), std::future_status::timeout);
    held.reset();
    QCOMPARE(made.wait_for(std::chrono::seconds(60)), std::future_status::ready);
}

// Pictures crafted to take all memory or time: each is refused, or made, within 2 s and inside
// the decode budget; none reaches a decoder it should not.
void TestPictureMaker::hostile_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("refusal"); // empty: made
    for (const HostileFile& f : hostileFiles())
        QTest::newRow(f.row) << f.bytes << f.name << f.refusal;
}

void TestPictureMaker::hostile() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, name);
    QFETCH(QString, refusal);
    const QString path = write(name, bytes);
    Picture picture;
    try {
        picture = readPicture(path);
    } catch (const RuntimeError& e) {
        QFAIL(qPrintable(e.oneLine()));
    }
    rusage before{}, after{};
    ::getrusage(RUSAGE_SELF, &before);
    // As a photo one a slide is shown at --ppi 50. How long it takes is bench_hostile's.
    const Outcome o = make(picture, QSize(348, 261));
    ::getrusage(RUSAGE_SELF, &after);
    // The budget, and 64 MiB besides.
    QVERIFY2(after.ru_maxrss - before.ru_maxrss < (512 + 64) * 1024,
             qPrintable(QString::number(after.ru_maxrss - before.ru_maxrss)));
    if (refusal.isEmpty()) {
        QVERIFY2(o.error == 0, qPrintable(o.text));
        return;
    }
    QCOMPARE(o.error, int(errInvalidPicture));
    QVERIFY2(o.text.contains(refusal), qPrintable(o.text));
}

void TestPictureMaker::fileChangedWhileDecoded_data() {
    QTest::addColumn<QByteArray>("bytes");
    // Cut to half its length rather than written to.
    QTest::addColumn<bool>("cut");
    QTest::newRow("jpeg read a few lines at a time")
        << encoded(photo(3000, 2000), "jpeg", 95) << false;
    QTest::newRow("heic read whole") << heifBytes(photo(1280, 960)) << false;
    // libvips would map a WebP: cut short under the mapping, the process died of SIGBUS.
    QTest::newRow("webp cut short") << webpBytes(photo(1600, 1200)) << true;
    QTest::newRow("jpeg cut short") << encoded(photo(3000, 2000), "jpeg", 95) << true;
}

void TestPictureMaker::fileChangedWhileDecoded() {
    QFETCH(QByteArray, bytes);
    QFETCH(bool, cut);
    const QString path = write(QStringLiteral("changing.pic"), bytes);
    const Picture picture = readPicture(path);
    const QByteArray native = QFile::encodeName(path);
    // As soon as the maker reads the file, it is written to.
    const int watch = ::inotify_init1(IN_CLOEXEC);
    QVERIFY(watch >= 0);
    QVERIFY(::inotify_add_watch(watch, native.constData(), IN_ACCESS) >= 0);
    std::thread writer([&] {
        char event[sizeof(inotify_event) + 256];
        if (::read(watch, event, sizeof event) > 0) {
            if (cut) {
                QCOMPARE(::truncate(native.constData(), bytes.size() / 2), 0);
                return;
            }
            const int fd = ::open(native.constData(), O_WRONLY);
            QCOMPARE(::pwrite(fd, bytes.constData(), 1, 0), 1);
            ::close(fd);
        }
    });
    const Outcome o = make(picture, QSize(640, 480));
    writer.join();
    ::close(watch);
    QCOMPARE(o.error, int(errPathFileAccess));
    QVERIFY2(o.text.contains(QLatin1String("changed while it was stored")), qPrintable(o.text));
}

// The slide takes its shape from the header; a picture that decodes to other proportions is
// refused rather than stored stretched.
void TestPictureMaker::headerShapeDisagrees_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("measured");
    QTest::addColumn<bool>("refused");
    const QByteArray heic = heifBytes(photo(160, 90));
    const QString path = write(QStringLiteral("shape.heic"), heic);
    QTest::newRow("as decoded") << path << QSize(160, 90) << false;
    QTest::newRow("smaller, same shape") << path << QSize(80, 45) << false;
    QTest::newRow("cropped by a row") << path << QSize(160, 91) << false;
    QTest::newRow("sides swapped") << path << QSize(90, 160) << true;
    QTest::newRow("stretched 1.78 times") << path << QSize(160, 160) << true;
    // The file itself lying: its ispe says 90 x 160, or 160 x 160. The header goes by the coded
    // picture, so it is stored as it decodes.
    const qsizetype ispe = heic.indexOf("ispe") + 8;
    QByteArray swapped = heic, square = heic;
    qToBigEndian<quint32>(90, swapped.data() + ispe);
    qToBigEndian<quint32>(160, swapped.data() + ispe + 4);
    qToBigEndian<quint32>(160, square.data() + ispe + 4);
    QTest::newRow("ispe swapped") << write(QStringLiteral("swapped.heic"), swapped) << QSize()
                                  << false;
    QTest::newRow("ispe square") << write(QStringLiteral("square.heic"), square) << QSize()
                                 << false;
    const QString jpeg = write(QStringLiteral("shape.jpg"), encoded(photo(160, 90), "jpeg"));
    QTest::newRow("jpeg sides swapped") << jpeg << QSize(90, 160) << true;
}

void TestPictureMaker::headerShapeDisagrees() {
    QFETCH(QString, path);
    QFETCH(QSize, measured);
    QFETCH(bool, refused);
    Picture picture = readPicture(path);
    if (!measured.isEmpty()) {
        const Picture header = pictureOf(path, picture.format, measured);
        picture.widthHimetric = header.widthHimetric;
        picture.heightHimetric = header.heightHimetric;
    }
    const Outcome o = make(picture, QSize(40, 40));
    if (refused) {
        QCOMPARE(o.error, int(errInvalidPicture));
        QVERIFY2(o.text.contains(QLatin1String("the picture's size differs from its header's")),
                 qPrintable(o.text));
        return;
    }
    QVERIFY2(o.error == 0, qPrintable(o.text));
    QCOMPARE(o.made.pixels, QSize(40, 23));
}

// HEIC and AVIF files whose coded data libde265 and dav1d complain about on standard error:
// every byte of the HEVC sequence parameters, and the start of the AV1 data, damaged.
QList<QPair<QByteArray, PictureFormat>> noisyFiles() {
    QList<QPair<QByteArray, PictureFormat>> files;
    const QByteArray heic = heifBytes(photo(64, 48));
    const qsizetype sps = heic.indexOf(QByteArray("\x42\x01", 2), heic.indexOf("hvcC"));
    for (qsizetype at = sps + 2; at < sps + 24; ++at) {
        for (char flip : {'\x01', '\x10', '\xf0'}) {
            QByteArray bad = heic;
            bad[at] = char(bad[at] ^ flip);
            files.append({bad, PictureFormat::Heic});
        }
    }
    const QByteArray avif = heifBytes(photo(64, 48), 1, HeifCodec::Av1);
    const qsizetype mdat = avif.indexOf("mdat") + 4;
    for (qsizetype at = mdat; at < mdat + 12; ++at) {
        QByteArray bad = avif;
        bad[at] = char(bad[at] ^ '\x5a');
        files.append({bad, PictureFormat::Avif});
    }
    return files;
}

// The same file decoded by libheif on an ordinary thread prints something.
bool decoderPrints(const QByteArray& bytes) {
    return !standardErrorOf([&] {
                heif_context* context = heif_context_alloc();
                heif_image_handle* handle = nullptr;
                heif_image* image = nullptr;
                if (heif_context_read_from_memory_without_copy(context, bytes.constData(),
                                                               std::size_t(bytes.size()), nullptr)
                            .code == heif_error_Ok &&
                    heif_context_get_primary_image_handle(context, &handle).code == heif_error_Ok &&
                    heif_decode_image(handle, &image, heif_colorspace_RGB,
                                      heif_chroma_interleaved_RGB, nullptr)
                            .code == heif_error_Ok)
                    heif_image_release(image);
                if (handle)
                    heif_image_handle_release(handle);
                heif_context_free(context);
            }).isEmpty();
}

// The maker's error is one line, and the decoders' own lines do not reach the terminal.
void TestPictureMaker::decoderNoiseMuted() {
    if (!qEnvironmentVariableIsEmpty("SLIDEMILL_DEBUG"))
        QSKIP("SLIDEMILL_DEBUG lets every library line through");
    int printing = 0;
    for (const auto& file : noisyFiles()) {
        const QByteArray& bytes = file.first;
        const PictureFormat format = file.second;
        const QString path = write(QStringLiteral("noise.pic"), bytes);
        Outcome o;
        const QByteArray printed = standardErrorOf([&] {
            o = make(pictureOf(path, format, {64, 48}), QSize(32, 24));
        });
        QCOMPARE(printed, QByteArray());
        if (o.error != 0) {
            QCOMPARE(o.error, int(errInvalidPicture));
            QVERIFY(!o.text.contains(QLatin1Char('\n')));
            QVERIFY(o.text.endsWith(QStringLiteral(" (%1)").arg(path)));
        }
        printing += decoderPrints(bytes) ? 1 : 0;
    }
    // Otherwise the table tests nothing.
    QVERIFY(printing > 0);
}

// What the program itself writes meanwhile still reaches standard error.
void TestPictureMaker::ownStandardErrorKept() {
    if (!qEnvironmentVariableIsEmpty("SLIDEMILL_DEBUG"))
        QSKIP("SLIDEMILL_DEBUG lets every library line through");
    std::promise<void> libraryWrote, programWrote;
    const QByteArray printed = standardErrorOf([&] {
        std::thread muted([&] {
            runWithOwnStandardErrorMuted([&] {
                ::write(STDERR_FILENO, "library\n", 8);
                libraryWrote.set_value();
                programWrote.get_future().wait();
            });
        });
        libraryWrote.get_future().wait();
        ::write(STDERR_FILENO, "program\n", 8);
        programWrote.set_value();
        muted.join();
    });
    QCOMPARE(printed, QByteArray("program\n"));
}

QTEST_GUILESS_MAIN(TestPictureMaker)
#include "test_picturemaker.moc"
