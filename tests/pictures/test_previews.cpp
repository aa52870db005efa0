// Previews: the thumbnail of each format, upright and in sRGB, taken from the thumbnail a file
// carries where it is large enough; what a broken picture says; cancelling; the cache's bound.

#include "core/faults.h"
#include "core/nativepath.h"
#include "core/runtimeerror.h"
#include "pictures/cores.h"
#include "pictures/picturepool.h"
#include "pictures/previewmaker.h"
#include "pictures/thumbnailcache.h"
#include "support/fixtures.h"
#include "support/hostile.h"

#include <QColorSpace>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QImageReader>
#include <QPainter>
#include <QProcess>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>
#include <atomic>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <sys/stat.h>

using namespace slidemill;
using namespace slidemill::test;

namespace {

// A row's kind ending so runs in a process of its own that finds no decoding module.
const QString kNoModule = QStringLiteral(", no decoding module");

// Upright: the top-left quarter red, the rest white; every turn and mirror moves the red.
QImage marked(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter(&image).fillRect(0, 0, w / 2, h / 2, Qt::red);
    return image;
}

QImage filled(int w, int h, QColor colour) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

QByteArray encoded(const QImage& image, const char* format) {
    return encodedImage(image, format, 90);
}

// A JPEG of `stored` with an EXIF block saying `orientation` whose IFD1 holds `thumbnail`.
QByteArray jpegWithExifThumbnail(const QImage& stored, int orientation, const QImage& thumbnail) {
    return withSegment(encoded(stored, "jpeg"),
                       exifSegment(orientation, false, encoded(thumbnail, "jpeg")));
}

bool near(QRgb a, QRgb b, int tolerance) {
    return std::abs(qRed(a) - qRed(b)) <= tolerance &&
           std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
           std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

// "mark": the red quarter is at the top left, so the picture stands upright; "green": the
// thumbnail the file carries was taken.
QString looks(const QImage& thumbnail) {
    const QRgb topLeft = thumbnail.pixel(thumbnail.width() / 10, thumbnail.height() / 10);
    const QRgb bottomRight =
        thumbnail.pixel(thumbnail.width() * 9 / 10, thumbnail.height() * 9 / 10);
    const QRgb red = qRgb(255, 0, 0), green = qRgb(0, 255, 0);
    if (near(topLeft, green, 40) && near(bottomRight, green, 40))
        return QStringLiteral("green");
    if (near(topLeft, red, 40) && !near(bottomRight, red, 60) && !near(bottomRight, green, 60))
        return QStringLiteral("mark");
    return QStringLiteral("neither");
}

using Keys = QList<QPair<QByteArray, QByteArray>>;

// A PNG's chunks in order, each its type and data; empty past the first that does not fit.
QList<QPair<QByteArray, QByteArray>> chunksOf(const QByteArray& png) {
    QList<QPair<QByteArray, QByteArray>> chunks;
    for (qsizetype at = 8; at + 12 <= png.size();) {
        const qsizetype length = qFromBigEndian<quint32>(png.constData() + at);
        if (length > png.size() - at - 12)
            return {};
        chunks.append({png.mid(at + 4, 4), png.mid(at + 8, length)});
        at += 12 + length;
    }
    return chunks;
}

// "tEXt key" for each text chunk of a PNG and "IDAT" for its first picture data, in order.
QStringList textChunksOf(const QByteArray& png) {
    QStringList found;
    for (const auto& [type, data] : chunksOf(png)) {
        if (type == "tEXt" || type == "zTXt" || type == "iTXt")
            found << QString::fromLatin1(type + ' ' + data.left(data.indexOf('\0')));
        else if (type == "IDAT" && !found.contains(QLatin1String("IDAT")))
            found << QStringLiteral("IDAT");
    }
    return found;
}

int modeOf(const QString& path) {
    struct stat st;
    return ::stat(nativePath(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

} // namespace

class TestPreviews : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;

    QString write(const QString& name, const QByteArray& bytes) {
        return writeBytes(dir_.path(), name, bytes);
    }
    // The picture a row of the table names.
    QString picture(const QString& kind) {
        const QImage green = filled(320, 240, Qt::green);
        if (kind == QLatin1String("jpeg"))
            return writeTurned(dir_.path(), kind + ".jpg", marked(640, 480), "jpeg", 1);
        if (kind == QLatin1String("jpeg turned"))
            return writeTurned(dir_.path(), kind + ".jpg", marked(480, 640), "jpeg", 6);
        if (kind == QLatin1String("jpeg, EXIF thumbnail"))
            return write(kind + ".jpg", jpegWithExifThumbnail(marked(1600, 1200), 1, green));
        if (kind == QLatin1String("jpeg turned, EXIF thumbnail"))
            return write(kind + ".jpg", jpegWithExifThumbnail(
                                            storedForOrientation(marked(1200, 1600), 6), 6, green));
        if (kind == QLatin1String("jpeg, EXIF thumbnail too small"))
            return write(kind + ".jpg",
                         jpegWithExifThumbnail(marked(1600, 1200), 1, filled(160, 120, Qt::green)));
        if (kind == QLatin1String("jpeg, EXIF thumbnail letterboxed"))
            return write(kind + ".jpg",
                         jpegWithExifThumbnail(marked(1600, 1200), 1, filled(320, 180, Qt::green)));
        if (kind == QLatin1String("heic"))
            return writeTurned(dir_.path(), kind + ".heic", marked(640, 480), "heic", 1);
        if (kind == QLatin1String("heic turned"))
            return writeTurned(dir_.path(), kind + ".heic", marked(480, 640), "heic", 6);
        if (kind == QLatin1String("heic, thumbnail item"))
            return write(kind + ".heic",
                         heifWithThumbnail(marked(1280, 960), filled(640, 480, Qt::green), 320));
        if (kind == QLatin1String("heic, thumbnail item too small"))
            return write(kind + ".heic",
                         heifWithThumbnail(marked(1280, 960), filled(640, 480, Qt::green), 128));
        if (kind == QLatin1String("webp turned"))
            return writeTurned(dir_.path(), kind + ".webp", marked(480, 640), "webp", 8);
        if (kind == QLatin1String("png, small"))
            return write(kind + ".png", encoded(marked(100, 50), "png"));
        if (kind == QLatin1String("gif"))
            return makePicture(dir_.path(), kind + ".gif", "gif", 640, 480);
        if (kind == QLatin1String("tiff") || kind == QLatin1String("bmp"))
            return write(kind + "." + kind, encoded(marked(640, 480), kind.toLatin1()));
        if (kind == QLatin1String("png with transparency")) {
            QImage image = marked(640, 480).convertToFormat(QImage::Format_ARGB32);
            image.setPixel(639, 479, qRgba(0, 0, 0, 0));
            return write(kind + ".png", encoded(image, "png"));
        }
        if (kind == QLatin1String("wmf"))
            return write(kind + ".wmf", placeableWmf(0, 0, 1440, 720, 1440));
        if (kind == QLatin1String("not a picture"))
            return write(kind + ".jpg", "Dear diary,\n");
        if (kind == QLatin1String("cut short")) {
            const QByteArray whole = encoded(marked(640, 480), "jpeg");
            return write(kind + ".jpg", whole.left(whole.size() / 2));
        }
        if (kind == QLatin1String("missing"))
            return dir_.filePath(QStringLiteral("missing.jpg"));
        return {};
    }

    // The picture's name in the shared cache, from the URI the standard spells out.
    static QString cacheName(const QByteArray& uri) {
        return QString::fromLatin1(QCryptographicHash::hash(uri, QCryptographicHash::Md5).toHex()) +
               QStringLiteral(".png");
    }

private Q_SLOTS:
    void eachFormat_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QSize>("pixels");
        QTest::addColumn<QString>("format");
        QTest::addColumn<QSize>("thumbnail");
        // "mark": decoded from the picture and upright; "green": the thumbnail it carries.
        QTest::addColumn<QString>("looks");
        QTest::addColumn<QString>("problem");

        const QSize wide(256, 192), tall(192, 256);
        QTest::newRow("jpeg") << "jpeg" << QSize(640, 480) << "JPEG" << wide << "mark"
                              << "";
        QTest::newRow("jpeg turned") << "jpeg turned" << QSize(480, 640) << "JPEG" << tall << "mark"
                                     << "";
        QTest::newRow("jpeg, EXIF thumbnail")
            << "jpeg, EXIF thumbnail" << QSize(1600, 1200) << "JPEG" << wide << "green"
            << "";
        QTest::newRow("jpeg turned, EXIF thumbnail turned with it")
            << "jpeg turned, EXIF thumbnail" << QSize(1200, 1600) << "JPEG" << tall << "green"
            << "";
        QTest::newRow("jpeg, EXIF thumbnail too small: decoded")
            << "jpeg, EXIF thumbnail too small" << QSize(1600, 1200) << "JPEG" << wide << "mark"
            << "";
        QTest::newRow("jpeg, EXIF thumbnail of other proportions: decoded")
            << "jpeg, EXIF thumbnail letterboxed" << QSize(1600, 1200) << "JPEG" << wide << "mark"
            << "";
        QTest::newRow("heic") << "heic" << QSize(640, 480) << "HEIC" << wide << "mark"
                              << "";
        QTest::newRow("heic turned") << "heic turned" << QSize(480, 640) << "HEIC" << tall << "mark"
                                     << "";
        QTest::newRow("heic, thumbnail item")
            << "heic, thumbnail item" << QSize(1280, 960) << "HEIC" << wide << "green"
            << "";
        QTest::newRow("heic, thumbnail item too small: decoded")
            << "heic, thumbnail item too small" << QSize(1280, 960) << "HEIC" << wide << "mark"
            << "";
        QTest::newRow("webp turned") << "webp turned" << QSize(480, 640) << "WebP" << tall << "mark"
                                     << "";
        QTest::newRow("gif") << "gif" << QSize(640, 480) << "GIF" << wide << "mark"
                             << "";
        QTest::newRow("tiff") << "tiff" << QSize(640, 480) << "TIFF" << wide << "mark"
                              << "";
        QTest::newRow("bmp") << "bmp" << QSize(640, 480) << "BMP" << wide << "mark"
                             << "";
        QTest::newRow("png with transparency, as PNG")
            << "png with transparency" << QSize(640, 480) << "PNG" << wide << "mark"
            << "";
        QTest::newRow("smaller than a preview: not enlarged")
            << "png, small" << QSize(100, 50) << "PNG" << QSize(100, 50) << "mark"
            << "";
        QTest::newRow("wmf: no picture") << "wmf" << QSize(96, 48) << "WMF" << QSize() << ""
                                         << "";
        QTest::newRow("not a picture") << "not a picture" << QSize() << "" << QSize() << ""
                                       << "not a picture";
        QTest::newRow("missing") << "missing" << QSize() << "" << QSize() << ""
                                 << "the file is not there";
        QTest::newRow("cut short") << "cut short" << QSize() << "" << QSize() << ""
                                   << "the file is cut short";
    }
    // What goes wrong off the window's thread is the preview's problem, never the window's
    // end: an allocation that fails, a read that fails while the picture is measured or decoded,
    // a thread that cannot start. Only what the file's content causes is recorded in the shared
    // cache: the rest would say "cannot be shown" of a healthy photo until it changed.
    void failureIsThePreviews_data() {
        QTest::addColumn<int>("call"); // -1: none
        QTest::addColumn<int>("error");
        QTest::addColumn<QString>("problem");
        QTest::addColumn<QByteArray>("bytes"); // empty: a JPEG
        QTest::addColumn<int>("readsBefore");
        QTest::addColumn<bool>("recorded");
        QTest::newRow("out of memory")
            << int(IoCall::Allocate) << ENOMEM << "Out of memory" << QByteArray() << 0 << false;
        QTest::newRow("read error") << int(IoCall::ReadPicture) << EIO << "Input/output error"
                                    << QByteArray() << 0 << false;
        // libtiff took the failed read's -1 as a length and cleared the byte before its buffer.
        QTest::newRow("read error among a TIFF's tiles")
            << int(IoCall::ReadPicture) << EIO << "Input/output error" << tiledTiff(3000, 256) << 40
            << false;
        // It was "not a picture": the header readers found nothing.
        QTest::newRow("read error in the header")
            << int(IoCall::MeasurePicture) << EIO << "Input/output error" << QByteArray() << 0
            << false;
        QTest::newRow("a thread that cannot start")
            << int(IoCall::StartThread) << EAGAIN << "Resource temporarily unavailable"
            << QByteArray() << 0 << false;
        QTest::newRow("not a picture: recorded")
            << -1 << 0 << "not a picture" << QByteArray("Dear diary,\n") << 0 << true;
        const QByteArray whole = encoded(marked(640, 480), "jpeg");
        QTest::newRow("cut short: recorded")
            << -1 << 0 << "the file is cut short" << whole.left(whole.size() / 2) << 0 << true;
        QTest::newRow("too large to decode: recorded")
            << -1 << 0 << "the picture is too large to decode (30000 x 30000 pixels)"
            << craftedTiff({{256, 30000}, {257, 30000}, {259, 8}, {278, 30000}},
                           qCompress(QByteArray(1 << 20, '\0')).mid(4))
            << 0 << true;
    }
    void failureIsThePreviews() {
        QFETCH(int, call);
        QFETCH(int, error);
        QFETCH(QByteArray, bytes);
        QFETCH(int, readsBefore);
        static IoCall failing;
        static int failure;
        static std::atomic<int> before;
        failing = IoCall(call);
        failure = error;
        before = readsBefore;
        const QString path =
            bytes.isEmpty()
                ? picture(QStringLiteral("jpeg"))
                : write(QStringLiteral("failing.") + (bytes.startsWith("II") ? "tif" : "jpg"),
                        bytes);
        QTemporaryDir root;
        const ThumbnailCache cache(root.path());
        if (call >= 0)
            setFaultHook([](IoCall c, const QByteArray&) {
                return c == failing && before-- <= 0 ? failure : 0;
            });
        // Asked whether to stop, as the window's previews are: a thread watches for it.
        const std::optional<Preview> preview = makePreview(
            path, [] { return false; }, {}, &cache);
        setFaultHook(nullptr);
        QVERIFY(preview);
        QTEST(preview->problem, "problem");
        QVERIFY(preview->thumbnail.isEmpty());
        const QString fail = root.path() +
                             QStringLiteral("/fail/slidemill-" SLIDEMILL_VERSION "/") +
                             cacheName(ThumbnailCache::uriOf(path));
        QTEST(QFileInfo::exists(fail), "recorded");
    }
    void eachFormat() {
        QFETCH(QString, kind);
        const QString path = picture(kind);
        QVERIFY2(!path.isEmpty(), qPrintable(kind));
        // A HEIF, whose picture may be decoded whole, tells its size and format first.
        QList<Preview> first;
        const std::optional<Preview> preview =
            makePreview(path, {}, [&first](const Preview& p) { first << p; });
        QVERIFY(preview);
        const bool heif = preview->format == QLatin1String("HEIC");
        QCOMPARE(first.size(), heif ? 1 : 0);
        if (heif) {
            QVERIFY(first[0].pending && first[0].thumbnail.isEmpty());
            QCOMPARE(first[0].pixels, preview->pixels);
            QCOMPARE(first[0].format, preview->format);
            // The lists are told twice, and are never left with the pending one.
            PreviewMaker previews;
            QList<bool> pending;
            connect(&previews, &PreviewSource::made, this,
                    [&](const QString& made) { pending << previews.find(made)->pending; });
            previews.want(this, path);
            QTRY_COMPARE(previews.working(), 0);
            QCOMPARE(pending, QList<bool>({true, false}));
            QVERIFY(!previews.find(path)->thumbnail.isEmpty());
        }
        QTEST(preview->problem, "problem");
        QTEST(preview->pixels, "pixels");
        QTEST(preview->format, "format");
        QTEST(preview->thumbnailSize, "thumbnail");
        const QImage thumbnail = QImage::fromData(preview->thumbnail);
        QCOMPARE(thumbnail.isNull(), preview->thumbnail.isEmpty());
        if (!thumbnail.isNull())
            QTEST(looks(thumbnail), "looks");
        // Transparency needs PNG; everything else is JPEG.
        QCOMPARE(preview->thumbnail.startsWith("\x89PNG"), kind.contains(QLatin1String("trans")));
    }

    // A picture with a colour profile is shown in its colours: converted to sRGB, not its
    // numbers taken as sRGB's.
    void inItsColours() {
        QImage p3 = filled(400, 300, QColor(60, 200, 60));
        p3.setColorSpace(QColorSpace::DisplayP3);
        const QString path = write(QStringLiteral("p3.jpg"), encoded(p3, "jpeg"));
        const std::optional<Preview> preview = makePreview(path);
        QVERIFY(preview && preview->problem.isEmpty());
        const QRgb shown = QImage::fromData(preview->thumbnail).pixel(100, 80);
        const QRgb srgb = p3.convertedToColorSpace(QColorSpace::SRgb).pixel(100, 80);
        QVERIFY2(near(shown, srgb, 8), qPrintable(QString::number(shown, 16)));
        QVERIFY(!near(shown, p3.pixel(100, 80), 8));
    }

    // The URI the shared cache names a picture by: the path's bytes percent-encoded as GLib
    // encodes them, so that the names match those a GNOME file manager gives.
    void uriOf_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("uri");
        QTest::newRow("plain") << "/home/jens/photos/me.png"
                               << QByteArray("file:///home/jens/photos/me.png");
        QTest::newRow("kept as they are")
            << "/a/!$&'()*+,-.:=@_~.jpg" << QByteArray("file:///a/!$&'()*+,-.:=@_~.jpg");
        QTest::newRow("escaped") << "/a b/#1;?[]^`{|}\"%<>.jpg"
                                 << QByteArray(
                                        "file:///a%20b/%231%3B%3F%5B%5D%5E%60%7B%7C%7D%22%25%"
                                        "3C%3E.jpg");
        QTest::newRow("UTF-8, byte by byte")
            << "/Fotos/Übersee.jpg" << QByteArray("file:///Fotos/%C3%9Cbersee.jpg");
        QTest::newRow("not UTF-8")
            << pathFromNative("/x/caf\xE9.jpg") << QByteArray("file:///x/caf%E9.jpg");
        QTest::newRow("cleaned") << "//a/./b/../c.jpg" << QByteArray("file:///a/c.jpg");
        QTest::newRow("relative: none") << "photos/me.png" << QByteArray();
    }
    void uriOf() {
        QFETCH(QString, path);
        QTEST(ThumbnailCache::uriOf(path), "uri");
    }

    // Previews shared with the desktop's other programs, in a cache of the test's own: what is
    // there for the file as it is now is taken, in large, x-large, normal order; what is made
    // is written there, its keys where GLib reads them; a picture that cannot be shown is
    // recorded and not tried again. An entry is anyone's file: its text is never inflated, the
    // tip never gets its bytes, and a problem it tells is cut to a line.
    void sharedThumbnails_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("folder"); // where an entry is put before: "", "large", "fail"...
        QTest::addColumn<QSize>("side");     // and its size
        // "right", "older", "other size", "no size", "uri compressed", "text to inflate",
        // "padded", "long problem", "compressed problem"
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QSize>("thumbnail");
        QTest::addColumn<QString>("looks");
        QTest::addColumn<QString>("problem");
        QTest::addColumn<QString>("written"); // what the cache holds after: "large", "fail", ""

        const QSize wide(256, 192), one(1, 1);
        QTest::newRow("none there: made and written") << "jpeg"
                                                      << "" << QSize() << "" << wide << "mark"
                                                      << ""
                                                      << "large";
        QTest::newRow("large taken")
            << "jpeg"
            << "large" << QSize(200, 150) << "right" << QSize(200, 150) << "green"
            << ""
            << "";
        QTest::newRow("large without a size taken")
            << "jpeg"
            << "large" << QSize(200, 150) << "no size" << QSize(200, 150) << "green"
            << ""
            << "";
        QTest::newRow("x-large fitted")
            << "jpeg"
            << "x-large" << QSize(512, 384) << "right" << wide << "green"
            << ""
            << "";
        QTest::newRow("normal taken")
            << "jpeg"
            << "normal" << QSize(128, 96) << "right" << QSize(128, 96) << "green"
            << ""
            << "";
        QTest::newRow("the file changed since: made anew")
            << "jpeg"
            << "large" << QSize(200, 150) << "older" << wide << "mark"
            << ""
            << "large";
        QTest::newRow("the file's size differs: made anew")
            << "jpeg"
            << "large" << QSize(200, 150) << "other size" << wide << "mark"
            << ""
            << "large";
        QTest::newRow("large with text to inflate: taken, the text left alone")
            << "jpeg"
            << "large" << QSize(200, 150) << "text to inflate" << QSize(200, 150) << "green"
            << ""
            << "";
        // GLib reads tEXt alone; Qt, which inflates zTXt, would have taken it.
        QTest::newRow("large whose URI is compressed: made anew")
            << "jpeg"
            << "large" << QSize(200, 150) << "uri compressed" << wide << "mark"
            << ""
            << "large";
        QTest::newRow("large of more bytes than its size takes: made anew")
            << "jpeg"
            << "large" << QSize(200, 150) << "padded" << wide << "mark"
            << ""
            << "large";
        QTest::newRow("failure recorded: its problem") << "jpeg"
                                                       << "fail" << one << "right" << QSize() << ""
                                                       << "remembered"
                                                       << "";
        QTest::newRow("failure of a long problem: one line of 200 characters")
            << "jpeg"
            << "fail" << one << "long problem" << QSize() << ""
            << "line one line two " + QString(200 - 18, QLatin1Char('x')) << "";
        QTest::newRow("failure whose problem is compressed: not inflated")
            << "jpeg"
            << "fail" << one << "compressed problem" << QSize() << ""
            << "not a picture"
            << "";
        QTest::newRow("metafile: nothing written") << "wmf"
                                                   << "" << QSize() << "" << QSize() << ""
                                                   << ""
                                                   << "";
        QTest::newRow("not a picture: recorded") << "not a picture"
                                                 << "" << QSize() << "" << QSize() << ""
                                                 << "not a picture"
                                                 << "fail";
        QTest::newRow("missing: nothing written") << "missing"
                                                  << "" << QSize() << "" << QSize() << ""
                                                  << "the file is not there"
                                                  << "";
        // The program's failure, not the picture's: once the module is back, it is shown.
        QTest::newRow("no decoding module: nothing written")
            << "jpeg" + kNoModule << "" << QSize() << "" << QSize() << ""
            << "the decoding module does not match this program"
            << "";
    }
    void sharedThumbnails() {
        QFETCH(QString, kind);
        QFETCH(QString, folder);
        QFETCH(QSize, side);
        QFETCH(QString, keys);
        if (kind.endsWith(kNoModule) && qEnvironmentVariableIsEmpty("SLIDEMILL_DECODING_MODULE")) {
            // This process has its module loaded for good: the row runs in one that finds none.
            QProcess self;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("SLIDEMILL_DECODING_MODULE"), dir_.filePath("absent.so"));
            self.setProcessEnvironment(env);
            self.start(QCoreApplication::applicationFilePath(),
                       {QStringLiteral("sharedThumbnails:") + QTest::currentDataTag()});
            QVERIFY(self.waitForFinished(120000));
            QVERIFY2(self.exitStatus() == QProcess::NormalExit && self.exitCode() == 0,
                     self.readAllStandardOutput().constData());
            return;
        }
        QTemporaryDir home;
        qputenv("XDG_CACHE_HOME", QFile::encodeName(home.path() + QStringLiteral("/cache")));
        const ThumbnailCache cache(ThumbnailCache::userRoot());
        QCOMPARE(cache.root(), home.path() + QStringLiteral("/cache/thumbnails"));
        const QString path = picture(QString(kind).remove(kNoModule));
        const QByteArray uri =
            QByteArray("file://") + QFile::encodeName(path).toPercentEncoding("/");
        // Long enough that Qt's writer would compress it.
        QVERIFY(uri.size() >= 40);
        const QString name = cacheName(uri);
        const QString large = cache.root() + QStringLiteral("/large/") + name;
        const QString failFolder =
            cache.root() + QStringLiteral("/fail/slidemill-" SLIDEMILL_VERSION);
        const QString fail = failFolder + QLatin1Char('/') + name;
        struct stat st {};
        ::stat(nativePath(path).constData(), &st);
        if (!folder.isEmpty()) {
            Keys given{{"Thumb::URI", uri},
                       {"Thumb::MTime",
                        QByteArray::number(qint64(st.st_mtime) - (keys == "older" ? 1 : 0))},
                       {"Thumb::Size",
                        QByteArray::number(qint64(st.st_size) + (keys == "other size" ? 1 : 0))}};
            QByteArray more;
            if (keys == QLatin1String("no size") || keys == QLatin1String("uri compressed"))
                given.removeAt(keys == QLatin1String("no size") ? 2 : 0);
            if (keys == QLatin1String("uri compressed"))
                more = textChunk("zTXt", "Thumb::URI", uri);
            if (keys == QLatin1String("text to inflate"))
                more = textChunk("zTXt", "Comment", QByteArray(16 << 20, 'x'));
            if (keys == QLatin1String("padded"))
                more = pngChunk("spAd", QByteArray(640 << 10, 'x'));
            if (folder == QLatin1String("fail")) {
                if (keys == QLatin1String("compressed problem"))
                    more = textChunk("zTXt", "X-Slidemill::Problem", QByteArray(4000000, 'x'));
                else
                    given.append({"X-Slidemill::Problem",
                                  keys == QLatin1String("long problem")
                                      ? "line one\nline two\n" + QByteArray(60000, 'x')
                                      : QByteArray("remembered")});
            }
            const QString into = folder == QLatin1String("fail")
                                     ? failFolder
                                     : cache.root() + QLatin1Char('/') + folder;
            QVERIFY(QDir().mkpath(into));
            QVERIFY(!writeBytes(
                         into, name,
                         thumbnailPng(filled(side.width(), side.height(), Qt::green), given, more))
                         .isEmpty());
        }

