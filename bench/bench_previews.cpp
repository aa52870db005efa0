// Previews: how long the thumbnail of a 12-megapixel photo takes, made and taken from the
// desktop's shared thumbnail cache, and how long the window's repaints take while the pointer
// crosses every entry of a 300-photo list and the previews are made meanwhile.
//
//   bench_previews [--cache DIR] [--previews-only]
//
// The photos are made once into the cache folder, 4032 x 3024 as phones take them: JPEGs with an
// EXIF block holding a 160 x 120 thumbnail, as phones write it, or a 320 x 240 one, and (with
// ImageMagick and heif-enc) HEICs made as bench_heic.sh makes them, with a 320-pixel thumbnail
// item (heif-enc -t 320) and without one.

#include "app/previewtips.h"
#include "photolist/photolistmodel.h"
#include "photolist/photolistview.h"
#include "photos.h"
#include "pictures/previewmaker.h"
#include "pictures/thumbnailcache.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QToolTip>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <unistd.h>

using namespace slidemill;
using namespace slidemill::bench;

namespace {

// Times every paint of a widget, every repaint of a window (its widgets painted and the result
// handed to the screen), by the widget's class, and every tool tip shown (its text laid out and
// its picture decoded).
class TimedApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool timing = false;
    QHash<QString, QList<double>> paints;
    QList<double> repaints;
    QList<double> tips;

    bool notify(QObject* receiver, QEvent* event) override {
        const QEvent::Type type = event->type();
        if (!timing ||
            (type != QEvent::Paint && type != QEvent::UpdateRequest && type != QEvent::ToolTip))
            return QApplication::notify(receiver, event);
        QElapsedTimer timer;
        timer.start();
        const bool done = QApplication::notify(receiver, event);
        const double ms = timer.nsecsElapsed() / 1e6;
        if (type == QEvent::UpdateRequest)
            repaints << ms;
        else if (type == QEvent::ToolTip)
            tips << ms;
        else
            paints[QString::fromLatin1(receiver->metaObject()->className())] << ms;
        return done;
    }
};

struct Sample {
    QString name;
    QString path;
};

QList<Sample> makePhotos(const QString& cache) {
    QList<Sample> made;
    const QString heicSource = cache + QStringLiteral("/preview-12mp-source.jpg");
    QImage image;
    auto source = [&] {
        if (image.isNull())
            image = photo(4032, 3024);
        return image;
    };
    for (const int side : {160, 320}) {
        const QString path = cache + QStringLiteral("/preview-12mp-exif%1.jpg").arg(side);
        if (QFileInfo(path).size() == 0) {
            QFile file(path);
            if (!file.open(QIODevice::WriteOnly) ||
                file.write(withExifThumbnail(
                    jpeg(source(), 92),
                    jpeg(source().scaled(side, side * 3 / 4, Qt::IgnoreAspectRatio,
                                         Qt::SmoothTransformation),
                         85))) < 0)
                continue;
        }
        made << Sample{QStringLiteral("JPEG, %1 x %2 EXIF thumbnail").arg(side).arg(side * 3 / 4),
                       path};
    }
    for (const bool thumbnail : {true, false}) {
        const QString path = cache + (thumbnail ? QStringLiteral("/preview-12mp-thumb320.heic")
                                                : QStringLiteral("/preview-12mp-nothumb.heic"));
        if (QFileInfo(path).size() == 0) {
            const QStringList blurredNoise{"-size", "4032x3024", "xc:",    "-seed",
                                           "1",     "+noise",    "Random", "-blur",
                                           "0x3",   "-quality",  "95",     heicSource};
            if (!QFileInfo::exists(heicSource) &&
                QProcess::execute(QStringLiteral("convert"), blurredNoise) != 0)
                continue;
            QStringList args{QStringLiteral("-q"), QStringLiteral("80"), heicSource,
                             QStringLiteral("-o"), path};
            if (thumbnail)
                args << QStringLiteral("-t") << QStringLiteral("320");
            if (QProcess::execute(QStringLiteral("heif-enc"), args) != 0)
                continue;
        }
        made << Sample{thumbnail ? QStringLiteral("HEIC, 320-pixel thumbnail item")
                                 : QStringLiteral("HEIC, no thumbnail item"),
                       path};
    }
    return made;
}

