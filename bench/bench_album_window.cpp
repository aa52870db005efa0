// The album window on a phone's worth of photos: how soon its grid of 1,000 photos of 12
// megapixels shows the first screen with every picture in it when the desktop's shared
// thumbnails hold them, how long each frame takes while the grid is scrolled as thumbnails
// arrive, and the peak memory; how long a change of an option or of a photo's caption takes to
// show on 200 photos; how long a deck of 200 photos takes to reopen.
//
//   bench_album_window [SCALE] [--cache DIR] [--part 1|2|3]
//
// SCALE (1 unless given) scales the photos, rounds and changes: 0.1 makes a quick run. The photos
// are 4032 x 3024 JPEGs of 3.2 MB with a 320 x 240 EXIF thumbnail, four distinct ones copied so
// that each has a file of its own, made once into DIR/album12 (DIR: ~/.cache/slidemill-bench),
// with a shared thumbnail cache of their own in DIR/album-thumbnails.

#include "app/albumwindow.h"
#include "app/slidesketch.h"
#include "core/runtimeerror.h"
#include "host/albumreader.h"
#include "host/pptxhost.h"
#include "photolist/photolistmodel.h"
#include "photos.h"
#include "pictures/previewmaker.h"
#include "pictures/thumbnailcache.h"
#include "slides/builds.h"
#include "slides/picturemetrics.h"
#include "support/scriptedboxes.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QListView>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <sys/resource.h>
#include <thread>

using namespace slidemill;

namespace {

// Processor time of the calling thread, in milliseconds: what the window's thread spent itself,
// without the time the other threads and processes took its core.
double threadMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// Calls back after every paint event, with its time and its processor time.
class TimedApplication : public QApplication {
public:
    using QApplication::QApplication;
    std::function<void(QObject* receiver, double ms, double processorMs)> painted;

    bool notify(QObject* receiver, QEvent* event) override {
        if (!painted || event->type() != QEvent::Paint)
            return QApplication::notify(receiver, event);
        QElapsedTimer timer;
        timer.start();
        const double before = threadMs();
        const bool done = QApplication::notify(receiver, event);
        if (painted)
            painted(receiver, double(timer.nsecsElapsed()) / 1e6, threadMs() - before);
        return done;
    }
};

double msOf(const QElapsedTimer& timer) {
    return double(timer.nsecsElapsed()) / 1e6;
}

double percentile(QList<double> v, double p) {
    if (v.isEmpty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min<qsizetype>(v.size() - 1, qsizetype(p * double(v.size() - 1) + 0.5))];
}

QByteArray spread(const QList<double>& ms) {
    return QStringLiteral("median %1 ms, 99 % %2 ms, longest %3 ms (%4)")
        .arg(percentile(ms, 0.5), 0, 'f', 2)
        .arg(percentile(ms, 0.99), 0, 'f', 2)
        .arg(percentile(ms, 1.0), 0, 'f', 2)
        .arg(ms.size())
        .toUtf8();
}

// A line of /proc/self/status in MiB ("VmHWM", "VmRSS").
double statusMiB(const char* key) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(key) && line.size() > qsizetype(qstrlen(key)) &&
            line[qstrlen(key)] == ':')
            return line.mid(qsizetype(qstrlen(key)) + 1).trimmed().split(' ').value(0).toDouble() /
                   1024.0;
    return 0;
}

// The peak so far forgotten, so that making the photos does not count.
void resetPeak() {
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    if (!refs.open(QIODevice::WriteOnly) || refs.write("5") != 1)
        std::printf("  (the peak could not be reset: it includes making the photos)\n");
}