        const std::optional<Preview> preview = makePreview(path, {}, {}, &cache);
        QVERIFY(preview);
        QTEST(preview->thumbnailSize, "thumbnail");
        QTEST(preview->problem, "problem");
        if (!preview->thumbnail.isEmpty())
            QTEST(looks(QImage::fromData(preview->thumbnail)), "looks");
        // What the tip decodes on the window's thread is made here, not the entry's bytes.
        QVERIFY(!preview->thumbnail.contains("Thumb::"));
        if (kind == QLatin1String("jpeg") && preview->problem.isEmpty())
            QCOMPARE(preview->pixels, QSize(640, 480));

        QFETCH(QString, written);
        QCOMPARE(QFileInfo::exists(fail), written == QLatin1String("fail") || folder == "fail");
        if (written.isEmpty()) {
            QCOMPARE(QFileInfo::exists(large), folder == QLatin1String("large"));
            return;
        }
        const QString entry = written == QLatin1String("large") ? large : fail;
        // Every key in a tEXt chunk before the pixels, where GLib's check looks for it.
        const QStringList chunks = textChunksOf(readBytes(entry));
        QStringList expected{"tEXt Thumb::URI", "tEXt Thumb::MTime", "tEXt Thumb::Size"};
        expected << (written == QLatin1String("large")
                         ? QStringList{"tEXt Thumb::Image::Width", "tEXt Thumb::Image::Height"}
                         : QStringList{"tEXt X-Slidemill::Problem"});
        for (const QString& key : expected)
            QVERIFY2(chunks.contains(key) && chunks.indexOf(key) < chunks.indexOf("IDAT"),
                     qPrintable(chunks.join(QLatin1String(", "))));
        for (const QString& chunk : chunks)
            QVERIFY2(!chunk.startsWith(QLatin1String("zTXt")) &&
                         !chunk.startsWith(QLatin1String("iTXt")),
                     qPrintable(chunk));
        const QImage stored = QImageReader(entry).read();
        QCOMPARE(stored.text(QStringLiteral("Thumb::URI")), QString::fromLatin1(uri));
        QCOMPARE(stored.text(QStringLiteral("Thumb::MTime")), QString::number(st.st_mtime));
        QCOMPARE(stored.text(QStringLiteral("Thumb::Size")), QString::number(st.st_size));
        QCOMPARE(modeOf(entry), 0600);
        if (folder.isEmpty()) {
            QCOMPARE(modeOf(QFileInfo(entry).path()), 0700);
            QCOMPARE(modeOf(cache.root()), 0700);
        }
        QCOMPARE(QDir(QFileInfo(entry).path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{name});
        const Keys now{{"Thumb::URI", uri},
                       {"Thumb::MTime", QByteArray::number(qint64(st.st_mtime))}};
        if (written == QLatin1String("large")) {
            QCOMPARE(stored.text(QStringLiteral("Thumb::Image::Width")), QStringLiteral("640"));
            QCOMPARE(stored.text(QStringLiteral("Thumb::Image::Height")), QStringLiteral("480"));
            QCOMPARE(stored.size(), QSize(256, 192));
            // Asked again, it comes from the cache: the picture there is what is shown.
            QVERIFY(!writeBytes(QFileInfo(large).path(), name,
                                thumbnailPng(filled(100, 75, Qt::green), now))
                         .isEmpty());
            QCOMPARE(makePreview(path, {}, {}, &cache)->thumbnailSize, QSize(100, 75));
        } else {
            // Not tried again while the file stays as it is: the recorded reason is given.
            QVERIFY(!writeBytes(QFileInfo(fail).path(), name,
                                thumbnailPng(filled(1, 1, Qt::white),
                                             now + Keys{{"X-Slidemill::Problem", "remembered"}}))
                         .isEmpty());
            QCOMPARE(makePreview(path, {}, {}, &cache)->problem, QStringLiteral("remembered"));
        }
    }