double median(QList<double> values) {
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values[values.size() / 2];
}

// Processor time of the whole process, in milliseconds: the HEIF family decodes on a thread of
// its own.
double processorMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

double percentile(QList<double> values, double p) {
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values[qsizetype(p * double(values.size() - 1))];
}

void thumbnails(const QList<Sample>& photos) {
    std::printf("%-32s %6s %10s %9s %9s %14s\n", "12-MP photo", "MB", "median", "min", "max",
                "processor");
    for (const Sample& sample : photos) {
        makePreview(sample.path); // libvips started, the file in the cache
        QList<double> ms, processor;
        for (int i = 0; i < 15; ++i) {
            QElapsedTimer timer;
            timer.start();
            const double before = processorMs();
            const std::optional<Preview> preview = makePreview(sample.path);
            ms << timer.nsecsElapsed() / 1e6;
            processor << processorMs() - before;
            if (!preview || !preview->problem.isEmpty())
                std::printf("%s: %s\n", qPrintable(sample.name),
                            preview ? qPrintable(preview->problem) : "cancelled");
        }
        std::printf("%-32s %6.1f %7.1f ms %6.1f ms %6.1f ms %9.1f ms\n", qPrintable(sample.name),
                    QFileInfo(sample.path).size() / 1e6, median(ms),
                    *std::min_element(ms.begin(), ms.end()),
                    *std::max_element(ms.begin(), ms.end()), median(processor));
    }
}

// The same photos with a shared thumbnail cache of their own: the first preview is made and
// written there (a PNG of 256 pixels); after that it is taken from there, read by makePreview
// itself and, as the window gets it, from PreviewMaker::want until made is signalled (the
// work handed to a thread and the answer back to the window's), a new maker each time so that
// its own memory does not answer.
void sharedThumbnails(const QList<Sample>& photos) {
    std::printf("%-32s %12s %12s %12s %12s %12s\n", "shared cache", "made+written", "hit median",
                "hit max", "want->made", "max");
    for (const Sample& sample : photos) {
        QTemporaryDir root;
        const ThumbnailCache cache(root.path());
        QElapsedTimer timer;
        timer.start();
        const std::optional<Preview> first = makePreview(sample.path, {}, {}, &cache);
        const double made = timer.nsecsElapsed() / 1e6;
        if (!first || first->thumbnail.isEmpty()) {
            std::printf("%s: no preview\n", qPrintable(sample.name));
            continue;
        }
        QList<double> hits, shown;
        for (int i = 0; i < 25; ++i) {
            timer.restart();
            const std::optional<Preview> hit = makePreview(sample.path, {}, {}, &cache);
            hits << timer.nsecsElapsed() / 1e6;
            if (!hit || hit->thumbnail.isEmpty() || hit->thumbnailSize != first->thumbnailSize)
                std::printf("%s: not taken from the cache\n", qPrintable(sample.name));
        }
        for (int i = 0; i < 25; ++i) {
            PreviewMaker previews;
            previews.shareThumbnails(&cache);
            QSignalSpy madeSignal(&previews, &PreviewSource::made);
            timer.restart();
            previews.want(&previews, sample.path);
            if (!madeSignal.wait(5000))
                break;
            shown << timer.nsecsElapsed() / 1e6;
        }
        std::printf("%-32s %9.1f ms %9.2f ms %9.2f ms %9.2f ms %9.2f ms\n", qPrintable(sample.name),
                    made, median(hits), *std::max_element(hits.begin(), hits.end()), median(shown),
                    shown.isEmpty() ? 0.0 : *std::max_element(shown.begin(), shown.end()));
    }
}

