// The window while it builds: the longest it goes without painting during a build of 300 photos
// through the real host, each photo taking 5 ms on top of being measured, while a tick every
// 10 ms asks it to repaint.
//
//   bench_window_build [ROUNDS]

#include "host/pptxhost.h"
#include "support/fixtures.h"
#include "support/formdriver.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>

using namespace slidemill;

namespace {

struct NoDesktop : DesktopOpener {
    bool open(const QString&) override { return true; }
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    constexpr int kPhotos = 300;
    QTemporaryDir folder;
    QTemporaryDir documents;
    const QString first =
        test::makePicture(folder.path(), QStringLiteral("p000.png"), "png", 32, 24);
    for (int i = 1; i < kPhotos; ++i)
        QFile::copy(first, folder.filePath(QStringLiteral("p%1.png").arg(i, 3, 10, QChar('0'))));

    NoDesktop opener;
    test::FormDriver w;
    w.volumes.add(QStringLiteral("Fake"), folder.path());
    w.newHost = [&] {
        PptxHostOptions o;
        o.documentsFolder = documents.path();
        o.opener = &opener;
        return std::make_unique<PptxHost>(o);
    };
    if (!w.open())
        return 1;
    w.list("File1")->setCurrentRow(0);
    w.list("File1")->selectAll();
    w.click("cmdAdd");
    w.loader.delay = 5;

    QList<qint64> longest;
    for (int round = 0; round < rounds; ++round) {
        // The longest time between two paints is the longest the window's thread was kept
        // from them.
        QElapsedTimer clock;
        qint64 lastPaint = 0;
        qint64 gap = 0;
        test::EventWatch paints(w.form.get(), QEvent::Paint, [&] {
            gap = std::max(gap, clock.elapsed() - lastPaint);
            lastPaint = clock.elapsed();
        });
        QTimer tick;
        tick.setTimerType(Qt::PreciseTimer);
        QObject::connect(&tick, &QTimer::timeout, [&] { w.form->update(); });
        tick.start(10);
        clock.start();
        w.click("cmdOneOne");
        if (!w.waitForBuild(600000))
            return 1;
        const qint64 took = clock.elapsed();
        gap = std::max(gap, took - lastPaint);
        std::printf("%d photos in %lld ms; the longest the window went without painting: %lld ms\n",
                    kPhotos, took, gap);
        longest << gap;
    }
    std::sort(longest.begin(), longest.end());
    std::printf("longest without painting, %d rounds: median %lld ms, most %lld ms\n", rounds,
                longest[longest.size() / 2], longest.last());
    return 0;
}