    // The cache's own files are neither looked up nor written: a preview of a thumbnail would
    // add a thumbnail of it, and so on.
    void sharedThumbnailsNotOfTheCache() {
        QTemporaryDir root;
        const ThumbnailCache cache(root.path());
        QVERIFY(QDir().mkpath(root.path() + QStringLiteral("/large")));
        const QString inside =
            writeBytes(root.path() + QStringLiteral("/large"), QStringLiteral("x.png"),
                       encoded(marked(300, 200), "png"));
        const std::optional<Preview> preview = makePreview(inside, {}, {}, &cache);
        QVERIFY(preview && preview->problem.isEmpty());
        QCOMPARE(QDir(root.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList{"large"});
        QCOMPARE(QDir(root.path() + QStringLiteral("/large")).entryList(QDir::Files),
                 QStringList{"x.png"});
    }

    // Told to stop before it begins, while a decoder reads the file or while libvips computes
    // the pixels, it stops within a fraction of a second, and records nothing.
    void cancelled_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("answersBeforeStop");
        const QByteArray png = encoded(filled(3000, 3000, Qt::white), "png");
        QTest::newRow("before it begins") << "large.png" << png << 0;
        QTest::newRow("while the pixels are computed") << "large.png" << png << 2;
        // libvips checks between regions only: 5 s and more of tiles before.
        QTest::newRow("tiff in deflate tiles, while its tiles are read")
            << "tiles.tif" << tiledTiff(11000, 256) << 40;
        // Told as libvips wrote the pixels, it failed as a broken picture.
        QTest::newRow("webp, as it is read")
            << "large.webp" << webpBytes(filled(3000, 3000, Qt::white)) << 2;
    }
    void cancelled() {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(int, answersBeforeStop);
        const QString path = write(name, bytes);
        // Asked from libvips' threads too.
        std::atomic<int> asked = 0;
        std::atomic<qint64> stoppedAt = -1;
        QTemporaryDir root;
        const ThumbnailCache cache(root.path());
        QElapsedTimer timer;
        timer.start();
        const std::optional<Preview> preview = makePreview(
            path,
            [&] {
                if (asked++ < answersBeforeStop)
                    return false;
                qint64 none = -1;
                stoppedAt.compare_exchange_strong(none, timer.elapsed());
                return true;
            },
            {}, &cache);
        const qint64 afterStop = timer.elapsed() - stoppedAt;
        QVERIFY(!preview);
        // Stopped is not failed: nothing is recorded.
        QVERIFY(QDir(root.path()).isEmpty());
        QVERIFY(asked > answersBeforeStop);
        QVERIFY2(afterStop < 1000, qPrintable(QString::number(afterStop)));
    }