// The pointer rests on the first entry until its tip shows, then crosses one entry every
// `stepMs`, the list scrolling under it, while the previews are made on their threads. Qt shows
// a tip when the pointer has stopped for a moment; `tipEachEntry` shows one on every entry it
// crosses besides, the most work the window can be given.
void hover(TimedApplication& app, const QString& cache, const QString& jpeg, int stepMs,
           bool tipEachEntry) {
    constexpr int kEntries = 300;
    QStringList paths;
    for (int i = 0; i < kEntries; ++i) {
        const QString path = cache + QStringLiteral("/hover/IMG_%1.jpg").arg(i, 4, 10, QChar('0'));
        QDir().mkpath(QFileInfo(path).path());
        if (!QFileInfo::exists(path))
            ::link(QFile::encodeName(jpeg).constData(), QFile::encodeName(path).constData());
        paths << path;
    }
    PreviewMaker previews;
    PhotoListModel photos;
    photos.setPreviews(&previews);
    photos.append(paths);
    PhotoListView list(&photos);
    // List1 at 96 dpi.
    list.resize(169, 251);
    new PreviewTips(&list, previews);
    list.show();
    // Qt shows tool tips in the active window only.
    list.activateWindow();
    if (!QTest::qWaitForWindowExposed(&list) || !QTest::qWaitForWindowActive(&list))
        return;
    int made = 0;
    QObject::connect(&previews, &PreviewSource::made, &list, [&made] { ++made; });

    app.paints.clear();
    app.repaints.clear();
    app.tips.clear();
    app.timing = true;
    int tips = 0;
    QElapsedTimer total;
    total.start();
    for (int row = 0; row < kEntries; ++row) {
        const QModelIndex index = photos.index(row);
        list.scrollTo(index);
        const QPoint at = list.visualRect(index).center();
        QTest::mouseMove(list.viewport(), at);
        if (tipEachEntry) {
            QHelpEvent help(QEvent::ToolTip, at, list.viewport()->mapToGlobal(at));
            QApplication::sendEvent(list.viewport(), &help);
        }
        QTest::qWait(row == 0 ? 1000 : stepMs);
        tips += QToolTip::isVisible() &&
                QToolTip::text().contains(QStringLiteral("%1 of 300").arg(row + 1));
    }
    app.timing = false;
    std::printf("pointer over %d entries, one every %d ms (%.1f s)%s: %d previews made, the "
                "entry's own tip showing as it left %d of them\n",
                kEntries, stepMs, total.elapsed() / 1e3, tipEachEntry ? ", a tip on each" : "",
                made, tips);
    std::printf("  %-22s %6s %8s %8s %8s\n", "", "count", "median", "99%", "max");
    auto line = [](const char* what, const QList<double>& ms) {
        std::printf("  %-22s %6lld %5.2f ms %5.2f ms %5.2f ms\n", what, qlonglong(ms.size()),
                    median(ms), percentile(ms, 0.99),
                    ms.isEmpty() ? 0.0 : *std::max_element(ms.begin(), ms.end()));
    };
    std::printf("  kept: %.1f KiB a preview\n",
                made ? previews.cachedBytes() / 1024.0 / made : 0.0);
    line("window repaints", app.repaints);
    line("tool tips shown", app.tips);
    for (auto it = app.paints.cbegin(); it != app.paints.cend(); ++it)
        line(qPrintable(it.key() + QStringLiteral(" paints")), it.value());
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    TimedApplication app(argc, argv);
    const QStringList args = app.arguments();
    const qsizetype at = args.indexOf(QStringLiteral("--cache"));
    const QString cache =
        at >= 0 && at + 1 < args.size()
            ? args[at + 1]
            : QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
                  QStringLiteral("/slidemill-bench");
    QDir().mkpath(cache);
    const QList<Sample> photos = makePhotos(cache);
    if (photos.isEmpty())
        return 1;
    thumbnails(photos);
    sharedThumbnails(photos);
    if (args.contains(QStringLiteral("--previews-only")))
        return 0;
    for (const bool tipEachEntry : {false, true})
        hover(app, cache, photos[0].path, 40, tipEachEntry);
    return 0;
}
