// Writing a deck of a few hundred large photos: the .pptx host against copying the same
// bytes into a stored zip with libzip, the floor any writer stands on.
//
//   bench_host [--count N] [--cache DIR]
//
// The photos (noise JPEGs of 2 to 8 MB, which no encoder can shrink) are made once into the
// cache folder and reused. Each contender runs in a process of its own, so its peak
// resident memory is its own.

#include "host/pptxhost.h"
#include "slides/picturemetrics.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QStringList>
#include <algorithm>
#include <cstdio>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zip.h>

using namespace slidemill;

namespace {

QStringList makePhotos(const QString& cache, int count) {
    QDir().mkpath(cache);
    QStringList paths;
    QRandomGenerator random(20240501);
    for (int i = 0; i < count; ++i) {
        const QString path =
            QStringLiteral("%1/photo%2.jpg").arg(cache).arg(i, 4, 10, QLatin1Char('0'));
        paths << path;
        if (QFileInfo(path).size() > 0)
            continue;
        // 1.5 to 4.5 megapixels of noise at quality 95: about 2 to 8 MB each.
        const int w = 1500 + int(random.bounded(1000)), h = 1000 + int(random.bounded(800));
        QImage img(w, h, QImage::Format_RGB32);
        for (int y = 0; y < h; ++y) {
            auto* line = reinterpret_cast<quint32*>(img.scanLine(y));
            for (int x = 0; x < w; ++x)
                line[x] = random.generate() | 0xFF000000u;
        }
        const QString temp = path + QStringLiteral(".part");
        if (!img.save(temp, "JPEG", 95) || !QFile::rename(temp, path)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            std::exit(1);
        }
        if (i % 20 == 19)
            std::fprintf(stderr, "  %d of %d photos made\n", i + 1, count);
    }
    return paths;
}

void runHost(const QStringList& photos, const QString& out) {
    PptxHostOptions options;
    options.outputPath = out;
    PptxHost host(options);
    host.createApplication();
    host.setVisible(kMsoTrue);
    host.addPresentation(kMsoTrue);
    for (const QString& p : photos) {
        host.addSlide(host.slideCount() + 1, kLayoutBlank);
        host.addPicture(readPicture(p), kMsoFalse, kMsoTrue, 120, 60, 480, 360);
        host.setLineVisible(kMsoTrue);
        host.setLineWeight(kBorderWeight);
        host.releasePicture();
    }
    host.endBuild(PresentationHost::Outcome::Completed);
}

void runZip(const QStringList& photos, const QString& out) {
    int error = 0;
    zip_t* z = zip_open(QFile::encodeName(out).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!z)
        std::exit(1);
    int i = 0;
    for (const QString& p : photos) {
        zip_source_t* s = zip_source_file(z, QFile::encodeName(p).constData(), 0, -1);
        const QByteArray name = QStringLiteral("media/image%1.jpeg").arg(++i).toUtf8();
        const zip_int64_t index = s ? zip_file_add(z, name.constData(), s, 0) : -1;
        if (index < 0 || zip_set_file_compression(z, zip_uint64_t(index), ZIP_CM_STORE, 0) != 0)
            std::exit(1);
    }
    if (zip_close(z) != 0)
        std::exit(1);
}

struct Figures {
    double seconds = 0;
    long peakKiB = 0;
};

// Runs this program again as `mode` and reports its wall time and peak memory.
Figures measure(const char* self, const char* mode, const QString& cache, int count,
                const QString& out) {
    // Each run starts with no output file and no dirty pages left by the run before.
    QFile::remove(out);
    ::sync();
    QElapsedTimer timer;
    timer.start();
    const pid_t pid = fork();
    if (pid == 0) {
        const QByteArray c = QFile::encodeName(cache), n = QByteArray::number(count),
                         o = QFile::encodeName(out);
        execl(self, self, "--run", mode, "--cache", c.constData(), "--count", n.constData(),
              "--out", o.constData(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%s failed\n", mode);
        std::exit(1);
    }
    return {timer.nsecsElapsed() / 1e9, usage.ru_maxrss};
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    auto option = [&args](const char* name, const QString& fallback) {
        const qsizetype i = args.indexOf(QLatin1String(name));
        return i >= 0 && i + 1 < args.size() ? args[i + 1] : fallback;
    };
    const int count = option("--count", QStringLiteral("300")).toInt();
    const QString cache =
        option("--cache", QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
                              QStringLiteral("/slidemill-bench"));
    const QStringList photos = makePhotos(cache, count);

    const QString run = option("--run", {});
    if (!run.isEmpty()) {
        const QString out = option("--out", {});
        if (run == QLatin1String("host"))
            runHost(photos, out);
        else
            runZip(photos, out);
        return 0;
    }

    qint64 bytes = 0;
    for (const QString& p : photos)
        bytes += QFileInfo(p).size();
    const QString outDir = cache + QStringLiteral("/out");
    QDir().mkpath(outDir);
    const QString hostOut = outDir + QStringLiteral("/host.pptx");
    const QString zipOut = outDir + QStringLiteral("/stored.zip");
    // One untimed pass warms the page cache so both read the photos from memory; then the
    // better of three alternating runs of each.
    measure(argv[0], "zip", cache, count, zipOut);
    Figures zip{1e9, 0}, host{1e9, 0};
    for (int round = 0; round < 3; ++round) {
        const Figures z = measure(argv[0], "zip", cache, count, zipOut);
        const Figures h = measure(argv[0], "host", cache, count, hostOut);
        zip = {std::min(zip.seconds, z.seconds), std::max(zip.peakKiB, z.peakKiB)};
        host = {std::min(host.seconds, h.seconds), std::max(host.peakKiB, h.peakKiB)};
    }
    std::printf("%d photos, %.1f MB\n", count, bytes / 1e6);
    std::printf("%-28s %8s %10s %10s\n", "", "best wall s", "peak MiB", "out MB");
    std::printf("%-28s %8.2f %10.1f %10.1f\n", "pptx host (one photo/slide)", host.seconds,
                host.peakKiB / 1024.0, QFileInfo(hostOut).size() / 1e6);
    std::printf("%-28s %8.2f %10.1f %10.1f\n", "libzip stored copy", zip.seconds,
                zip.peakKiB / 1024.0, QFileInfo(zipOut).size() / 1e6);
    QFile::remove(hostOut);
    QFile::remove(zipOut);
    return 0;
}