    // What is kept stays within its bound, the least recently used going first.
    void cacheBound() {
        QStringList paths;
        for (int i = 0; i < 4; ++i) {
            QImage noise(640, 480, QImage::Format_RGB32);
            QRandomGenerator random(i);
            for (int y = 0; y < noise.height(); ++y)
                for (int x = 0; x < noise.width(); ++x)
                    noise.setPixel(x, y, random.generate() | 0xFF000000);
            paths << write(QStringLiteral("noise-%1.png").arg(i), encoded(noise, "png"));
        }
        qint64 one = 0;
        {
            PreviewMaker measure;
            QSignalSpy made(&measure, &PreviewSource::made);
            measure.want(this, paths[0]);
            QVERIFY(made.wait(10000));
            one = measure.cachedBytes();
        }
        QVERIFY(one > 10000);
        PreviewMaker previews(one * 5 / 2);
        QSignalSpy made(&previews, &PreviewSource::made);
        for (const QString& path : paths) {
            previews.want(this, path);
            QVERIFY(made.wait(10000));
            QVERIFY(previews.find(path));
            QVERIFY(previews.cachedBytes() <= one * 5 / 2);
        }
        QVERIFY(!previews.find(paths[0]));
        QVERIFY(!previews.find(paths[1]));
        QVERIFY(previews.find(paths[2]));
    }