// Runs the events until `done`; false when `ms` passed first.
bool waitFor(const std::function<bool()>& done, int ms) {
    const QDeadlineTimer deadline(ms);
    // Wakes the loop to see the deadline when nothing else does.
    QTimer wake;
    wake.start(5);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

void runEvents(int ms) {
    waitFor([] { return false; }, ms);
}

// The photos, each a file of its own, made where they are missing.
QStringList makePhotos(const QString& folder, int count) {
    constexpr int kDistinct = 4;
    QDir().mkpath(folder);
    QList<QByteArray> distinct;
    QStringList paths;
    for (int i = 0; i < count; ++i) {
        const QString path = folder + QStringLiteral("/IMG_%1.jpg").arg(i, 4, 10, QChar('0'));
        paths << path;
        if (QFileInfo(path).size() > 0)
            continue;
        if (distinct.isEmpty())
            for (int k = 0; k < kDistinct; ++k)
                distinct << bench::phonePhoto(bench::photo(4032, 3024, 20240601 + k));
        // Renamed when whole, so that an interrupted run leaves no photo cut short.
        QFile file(path + QStringLiteral(".part"));
        if (!file.open(QIODevice::WriteOnly) || file.write(distinct[i % kDistinct]) < 0 ||
            !file.flush() || !file.rename(path)) {
            std::fprintf(stderr, "%s: cannot be written\n", qPrintable(path));
            return {};
        }
    }
    return paths;
}

// Every photo's thumbnail in the shared cache, as a file manager or an earlier run leaves them:
// made and written where missing, on both cores.
int fillCache(const QStringList& paths, const ThumbnailCache& cache) {
    std::atomic<int> without{0};
    std::atomic<qsizetype> next{0};
    const auto work = [&] {
        for (qsizetype i = next++; i < paths.size(); i = next++) {
            const std::optional<Preview> preview = makePreview(paths[i], {}, {}, &cache);
            if (!preview || preview->thumbnail.isEmpty())
                ++without;
        }
    };
    std::thread other(work);
    work();
    other.join();
    return without;
}

struct Bench {
    test::ScriptedMessageBoxes boxes;
    HeaderPictureLoader loader;
    QTemporaryDir files;
    const ThumbnailCache* cache = nullptr;

    AlbumServices services(PreviewSource& previews) {
        return AlbumServices{boxes,
                             loader,
                             previews,
                             [](const DeckRequest&) -> std::unique_ptr<SavingHost> { return {}; },
                             [](QWidget*, FileQuestion, const QString&) { return QStringList(); },
                             files.filePath(QStringLiteral("deck pictures")),
                             files.filePath(QStringLiteral("shows")),
                             nullptr};
    }
    std::unique_ptr<PreviewMaker> previews() {
        auto maker = std::make_unique<PreviewMaker>();
        maker->shareThumbnails(cache);
        return maker;
    }
};

QListView* gridOf(const AlbumWindow& window) {
    return window.findChild<QListView*>(QStringLiteral("photoGrid"));
}

// Whether every cell the grid shows had its picture when it was last painted: the cells draw
// what the preview maker has, which changes only on this thread, between events. `cells` gets
// how many it shows.
bool screenComplete(const QListView* grid, const PhotoListModel& photos,
                    const PreviewSource& previews, int* cells = nullptr) {
    const QRect shown = grid->viewport()->rect();
    int n = 0;
    for (int row = 0; row < photos.count(); ++row) {
        if (!grid->visualRect(grid->model()->index(row, 0)).intersects(shown))
            continue;
        ++n;
        const std::optional<Preview> preview = previews.find(photos.paths()[row]);
        if (!preview || preview->pending || preview->thumbnail.isEmpty())
            return false;
    }
    if (cells)
        *cells = n;
    return n > 0;
}

// 1. The grid of every photo, the window at `size` (empty: as it opens): from making the window to
// its grid's first screen painted with every picture in it, each round on a preview maker of its
// own, the first round in the process also loading what a window needs the first time; then the
// last window's grid scrolled to the end a page at a time and back by wheel steps, a step every
// 16 ms, the thumbnails of the cells scrolled to arriving meanwhile.
void grid(TimedApplication& app, Bench& bench, const QStringList& paths, int rounds, QSize size) {
    PhotoListModel photos;
    photos.append(paths);
    std::printf(
        "1. the grid of %lld photos, the window %s\n", qlonglong(paths.size()),
        size.isValid()
            ? qPrintable(QStringLiteral("%1 x %2 pixels").arg(size.width()).arg(size.height()))
            : "as it opens");
    QList<double> shown;
    std::unique_ptr<PreviewMaker> previews;
    std::unique_ptr<AlbumWindow> window;
    int cells = 0;
    for (int round = 0; round < rounds; ++round) {
        window.reset();
        photos.setPreviews(nullptr);
        previews = bench.previews();
        photos.setPreviews(previews.get());
        QElapsedTimer clock;
        const QWidget* viewport = nullptr;
        QListView* view = nullptr;
        double firstPaint = -1, complete = -1;
        app.painted = [&](QObject* receiver, double, double) {
            if (receiver != viewport || complete >= 0)
                return;
            if (firstPaint < 0)
                firstPaint = msOf(clock);
            if (screenComplete(view, photos, *previews, &cells))
                complete = msOf(clock);
        };
        clock.start();
        window = std::make_unique<AlbumWindow>(bench.services(*previews), &photos);
        if (size.isValid())
            window->resize(size);
        const double made = msOf(clock);
        view = gridOf(*window);
        viewport = view->viewport();
        window->show();
        if (!waitFor([&] { return complete >= 0; }, 30000))
            std::printf("  round %d: the first screen was never complete\n", round + 1);
        app.painted = nullptr;
        std::printf("  round %d: window made %.1f ms, grid first painted %.1f ms, its first "
                    "screen of %d pictures painted %.1f ms\n",
                    round + 1, made, firstPaint, cells, complete);
        if (round > 0)
            shown << complete;
    }
    QListView* view = gridOf(*window);
    QWidget* viewport = view->viewport();
    std::printf("  first screen of %d pictures painted, rounds after the first: %s; grid %d x %d "
                "pixels, window %d x %d\n",
                cells, spread(shown).constData(), viewport->width(), viewport->height(),
                window->width(), window->height());

    QScrollBar* bar = view->verticalScrollBar();
    QList<double> steps, stepsProcessor, paints;
    int arrived = 0;
    QObject::connect(previews.get(), &PreviewSource::made, window.get(), [&] { ++arrived; });
    QList<double> paintsProcessor;
    app.painted = [&](QObject* receiver, double ms, double processor) {
        if (receiver == viewport) {
            paints << ms;
            paintsProcessor << processor;
        }
    };
    // Of the frames over 16 ms, how often the window's thread was taken off its core (by the
    // pool's threads or other processes) and how often it waited itself (a lock, the disk).
    int late = 0;
    long preempted = 0, waited = 0, allPreempted = 0, allWaited = 0;
    const auto frame = [&](const std::function<void()>& step) {
        rusage start{}, end{};
        getrusage(RUSAGE_THREAD, &start);
        QElapsedTimer timer;
        timer.start();
        const double before = threadMs();
        step();
        viewport->repaint();
        const double ms = msOf(timer);
        steps << ms;
        stepsProcessor << threadMs() - before;
        getrusage(RUSAGE_THREAD, &end);
        allWaited += end.ru_nvcsw - start.ru_nvcsw;
        allPreempted += end.ru_nivcsw - start.ru_nivcsw;
        if (ms > 16) {
            ++late;
            preempted += end.ru_nivcsw - start.ru_nivcsw;
            waited += end.ru_nvcsw - start.ru_nvcsw;
        }
        runEvents(16);
    };
    QElapsedTimer clock;
    clock.start();
    int pages = 0, wheels = 0;
    while (bar->value() < bar->maximum() && pages < 10000) {
        frame([&] { bar->triggerAction(QAbstractSlider::SliderPageStepAdd); });
        ++pages;
    }
    const QList<double> pageSteps = steps;
    const QList<double> pageProcessor = stepsProcessor;
    steps.clear();
    stepsProcessor.clear();
    const QPointF at = QRectF(viewport->rect()).center();
    while (bar->value() > 0 && wheels < 20000) {
        frame([&] {
            QWheelEvent wheel(at, viewport->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton,
                              Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(viewport, &wheel);
        });
        ++wheels;
    }
    app.painted = nullptr;
    std::printf("  scrolled down %d pages and up %d wheel steps in %.1f s, %d thumbnails "
                "arriving meanwhile\n",
                pages, wheels, clock.elapsed() / 1e3, arrived);
    std::printf("  a page down and the grid repainted: %s\n", spread(pageSteps).constData());
    std::printf("    processor time of the window's thread: %s\n",
                spread(pageProcessor).constData());
    std::printf("  a wheel step up and the grid repainted: %s\n", spread(steps).constData());
    std::printf("    processor time of the window's thread: %s\n",
                spread(stepsProcessor).constData());
    std::printf("  %d steps over 16 ms; in them the window's thread was taken off its core %ld "
                "times and waited %ld times\n",
                late, preempted, waited);
    std::printf("  (in all %lld steps: %ld and %ld)\n", qlonglong(pageSteps.size() + steps.size()),
                allPreempted, allWaited);
    std::printf("  every paint of the grid, thumbnails arriving included: %s\n",
                spread(paints).constData());
    std::printf("    processor time of the window's thread: %s\n",
                spread(paintsProcessor).constData());
    window.reset();
    photos.setPreviews(nullptr);
    previews.reset();
    std::printf("  peak memory (VmHWM): %.1f MiB\n", statusMiB("VmHWM"));
}

// 2. Each change of a control to the slides drawn anew: from the change to redrawn() and both
// the slide's preview and the strip painted after it.
void changes(TimedApplication& app, Bench& bench, const QStringList& paths, int count) {
    std::printf("2. changes on %lld photos\n", qlonglong(paths.size()));
    PhotoListModel photos;
    photos.append(paths);
    const std::unique_ptr<PreviewMaker> previews = bench.previews();
    photos.setPreviews(previews.get());
    {
        AlbumWindow window(bench.services(*previews), &photos);
        window.show();
        const QListView* view = gridOf(window);
        waitFor([&] { return screenComplete(view, photos, *previews); }, 30000);
        window.setCurrentPhoto(0);
        runEvents(500);

        auto* layout = window.findChild<QComboBox*>(QStringLiteral("layout"));
        auto* caption = window.findChild<QComboBox*>(QStringLiteral("caption"));
        auto* background = window.findChild<QComboBox*>(QStringLiteral("background"));
        auto* size = window.findChild<QComboBox*>(QStringLiteral("slideSize"));
        auto* grey = window.findChild<QCheckBox*>(QStringLiteral("grey"));
        auto* title = window.findChild<QLineEdit*>(QStringLiteral("title"));
        auto* own = window.findChild<QLineEdit*>(QStringLiteral("photoCaption"));
        const QWidget* preview = window.findChild<SlideSketchView*>(QStringLiteral("slidePreview"));
        const QWidget* strip =
            window.findChild<QListView*>(QStringLiteral("slideStrip"))->viewport();
        if (!layout || !caption || !background || !size || !grey || !title || !own || !preview) {
            std::printf("  a control is missing\n");
            return;
        }
        const QString typed = QStringLiteral("Knossos, noon");
        struct Change {
            const char* name;
            std::function<void(int)> make;
        };
        const Change kinds[] = {
            {"layout",
             [&](int i) {
                 layout->setCurrentIndex((i % 3 == 0 ? 2 : i % 3 == 1 ? 1 : 4) % layout->count());
             }},
            {"caption", [&](int i) { caption->setCurrentIndex((i + 1) % 3); }},
            {"background", [&](int i) { background->setCurrentIndex((i + 1) % 2); }},
            {"slide size", [&](int i) { size->setCurrentIndex((i + 1) % 2); }},
            {"greys", [&](int i) { grey->setChecked((i + 1) % 2); }},
            {"title", [&](int i) { title->setText(i % 2 ? QString() : QStringLiteral("Crete")); }},
            // A key at a time: the photo's caption typed, then taken back.
            {"photo's caption",
             [&](int i) {
                 const int at = i % (2 * int(typed.size()));
                 if (at < typed.size())
                     QTest::keyClick(own, typed[at].toLatin1());
                 else
                     QTest::keyClick(own, Qt::Key_Backspace);
             }},
        };
        bool redrawn = false, previewPainted = false, stripPainted = false;
        double painted = -1, processor = 0, startProcessor = 0;
        QElapsedTimer clock;
        QObject::connect(&window, &AlbumWindow::redrawn, &window, [&] { redrawn = true; });
        app.painted = [&](QObject* receiver, double, double) {
            if (!redrawn)
                return;
            previewPainted = previewPainted || receiver == preview;
            stripPainted = stripPainted || receiver == strip;
            if (previewPainted && stripPainted && painted < 0) {
                painted = msOf(clock);
                processor = threadMs() - startProcessor;
            }
        };
        QList<double> all, allProcessor;
        QHash<QString, QList<double>> byKind;
        int missed = 0;
        struct Slow {
            double ms;
            int at;
            const char* name;
        };
        std::vector<Slow> slowest;
        for (int i = 0; i < count; ++i) {
            const Change& change = kinds[i % std::size(kinds)];
            runEvents(5);
            redrawn = previewPainted = stripPainted = false;
            painted = -1;
            clock.start();
            startProcessor = threadMs();
            change.make(i / int(std::size(kinds)));
            if (!waitFor([&] { return painted >= 0; }, 5000)) {
                ++missed;
                continue;
            }
            all << painted;
            allProcessor << processor;
            byKind[QLatin1String(change.name)] << painted;
            slowest.push_back({painted, i, change.name});
        }
        app.painted = nullptr;
        std::printf("  a change to redrawn() and the preview and strip painted, %d slides at the "
                    "end, preview %d x %d: %s\n",
                    int(window.deck().slides.size()), preview->width(), preview->height(),
                    spread(all).constData());
        std::printf("    processor time of the window's thread: %s\n",
                    spread(allProcessor).constData());
        for (const Change& change : kinds)
            std::printf("    %-16s %s\n", change.name,
                        spread(byKind.value(QLatin1String(change.name))).constData());
        std::sort(slowest.begin(), slowest.end(),
                  [](const Slow& a, const Slow& b) { return a.ms > b.ms; });
        std::printf("  the slowest:");
        for (std::size_t k = 0; k < std::min<std::size_t>(5, slowest.size()); ++k)
            std::printf(" %.1f ms (change %d, %s)", slowest[k].ms, slowest[k].at + 1,
                        slowest[k].name);
        std::printf("\n");
        if (missed)
            std::printf("  %d changes were never painted\n", missed);
    }
    photos.setPreviews(nullptr);
    std::printf("  peak memory (VmHWM): %.1f MiB\n", statusMiB("VmHWM"));
}

// 3. A deck of the photos built at 96 ppi, then reopened in a new window each round: from
// openDeck() to the grid painted with the photos and the last redrawn(), then to its first screen
// painted with every picture.
void reopen(TimedApplication& app, Bench& bench, const QStringList& paths, int rounds) {
    std::printf("3. reopening a deck of %lld photos\n", qlonglong(paths.size()));
    QTemporaryDir dir;
    const QString deck = dir.filePath(QStringLiteral("album.pptx"));
    BuildOptions options;
    options.caption = Caption::Description;
    for (int i = 0; i < paths.size(); ++i)
        options.photos.push_back(PhotoSettings{
            i % 10 == 0 ? QStringLiteral("Photo %1").arg(i + 1) : QString(), i % 25 == 0 ? 1 : 0});
    PptxHostOptions host;
    host.outputPath = deck;
    host.pixelsPerInch = 96;
    QElapsedTimer built;
    built.start();
    try {
        PptxHost pptx(host);
        buildSlides(paths, options, bench.loader, pptx);
    } catch (const RuntimeError& e) {
        std::printf("  the deck was not built: %s\n", qPrintable(e.report()));
        return;
    }
    std::printf("  deck built at 96 ppi in %.1f s, %.1f MB\n", built.elapsed() / 1e3,
                QFileInfo(deck).size() / 1e6);

    QList<double> read, returned, shown, complete;
    for (int round = 0; round < rounds; ++round) {
        // The deck's recipe alone, every photo's file hashed to see it unchanged.
        QElapsedTimer reading;
        reading.start();
        try {
            openAlbumDeck(deck, bench.files.filePath(QStringLiteral("deck pictures")));
        } catch (const RuntimeError& e) {
            std::printf("  the deck was not read: %s\n", qPrintable(e.report()));
            return;
        }
        read << msOf(reading);
        PhotoListModel photos;
        const std::unique_ptr<PreviewMaker> previews = bench.previews();
        photos.setPreviews(previews.get());
        {
            AlbumWindow window(bench.services(*previews), &photos);
            window.show();
            const QListView* view = gridOf(window);
            bool painted = false;
            app.painted = [&](QObject* receiver, double, double) {
                painted = painted || receiver == view->viewport();
            };
            waitFor([&] { return painted; }, 10000);
            runEvents(200);

            QElapsedTimer clock;
            int redraws = 0;
            double lastRedraw = -1, gridPainted = -1, screen = -1;
            QObject::connect(&window, &AlbumWindow::redrawn, &window, [&] {
                ++redraws;
                lastRedraw = msOf(clock);
            });
            app.painted = [&](QObject* receiver, double, double) {
                if (receiver != view->viewport() || photos.count() == 0 || screen >= 0)
                    return;
                if (gridPainted < 0)
                    gridPainted = msOf(clock);
                if (screenComplete(view, photos, *previews))
                    screen = msOf(clock);
            };
            clock.start();
            const bool opened = window.openDeck(deck);
            const double back = msOf(clock);
            if (!opened) {
                std::printf("  not opened: %s\n",
                            qPrintable(bench.boxes.shown.value(0).text.left(300)));
                app.painted = nullptr;
                return;
            }
            waitFor([&] { return screen >= 0; }, 30000);
            // A redraw still queued counts too.
            runEvents(200);
            app.painted = nullptr;
            const double filled = std::max(gridPainted, lastRedraw);
            std::printf("  round %d: openDeck() returned %.1f ms, grid painted %.1f ms, %d "
                        "redrawn() the last %.1f ms, first screen of pictures %.1f ms\n",
                        round + 1, back, gridPainted, redraws, lastRedraw, screen);
            returned << back;
            shown << filled;
            complete << screen;
        }
        photos.setPreviews(nullptr);
    }
    std::printf("  openAlbumDeck() alone: %s\n", spread(read).constData());
    std::printf("  openDeck() returned: %s\n", spread(returned).constData());
    std::printf("  to the grid painted and the last redrawn(): %s\n", spread(shown).constData());
    std::printf("  to the first screen of pictures: %s\n", spread(complete).constData());
    std::printf("  peak memory (VmHWM): %.1f MiB\n", statusMiB("VmHWM"));
}

} // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    TimedApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    QString cacheDir = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
                       QStringLiteral("/slidemill-bench");
    if (const qsizetype at = args.indexOf(QStringLiteral("--cache")); at >= 0) {
        cacheDir = args.value(at + 1);
        args.remove(at, std::min<qsizetype>(2, args.size() - at));
    }
    int part = 0;
    if (const qsizetype at = args.indexOf(QStringLiteral("--part")); at >= 0) {
        part = args.value(at + 1).toInt();
        args.remove(at, std::min<qsizetype>(2, args.size() - at));
    }
    const double scale = args.isEmpty() ? 1.0 : args.first().toDouble();
    if (!(scale > 0) || cacheDir.isEmpty()) {
        std::fprintf(stderr, "usage: bench_album_window [SCALE] [--cache DIR] [--part 1|2|3]\n");
        return 2;
    }
    const auto scaled = [scale](int n, int least) {
        return std::max(least, int(std::lround(n * scale)));
    };
    const int gridPhotos = scaled(1000, 20);
    const int fewPhotos = std::min(gridPhotos, scaled(200, 10));

    QElapsedTimer clock;
    clock.start();
    const QStringList paths = makePhotos(cacheDir + QStringLiteral("/album12"), gridPhotos);
    if (paths.isEmpty())
        return 1;
    std::printf("%d photos of 4032 x 3024 in %s, ready in %.1f s\n", gridPhotos,
                qPrintable(cacheDir + QStringLiteral("/album12")), clock.elapsed() / 1e3);
    const ThumbnailCache cache(cacheDir + QStringLiteral("/album-thumbnails"));
    clock.restart();
    const int without = fillCache(paths, cache);
    std::printf("shared thumbnail cache filled in %.1f s, %d photos without one\n",
                clock.elapsed() / 1e3, without);
    std::printf("peak memory making them: %.1f MiB\n", statusMiB("VmHWM"));
    resetPeak();
    std::printf("resident as the windows start: %.1f MiB\n", statusMiB("VmRSS"));

    Bench bench;
    bench.cache = &cache;
    if (part == 0 || part == 1) {
        grid(app, bench, paths, scaled(3, 2), QSize());
        // Maximised on a screen of full HD.
        grid(app, bench, paths, scaled(3, 2), QSize(1920, 1080));
    }
    if (part == 0 || part == 2)
        changes(app, bench, paths.mid(0, fewPhotos), scaled(301, 21));
    if (part == 0 || part == 3)
        reopen(app, bench, paths.mid(0, fewPhotos), scaled(5, 2));
    return 0;
}
