// What keeping the album's recipe costs a build: every photo's file hashed (SHA-256) as the
// package writer stores it, or read once more where a smaller copy is made instead; and what
// reading the recipe back costs, every photo's file hashed again. Warm file cache.
//
//   bench_recipe PHOTOS [COUNT] [ROUNDS] [PPI]
//
// PHOTOS holds camera JPEGs as bench/make_photos.py makes them. Each round builds the first
// COUNT (default 200) one a slide at PPI (default 0: stored as they are; 220 makes a copy of
// each) with the recipe and without it, in alternating order, into a deck in PHOTOS/..; prints
// the medians of wall and processor time and of the per-round ratios, then the time to read
// the recipe back.

#include "host/albumreader.h"
#include "host/pptxhost.h"
#include "slides/builds.h"
#include "slides/picturemetrics.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <algorithm>
#include <cstdio>
#include <sys/resource.h>
#include <vector>

using namespace slidemill;

namespace {

// The same host, told nothing of the recipe.
class NoRecipeHost : public PptxHost {
public:
    using PptxHost::PptxHost;
    void addAlbumRecipe(const BuildOptions&) override {}
};

double processorSeconds() {
    rusage u;
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct Run {
    double wall = 0, cpu = 0;
};

Run build(const QStringList& photos, const QString& out, int ppi, bool recipe) {
    QFile::remove(out);
    PptxHostOptions options;
    options.outputPath = out;
    options.pixelsPerInch = ppi;
    HeaderPictureLoader loader;
    std::unique_ptr<PptxHost> host =
        recipe ? std::make_unique<PptxHost>(options) : std::make_unique<NoRecipeHost>(options);
    const double cpu = processorSeconds();
    QElapsedTimer t;
    t.start();
    buildSlides(photos, BuildOptions(), loader, *host);
    return {double(t.nsecsElapsed()) / 1e9, processorSeconds() - cpu};
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty()      ? 0
           : v.size() % 2 ? v[v.size() / 2]
                          : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: bench_recipe PHOTOS [COUNT] [ROUNDS] [PPI]\n");
        return 2;
    }
    const QDir dir(args[1]);
    const int count = args.value(2, QStringLiteral("200")).toInt();
    const int rounds = args.value(3, QStringLiteral("5")).toInt();
    const int ppi = args.value(4, QStringLiteral("0")).toInt();
    QStringList photos;
    for (const QString& name : dir.entryList({QStringLiteral("*.jpg")}, QDir::Files, QDir::Name))
        if (photos.size() < count)
            photos << dir.filePath(name);
    qint64 bytes = 0;
    for (const QString& p : photos)
        bytes += QFileInfo(p).size();
    const QString out = dir.absoluteFilePath(QStringLiteral("../bench-recipe.pptx"));
    std::printf("%lld photos, %.1f MB, ppi %d, %d rounds\n", qlonglong(photos.size()),
                double(bytes) / 1e6, ppi, rounds);

    build(photos, out, ppi, true); // the file cache warmed
    std::vector<double> wallWith, wallWithout, cpuWith, cpuWithout, wallRatio, cpuRatio;
    for (int r = 0; r < rounds; ++r) {
        Run with, without;
        if (r % 2) {
            without = build(photos, out, ppi, false);
            with = build(photos, out, ppi, true);
        } else {
            with = build(photos, out, ppi, true);
            without = build(photos, out, ppi, false);
        }
        wallWith.push_back(with.wall);
        wallWithout.push_back(without.wall);
        cpuWith.push_back(with.cpu);
        cpuWithout.push_back(without.cpu);
        wallRatio.push_back(with.wall / without.wall);
        cpuRatio.push_back(with.cpu / without.cpu);
        std::printf("round %d: with %.2f s (%.2f s cpu), without %.2f s (%.2f s cpu)\n", r + 1,
                    with.wall, with.cpu, without.wall, without.cpu);
    }
    std::printf("median wall: with %.2f s, without %.2f s, paired ratio %.3f\n", median(wallWith),
                median(wallWithout), median(wallRatio));
    std::printf("median processor: with %.2f s, without %.2f s, paired ratio %.3f\n",
                median(cpuWith), median(cpuWithout), median(cpuRatio));

    build(photos, out, ppi, true);
    std::vector<double> reads;
    for (int r = 0; r < rounds; ++r) {
        QElapsedTimer t;
        t.start();
        const std::optional<AlbumRecipe> recipe = readAlbumRecipe(out);
        reads.push_back(double(t.nsecsElapsed()) / 1e9);
        if (!recipe || int(recipe->photos.size()) != photos.size())
            return 1;
    }
    std::printf("reading the recipe back, every photo hashed: median %.2f s (%.0f MB/s)\n",
                median(reads), double(bytes) / 1e6 / median(reads));
    QFile::remove(out);
    return 0;
}