    // A picture that is no longer wanted is not made; one asked for again is made anew if its
    // file changed meanwhile.
    void wantedOrNot() {
        const QString large = write(QStringLiteral("wanted-large.png"),
                                    encoded(filled(5000, 5000, Qt::white), "png"));
        const QString small =
            write(QStringLiteral("wanted-small.png"), encoded(marked(64, 48), "png"));
        PreviewMaker previews;
        QSignalSpy made(&previews, &PreviewSource::made);
        previews.want(this, large);
        previews.want(this, small);
        QTRY_COMPARE(previews.working(), 0);
        QCOMPARE(made.size(), 1);
        QCOMPARE(made[0][0].toString(), small);
        QVERIFY(!previews.find(large));

        previews.want(this, {});
        write(QStringLiteral("wanted-small.png"), encoded(marked(32, 48), "png"));
        previews.want(this, small);
        QVERIFY(made.wait(10000));
        QCOMPARE(previews.find(small)->pixels, QSize(32, 48));

        // Its work not begun is withdrawn as it goes, behind builds holding every thread: it
        // waits for no one's work but its own.
        std::promise<void> release;
        const std::shared_future<void> held = release.get_future().share();
        std::vector<pictures::PoolJob<void>> builds;
        // Held until it is gone, or a minute (only so that a fault cannot hang the suite): had
        // it waited for them, one would have ended first.
        std::atomic<int> ended = 0;
        for (int i = 0; i < pictures::usableCores(); ++i)
            builds.push_back(pictures::PicturePool::shared().submit(
                pictures::Priority::Build, {}, [held, &ended] {
                    held.wait_for(std::chrono::minutes(1));
                    ++ended;
                }));
        {
            PreviewMaker waiting;
            waiting.want(this, large);
        }
        QCOMPARE(ended.load(), 0);
        release.set_value();
        for (pictures::PoolJob<void>& build : builds)
            build.result.get();
    }

