// Measuring pictures from their headers, and walking their data to see that it runs to its end
// (a picture cut short is refused): a camera JPEG and a phone HEIC, then a build's worth of
// 1,000 photos, from a warm file cache.
//
//   bench_measure [--cache DIR]
//
// The pictures are made once into the cache folder: a 6000 x 4000 JPEG of noise (about 6 MB)
// and, when heif-enc is installed, a 4032 x 3024 HEIC; and 1,000 photos of 1024 x 768 with the
// EXIF block a camera writes (900 JPEG, and 100 HEIC made from it when heif-enc is there).

#include "slides/picturemetrics.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QtEndian>
#include <algorithm>
#include <cstdio>

using namespace slidemill;

namespace {

QString makeJpeg(const QString& cache) {
    const QString path = cache + QStringLiteral("/camera.jpg");
    if (QFileInfo(path).size() > 0)
        return path;
    QImage img(6000, 4000, QImage::Format_RGB32);
    QRandomGenerator random(20240601);
    for (int y = 0; y < img.height(); ++y) {
        auto* line = reinterpret_cast<quint32*>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x)
            line[x] = (random.generate() & 0x3F3F3F) | 0xFF808080u;
    }
    return img.save(path, "JPEG", 90) ? path : QString();
}

QString makeHeic(const QString& cache) {
    const QString path = cache + QStringLiteral("/phone.heic");
    if (QFileInfo(path).size() > 0)
        return path;
    const QString source = cache + QStringLiteral("/phone-source.png");
    QImage img(4032, 3024, QImage::Format_RGB888);
    img.fill(QColor(120, 160, 200));
    if (!img.save(source, "PNG") ||
        QProcess::execute(QStringLiteral("heif-enc"), {source, QStringLiteral("-o"), path}) != 0)
        return {};
    return path;
}

void putU16(QByteArray& out, quint16 v) {
    char b[2];
    qToBigEndian(v, b);
    out.append(b, 2);
}

void putU32(QByteArray& out, quint32 v) {
    char b[4];
    qToBigEndian(v, b);
    out.append(b, 4);
}

// An IFD of (tag, type, count, value or data) entries at `at` in a big-endian TIFF structure;
// data longer than 4 bytes goes after the table.
QByteArray ifd(quint32 at, const QList<std::tuple<quint16, quint16, QByteArray>>& entries,
               quint32 next) {
    QByteArray table, data;
    const quint32 dataAt = at + 2 + 12 * quint32(entries.size()) + 4;
    putU16(table, quint16(entries.size()));
    for (const auto& [tag, type, value] : entries) {
        const int unit = type == 3 ? 2 : type == 4 ? 4 : type == 5 || type == 10 ? 8 : 1;
        putU16(table, tag);
        putU16(table, type);
        putU32(table, quint32(value.size() / unit));
        if (value.size() <= 4) {
            table += value.leftJustified(4, '\0');
        } else {
            putU32(table, dataAt + quint32(data.size()));
            data += value;
            if (data.size() % 2)
                data += '\0';
        }
    }
    putU32(table, next);
    return table + data;
}

QByteArray u16(quint16 v) {
    QByteArray b;
    putU16(b, v);
    return b;
}

QByteArray u32(quint32 v) {
    QByteArray b;
    putU32(b, v);
    return b;
}

// The APP1 segment a camera writes: IFD0 with make, model and orientation, its Exif IFD with the
// exposure and the dates, and a thumbnail.
QByteArray cameraExif(const QByteArray& thumbnail) {
    const QByteArray rational = u32(1) + u32(100);
    const QList<std::tuple<quint16, quint16, QByteArray>> exif = {
        {0x829A, 5, rational},
        {0x829D, 5, u32(28) + u32(10)},
        {0x8827, 3, u16(200)},
        {0x9000, 7, "0232"},
        {0x9003, 2, QByteArray("2026:07:12 14:03:27", 20)},
        {0x9004, 2, QByteArray("2026:07:12 14:03:27", 20)},
        {0x9010, 2, QByteArray("+02:00", 7)},
        {0x9011, 2, QByteArray("+02:00", 7)},
        {0x9201, 10, rational},
        {0x9202, 5, rational},
        {0x9204, 10, u32(0) + u32(1)},
        {0x9207, 3, u16(5)},
        {0x9209, 3, u16(16)},
        {0x920A, 5, u32(50) + u32(10)},
        {0x927C, 7, QByteArray(600, 'm')},
        {0x9291, 2, QByteArray("42", 3)},
        {0xA001, 3, u16(1)},
        {0xA002, 4, u32(1024)},
        {0xA003, 4, u32(768)},
        {0xA402, 3, u16(0)},
        {0xA403, 3, u16(0)},
        {0xA405, 3, u16(28)},
        {0xA406, 3, u16(0)},
        {0xA434, 2, QByteArray("Camera lens 5-50mm", 19)}};
    const QByteArray make("Camera maker", 13), model("Camera 1", 9);
    // IFD0 first, its Exif IFD after it, then IFD1 and the thumbnail.
    const auto ifd0 = [&](quint32 exifAt, quint32 ifd1At) {
        return ifd(8,
                   {{0x010F, 2, make},
                    {0x0110, 2, model},
                    {0x0112, 3, u16(1)},
                    {0x011A, 5, u32(72) + u32(1)},
                    {0x011B, 5, u32(72) + u32(1)},
                    {0x0128, 3, u16(2)},
                    {0x0131, 2, QByteArray("Firmware 1.0", 13)},
                    {0x0132, 2, QByteArray("2026:07:12 14:03:27", 20)},
                    {0x8769, 4, u32(exifAt)}},
                   ifd1At);
    };
    const quint32 exifAt = 8 + quint32(ifd0(0, 0).size());
    const quint32 ifd1At = exifAt + quint32(ifd(exifAt, exif, 0).size());
    const quint32 thumbAt = ifd1At + 2 + 3 * 12 + 4;
    QByteArray tiff = QByteArray("MM\0*", 4) + u32(8) + ifd0(exifAt, ifd1At) +
                      ifd(exifAt, exif, 0) +
                      ifd(ifd1At,
                          {{0x0103, 3, u16(6)},
                           {0x0201, 4, u32(thumbAt)},
                           {0x0202, 4, u32(quint32(thumbnail.size()))}},
                          0) +
                      thumbnail;
    QByteArray segment("\xFF\xE1", 2);
    putU16(segment, quint16(2 + 6 + tiff.size()));
    return segment + QByteArray("Exif\0\0", 6) + tiff;
}

