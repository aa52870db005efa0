// What an entry of the desktop's shared thumbnail cache crafted by someone else costs: a photo's
// preview taken from the cache as a pool thread takes it, then its tool tip laid out as the
// window's thread lays it out. Prints the processor time and wall time of each step, the memory
// resident after each and the peak; run it under /usr/bin/time -v for the process's own figures.
//
//   bench_thumbnailcache ENTRY
//
// ENTRY:
//   text-bomb     a 256 x 192 large/ thumbnail of the photo, its URI, MTime and Size right, with
//                 50 zTXt chunks of 7.4 KB that inflate to 7.6 MB each (372 KB in all), under
//                 libpng's 8 MB bound for a chunk
//   long-problem  a fail/ entry of the photo whose problem is 4,000,000 characters compressed
//                 into a zTXt chunk (4 KB)
//   plain-problem a fail/ entry of the photo whose problem is 60,000 characters in a tEXt chunk
//   plain         a 256 x 192 large/ thumbnail as GNOME writes it, for comparison

#include "core/previews.h"
#include "pictures/previewmaker.h"
#include "pictures/thumbnailcache.h"

#include <QApplication>
#include <QBuffer>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QToolTip>
#include <QWidget>
#include <QtEndian>
#include <cstdio>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace slidemill;

namespace {

quint32 crc32Of(const QByteArray& bytes) {
    quint32 crc = 0xFFFFFFFFu;
    for (const char c : bytes) {
        crc ^= quint8(c);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

QByteArray chunk(const char* type, const QByteArray& data) {
    QByteArray out(4, Qt::Uninitialized);
    qToBigEndian<quint32>(quint32(data.size()), out.data());
    const QByteArray body = QByteArray(type, 4) + data;
    out += body;
    QByteArray crc(4, Qt::Uninitialized);
    qToBigEndian<quint32>(crc32Of(body), crc.data());
    return out + crc;
}

// A zlib stream of `count` bytes of 'x', as compressed as zlib makes it.
QByteArray deflated(qsizetype count) {
    return qCompress(QByteArray(count, 'x'), 9).mid(4);
}

// The PNG Qt writes of image, without text, with `chunks` put before its first IDAT.
QByteArray pngWith(const QImage& image, const QByteArray& chunks) {
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    const qsizetype idat = png.indexOf("IDAT") - 4;
    return png.left(idat) + chunks + png.mid(idat);
}

double processorMs() {
    rusage use{};
    getrusage(RUSAGE_SELF, &use);
    return (use.ru_utime.tv_sec + use.ru_stime.tv_sec) * 1e3 +
           (use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1e3;
}

double residentMiB() {
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.value(1).toDouble() * double(sysconf(_SC_PAGESIZE)) / (1 << 20);
}

double peakMiB() {
    rusage use{};
    getrusage(RUSAGE_SELF, &use);
    return use.ru_maxrss / 1024.0;
}

void report(const char* step, double processor, double wall) {
    std::printf("%-26s processor %8.1f ms  wall %8.1f ms  resident %7.1f MiB  peak %7.1f MiB\n",
                step, processor, wall, residentMiB(), peakMiB());
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QString entry = app.arguments().value(1);
    QTemporaryDir dir;
    QImage photo(640, 480, QImage::Format_RGB32);
    photo.fill(Qt::white);
    QPainter(&photo).fillRect(0, 0, 320, 240, Qt::red);
    const QString path = dir.filePath(QStringLiteral("photo.jpg"));
    photo.save(path, "JPEG", 90);
    struct stat st {};
    ::stat(QFile::encodeName(path).constData(), &st);
    const QByteArray uri = ThumbnailCache::uriOf(path);
    const auto text = [](const char* key, const QByteArray& value) {
        return chunk("tEXt", QByteArray(key) + '\0' + value);
    };
    const QByteArray keys = text("Thumb::URI", uri) +
                            text("Thumb::MTime", QByteArray::number(qint64(st.st_mtime))) +
                            text("Thumb::Size", QByteArray::number(qint64(st.st_size)));
    const QString root = dir.filePath(QStringLiteral("thumbnails"));
    const QString name =
        QString::fromLatin1(QCryptographicHash::hash(uri, QCryptographicHash::Md5).toHex()) +
        QStringLiteral(".png");
    QString folder = QStringLiteral("large");
    QByteArray bytes;
    const QImage green = [] {
        QImage image(256, 192, QImage::Format_RGB32);
        image.fill(Qt::green);
        return image;
    }();
    if (entry == QLatin1String("text-bomb")) {
        QByteArray bombs;
        const QByteArray stream = deflated(7600000);
        for (int i = 0; i < 50; ++i)
            bombs += chunk("zTXt", "Comment" + QByteArray::number(i) + '\0' + '\0' + stream);
        bytes = pngWith(green, keys + bombs);
    } else if (entry == QLatin1String("long-problem") || entry == QLatin1String("plain-problem")) {
        folder = QStringLiteral("fail/slidemill-" SLIDEMILL_VERSION);
        QImage one(1, 1, QImage::Format_ARGB32);
        one.fill(Qt::transparent);
        const QByteArray key = "X-Slidemill::Problem";
        bytes = entry == QLatin1String("long-problem")
                    ? pngWith(one, keys + chunk("zTXt", key + '\0' + '\0' + deflated(4000000)))
                    : pngWith(one, keys + chunk("tEXt", key + '\0' + QByteArray(60000, 'x')));
    } else if (entry == QLatin1String("plain")) {
        bytes = pngWith(green, keys);
    } else {
        std::fprintf(stderr, "usage: bench_thumbnailcache text-bomb|long-problem|"
                             "plain-problem|plain\n");
        return 2;
    }
    QDir().mkpath(root + QLatin1Char('/') + folder);
    QFile out(root + QLatin1Char('/') + folder + QLatin1Char('/') + name);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size())
        return 1;
    out.close();
    std::printf("%s: %s of %.1f KB\n", qPrintable(entry), qPrintable(folder), bytes.size() / 1e3);

    const ThumbnailCache cache(root);
    // The decoding module and Qt's image plugins loaded, as in a window that has shown a preview.
    makePreview(path);
    report("started", processorMs(), 0);

    QElapsedTimer timer;
    timer.start();
    double before = processorMs();
    const std::optional<Preview> preview = makePreview(path, {}, {}, &cache);
    report("preview (pool thread)", processorMs() - before, timer.nsecsElapsed() / 1e6);
    if (!preview)
        return 1;
    std::printf("  thumbnail %d x %d, %lld bytes; problem of %lld characters\n",
                preview->thumbnailSize.width(), preview->thumbnailSize.height(),
                qint64(preview->thumbnail.size()), qint64(preview->problem.size()));

    QWidget window;
    window.resize(300, 200);
    window.show();
    const QString tip = previewToolTip(previewLines(path, &*preview), &*preview);
    timer.restart();
    before = processorMs();
    QToolTip::showText(window.mapToGlobal(QPoint(10, 10)), tip, &window);
    // Painted, which is when its picture is decoded: its size is given in the HTML.
    for (QWidget* shown : QApplication::topLevelWidgets()) {
        if (shown->inherits("QLabel") && shown->isVisible())
            shown->grab();
    }
    report("tip (window's thread)", processorMs() - before, timer.nsecsElapsed() / 1e6);
    return 0;
}