    // One pool for every picture: builds' before previews', each in the order given; a
    // preview withdrawn never runs; a job that cannot have a thread fails alone, naming its
    // picture. One thread, held by the first job until all are given.
    void poolOrder_data() {
        QTest::addColumn<QString>("withdrawn");
        QTest::addColumn<QString>("noThread");
        QTest::addColumn<QString>("order");
        QTest::newRow("read-backs, then builds, then previews") << ""
                                                                << ""
                                                                << "r1 b1 b2 p1 p2";
        QTest::newRow("a preview withdrawn") << "p1"
                                             << ""
                                             << "r1 b1 b2 p2";
        QTest::newRow("a thread that cannot start") << ""
                                                    << "b1"
                                                    << "r1 b2 p1 p2";
        QTest::newRow("a read-back whose thread cannot start") << ""
                                                               << "r1"
                                                               << "b1 b2 p1 p2";
    }
    void poolOrder() {
        QFETCH(QString, withdrawn);
        QFETCH(QString, noThread);
        pictures::PicturePool pool(1);
        std::promise<void> began, release;
        const std::shared_future<void> released = release.get_future().share();
        auto first = pool.submit(pictures::Priority::Preview, {}, [&began, released] {
            began.set_value();
            released.wait();
        });
        began.get_future().wait();
        static QByteArray failing;
        failing = noThread.toUtf8();
        setFaultHook([](IoCall call, const QByteArray& entry) {
            return call == IoCall::StartThread && entry == failing ? EAGAIN : 0;
        });
        std::mutex mutex;
        QStringList order;
        std::map<QString, pictures::PoolJob<void>> jobs;
        for (const QString name : {"p1", "b1", "p2", "b2", "r1"}) {
            const FaultEntry entry(name.toUtf8());
            jobs[name] = pool.submit(name[0] == 'b'   ? pictures::Priority::Build
                                     : name[0] == 'r' ? pictures::Priority::ReadBack
                                                      : pictures::Priority::Preview,
                                     name + ".jpg", [&, name] {
                                         const std::lock_guard lock(mutex);
                                         order << name;
                                     });
        }
        setFaultHook(nullptr);
        if (!withdrawn.isEmpty())
            QVERIFY(pool.withdraw(jobs[withdrawn].ticket));
        release.set_value();
        for (auto& [name, job] : jobs) {
            if (name == withdrawn) {
                QVERIFY_THROWS_EXCEPTION(std::future_error, job.result.get());
            } else if (name == noThread) {
                try {
                    job.result.get();
                    QFAIL("no error");
                } catch (const RuntimeError& e) {
                    QCOMPARE(e.number(), int(errPathFileAccess));
                    QCOMPARE(e.file(), name + ".jpg");
                    QVERIFY(e.text().contains(QLatin1String("cannot start a thread")));
                }
            } else {
                job.result.get();
                QVERIFY(!pool.withdraw(job.ticket));
            }
        }
        QTEST(order.join(QLatin1Char(' ')), "order");
    }
};

QTEST_MAIN(TestPreviews)
#include "test_previews.moc"
