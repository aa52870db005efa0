// What a PDF of a deck costs against the .pptx of the same deck: time and size. Warm file cache.
//
//   bench_pdf PHOTOS [COUNT] [ROUNDS] [PPI] [grey]
//
// PHOTOS holds camera JPEGs as bench/make_photos.py makes them. Each round builds the first
// COUNT (default 50) two a slide with their names under them and a title slide at PPI (default
// 220), in greys with "grey", as a .pptx and as a PDF, in alternating order, into PHOTOS/..; prints
// the medians of wall time, the paired ratio, and both files' sizes.

#include "host/pdfwriter.h"
#include "host/pptxhost.h"
#include "slides/builds.h"
#include "slides/picturemetrics.h"
#include "slides/recordeddeck.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <algorithm>
#include <cstdio>
#include <vector>

using namespace slidemill;

namespace {

bool grey = false;

BuildOptions album() {
    BuildOptions options;
    options.grey = grey;
    options.layout = Layout::TwoPerSlide;
    options.caption = Caption::Name;
    options.title = QStringLiteral("A summer by the sea");
    return options;
}

double pptx(const QStringList& photos, const QString& out, int ppi) {
    QFile::remove(out);
    PptxHostOptions options;
    options.outputPath = out;
    options.pixelsPerInch = ppi;
    HeaderPictureLoader loader;
    PptxHost host(options);
    QElapsedTimer t;
    t.start();
    buildSlides(photos, album(), loader, host);
    return double(t.nsecsElapsed()) / 1e9;
}

double pdf(const QStringList& photos, const QString& out, int ppi) {
    QFile::remove(out);
    QElapsedTimer t;
    t.start();
    DeckRecorder recorder;
    HeaderPictureLoader loader;
    buildSlides(photos, album(), loader, recorder);
    PdfOptions options;
    options.pixelsPerInch = ppi;
    writePdf(recorder.deck, out, options);
    return double(t.nsecsElapsed()) / 1e9;
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
        std::fprintf(stderr, "usage: bench_pdf PHOTOS [COUNT] [ROUNDS] [PPI] [grey]\n");
        return 2;
    }
    const QDir dir(args[1]);
    const int count = args.value(2, QStringLiteral("50")).toInt();
    const int rounds = args.value(3, QStringLiteral("3")).toInt();
    const int ppi = args.value(4, QStringLiteral("220")).toInt();
    grey = args.value(5) == QLatin1String("grey");
    QStringList photos;
    for (const QString& name : dir.entryList({QStringLiteral("*.jpg")}, QDir::Files, QDir::Name))
        if (photos.size() < count)
            photos << dir.filePath(name);
    const QString pptxOut = dir.absoluteFilePath(QStringLiteral("../bench-pdf.pptx"));
    const QString pdfOut = dir.absoluteFilePath(QStringLiteral("../bench-pdf.pdf"));
    std::printf("%lld photos, ppi %d, %d rounds\n", qlonglong(photos.size()), ppi, rounds);

    pptx(photos, pptxOut, ppi); // the file cache warmed
    std::vector<double> pptxWall, pdfWall, ratio;
    for (int r = 0; r < rounds; ++r) {
        double a = 0, b = 0;
        if (r % 2) {
            b = pdf(photos, pdfOut, ppi);
            a = pptx(photos, pptxOut, ppi);
        } else {
            a = pptx(photos, pptxOut, ppi);
            b = pdf(photos, pdfOut, ppi);
        }
        pptxWall.push_back(a);
        pdfWall.push_back(b);
        ratio.push_back(b / a);
        std::printf("round %d: pptx %.2f s, pdf %.2f s\n", r + 1, a, b);
    }
    const double pptxSize = double(QFileInfo(pptxOut).size()),
                 pdfSize = double(QFileInfo(pdfOut).size());
    std::printf("median wall: pptx %.2f s, pdf %.2f s, paired ratio %.3f\n", median(pptxWall),
                median(pdfWall), median(ratio));
    std::printf("size: pptx %.2f MB, pdf %.2f MB, ratio %.3f\n", pptxSize / 1e6, pdfSize / 1e6,
                pdfSize / pptxSize);
    QFile::remove(pptxOut);
    QFile::remove(pdfOut);
    return 0;
}
