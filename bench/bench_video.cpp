// What writing a show as a video costs: a one-photo-a-slide 16:9 deck of 12-megapixel photos,
// five seconds a slide with a fade between, made at 1920 x 1080.
//
//   bench_video PHOTOS [COUNT] [OUT] [MUSIC]
//
// PHOTOS holds the JPEGs (made there as bench/photos.h makes them when missing; COUNT, default
// 40), with the music files MUSIC (comma-separated) when given. Prints the wall and processor time,
// how much faster than the show plays it is made, the frames encoded and the peak resident memory.

#include "host/videowriter.h"
#include "photos.h"
#include "slides/builds.h"
#include "slides/picturemetrics.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <cstdio>
#include <sys/resource.h>

using namespace slidemill;

namespace {

double processorSeconds() {
    rusage u;
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_video PHOTOS [COUNT] [OUT] [MUSIC]\n");
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    const int count = argc > 2 ? std::atoi(argv[2]) : 40;
    const QString out = argc > 3 ? QString::fromLocal8Bit(argv[3]) : dir.filePath("../show.mp4");
    QDir().mkpath(dir.path());
    QStringList photos;
    for (int i = 0; i < count; ++i) {
        const QString path = dir.filePath(QStringLiteral("photo%1.jpg").arg(i, 3, 10, QChar('0')));
        if (!QFile::exists(path)) {
            QFile f(path);
            if (!f.open(QIODevice::WriteOnly) ||
                !f.write(bench::jpeg(bench::photo(4000, 3000, quint32(1000 + i)), 92)))
                return 1;
        }
        photos << path;
    }
    BuildOptions options;
    options.wide = true;
    options.transition = Transition::Fade;
    if (argc > 4)
        options.music = QString::fromLocal8Bit(argv[4]).split(QLatin1Char(','));
    HeaderPictureLoader loader;
    DeckRecorder recorder;
    buildSlides(photos, options, loader, recorder);
    const RecordedDeck& deck = recorder.deck;

    int frames = 0;
    VideoOptions video;
    video.progress = [&frames](double) {
        ++frames;
        return true;
    };
    rusage before;
    getrusage(RUSAGE_SELF, &before);
    const double cpu = processorSeconds();
    QElapsedTimer t;
    t.start();
    writeVideo(deck, out, video);
    const double wall = double(t.elapsed()) / 1000;
    const double show = slideStarts(deck).back();
    rusage u;
    getrusage(RUSAGE_SELF, &u);
    std::printf("%d slides, %.0f s of show: %.1f s wall, %.1f s processor, %.1fx real time, "
                "%d frames, peak %.0f MiB (%.0f MiB before)\n",
                int(deck.slides.size()), show, wall, processorSeconds() - cpu, show / wall, frames,
                double(u.ru_maxrss) / 1024, double(before.ru_maxrss) / 1024);
    return 0;
}