QByteArray jpegOf(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 90);
    return bytes;
}

// 1,000 photos in cache/photos, made once.
QStringList makePhotos(const QString& cache) {
    const QString folder = cache + QStringLiteral("/photos");
    QDir().mkpath(folder);
    QStringList paths;
    for (int i = 0; i < 1000; ++i) {
        paths << folder + QStringLiteral("/p%1.%2")
                              .arg(i, 4, 10, QChar(u'0'))
                              .arg(i < 900 ? "jpg" : "heic");
    }
    if (std::all_of(paths.begin(), paths.end(),
                    [](const QString& p) { return QFileInfo(p).size() > 0; }))
        return paths;
    QImage img(1024, 768, QImage::Format_RGB32);
    QRandomGenerator random(20260712);
    for (int y = 0; y < img.height(); ++y) {
        auto* line = reinterpret_cast<quint32*>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x)
            line[x] = (random.generate() & 0x1F1F1F) | 0xFF606060u;
    }
    const QByteArray jpeg = jpegOf(img);
    const QByteArray camera = jpeg.left(2) + cameraExif(jpegOf(img.scaled(160, 120))) + jpeg.mid(2);
    const QString source = folder + QStringLiteral("/camera.jpg");
    const QString heic = folder + QStringLiteral("/phone.heic");
    QFile out(source);
    if (!out.open(QIODevice::WriteOnly) || out.write(camera) != camera.size())
        return {};
    out.close();
    const bool heifEnc =
        QProcess::execute(QStringLiteral("heif-enc"), {source, QStringLiteral("-o"), heic}) == 0;
    QStringList made;
    for (int i = 0; i < 1000; ++i) {
        const bool phone = i >= 900;
        if (phone && !heifEnc)
            continue;
        QFile::remove(paths[i]);
        if (!QFile::copy(phone ? heic : source, paths[i]))
            return {};
        made << paths[i];
    }
    return made;
}

// The best of a few runs over all the photos, in milliseconds; how many tell their date.
double bestOfAll(const QStringList& paths, int* dated) {
    double fastest = 1e9;
    for (int run = 0; run < 7; ++run) {
        *dated = 0;
        QElapsedTimer timer;
        timer.start();
        for (const QString& p : paths)
            *dated += readPicture(p).taken.isValid();
        fastest = std::min(fastest, timer.nsecsElapsed() / 1e6);
    }
    return fastest;
}

// The best of many runs, in milliseconds.
double best(const QString& path) {
    double fastest = 1e9;
    for (int i = 0; i < 50; ++i) {
        QElapsedTimer timer;
        timer.start();
        readPicture(path);
        fastest = std::min(fastest, timer.nsecsElapsed() / 1e6);
    }
    return fastest;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const qsizetype at = args.indexOf(QStringLiteral("--cache"));
    const QString cache =
        at >= 0 && at + 1 < args.size()
            ? args[at + 1]
            : QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
                  QStringLiteral("/slidemill-bench");
    QDir().mkpath(cache);
    for (const QString& path : {makeJpeg(cache), makeHeic(cache)}) {
        if (path.isEmpty())
            continue;
        std::printf("%-12s %6.1f MB  %8.3f ms\n", qPrintable(QFileInfo(path).fileName()),
                    QFileInfo(path).size() / 1e6, best(path));
    }
    const QStringList photos = makePhotos(cache);
    if (!photos.isEmpty()) {
        qint64 bytes = 0;
        for (const QString& p : photos)
            bytes += QFileInfo(p).size();
        int dated = 0;
        const double ms = bestOfAll(photos, &dated);
        std::printf("%lld photos  %6.1f MB  %8.3f ms  (%d dated)\n", qlonglong(photos.size()),
                    bytes / 1e6, ms, dated);
    }
    return 0;
}
