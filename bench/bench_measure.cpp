// Measuring pictures from their headers, and walking their data to see that it runs to its end
// (a picture cut short is refused): a camera JPEG and a phone HEIC, from a warm file cache.
//
//   bench_measure [--cache DIR]
//
// The pictures are made once into the cache folder: a 6000 x 4000 JPEG of noise (about 6 MB)
// and, when heif-enc is installed, a 4032 x 3024 HEIC.

#include "slides/picturemetrics.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
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
    return 0;
}
