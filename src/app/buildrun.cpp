// Thread contract: a BuildRun is made, started and destroyed on the GUI thread, and its signals
// come on it. A build's own thread runs buildSlides with its host, the loader and the progress,
// and touches nothing else: it ends and lets go of the host there, and what it leaves (the
// result, what it threw, the deck's path, the last picture measured) is read only once it has
// finished, by end(), queued to the GUI thread. The progress and Cancel cross as atomics. The
// loader is called on the build's thread, so it must take calls from a thread not its own; the
// message boxes and the host factory are called on the GUI thread.
#include "app/buildrun.h"

#include "app/albumoptionspanel.h"
#include "app/busycursor.h"
#include "core/faults.h"
#include "core/nativepath.h"
#include "core/runtimeerror.h"
#include "host/renderinghost.h"
#include "slides/builds.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QProgressDialog>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <exception>
#include <limits>
#include <optional>
#include <system_error>

namespace slidemill {

namespace {

// The folder a user wrote in the settings: "~/Decks" and "Decks" are in the home folder.
QString deckFolder(const QString& written) {
    if (written.isEmpty() || written.startsWith(QLatin1Char('/')))
        return written;
    QString rest = written;
    if (rest == QLatin1String("~") || rest.startsWith(QLatin1String("~/")))
        rest = rest.mid(2);
    return QDir::homePath() + (rest.isEmpty() ? QString() : QLatin1Char('/') + rest);
}

// The picture each load gives, for Image1. Only the build's thread writes it; the window reads
// it once that thread has ended.
class MeasuringLoader : public PictureLoader {
public:
    MeasuringLoader(PictureLoader& inner, std::optional<Picture>& last)
        : inner_(inner), last_(last) {}
    Picture load(const QString& path) override {
        Picture p = inner_.load(path);
        last_ = p;
        return p;
    }

private:
    PictureLoader& inner_;
    std::optional<Picture>& last_;
};

// Where a saved deck is, one fact a line; neither name can split a line.
QString whereSaved(const QString& path) {
    const QFileInfo info(path);
    return QStringLiteral("File: %1\nFolder: %2")
        .arg(printablePath(info.fileName()), printablePath(info.absolutePath()));
}

// While a build runs the window takes no input, and its build, move and Exit buttons show it.
// What the user does to it meanwhile is dropped as it comes, so that nothing given during a
// build acts after it (a second click would write a second deck); a close is refused, and so
// are files dragged onto it.
class InputRefused : public QObject {
public:
    InputRefused(QWidget* window, const QList<QWidget*>& controls)
        : window_(window), controls_(controls), focus_(QApplication::focusWidget()) {
        for (QWidget* control : controls_)
            control->setEnabled(false);
        qApp->installEventFilter(this);
    }
    ~InputRefused() override {
        qApp->removeEventFilter(this);
        for (QWidget* control : controls_)
            control->setEnabled(true);
        // A disabled button loses the focus; the user's place is given back.
        if (focus_)
            focus_->setFocus();
    }

protected:
    bool eventFilter(QObject* target, QEvent* event) override {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Shortcut:
        case QEvent::ContextMenu:
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop:
        case QEvent::Close:
            break;
        default:
            return false;
        }
        if (!target->isWidgetType() || static_cast<QWidget*>(target)->window() != window_)
            return false;
        event->ignore(); // a close that is ignored leaves the window open
        return true;
    }

private:
    QWidget* window_;
    QList<QWidget*> controls_;
    QPointer<QWidget> focus_;
};

// How far a build has come and whether the user pressed Cancel: the build's thread writes the
// one and reads the other, the window the other way round.
class SharedProgress : public BuildProgress {
public:
    void photo(int index, int count) override {
        count_.store(count);
        index_.store(index);
    }
    bool cancelRequested() override { return cancelled_.load(); }
    void cancel() { cancelled_.store(true); }
    // Once the photos are placed, how much of the file is written, in thousandths.
    void writing(double done) { written_.store(std::clamp(int(done * 1000), 0, 1000)); }
    int written() const { return written_.load(); }
    // The photo being made, from 0; -1 before the first.
    int index() const { return index_.load(); }
    int count() const { return count_.load(); }

private:
    std::atomic<int> index_{-1};
    std::atomic<int> count_{0};
    std::atomic<bool> cancelled_{false};
    std::atomic<int> written_{-1};
};

// Photo k of n over the window, with Cancel, once a build has run for about a second; it
// looks at the build's progress a few times a second and tells `told` of each new photo. The
// dialog is told back through photo(), as any other listener of the run is. Cancel stops the
// build after the slide it is making.
class ProgressOverWindow {
public:
    static constexpr int kShowAfterMs = 1000;
    static constexpr int kFollowEveryMs = 50;

    ProgressOverWindow(QWidget* window, SharedProgress& progress,
                       std::function<void(int index, int count)> told, QString writing)
        : progress_(progress), told_(std::move(told)), writing_(std::move(writing)),
          dialog_(QString(), QStringLiteral("Cancel"), 0, 1, window) {
        dialog_.setWindowTitle(kAppTitle);
        dialog_.setWindowModality(Qt::WindowModal);
        // Shown by the timer below, not by the dialog's own guess at how long the build takes.
        dialog_.setMinimumDuration(std::numeric_limits<int>::max());
        dialog_.setAutoReset(false);
        dialog_.setAutoClose(false);
        QObject::connect(&dialog_, &QProgressDialog::canceled, &dialog_,
                         [&progress] { progress.cancel(); });
        QObject::connect(&follow_, &QTimer::timeout, &dialog_, [this] { follow(); });
        follow_.start(kFollowEveryMs);
        QTimer::singleShot(kShowAfterMs, &dialog_, [this] {
            if (progress_.cancelRequested())
                return;
            follow();
            dialog_.show();
        });
    }

    QProgressDialog* dialog() { return &dialog_; }
    void photo(int index, int count) {
        dialog_.setMaximum(count);
        dialog_.setLabelText(QStringLiteral("Photo %1 of %2").arg(index + 1).arg(count));
        dialog_.setValue(index);
    }

private:
    void follow() {
        if (const int written = progress_.written(); written >= 0) {
            if (written == shownWritten_)
                return;
            shownWritten_ = written;
            dialog_.setMaximum(1000);
            dialog_.setLabelText(
                QStringLiteral("Writing the %1: %2%").arg(writing_).arg(written / 10));
            dialog_.setValue(written);
            return;
        }
        const int index = progress_.index();
        if (index < 0 || index == shown_)
            return;
        shown_ = index;
        told_(index, progress_.count());
    }

    SharedProgress& progress_;
    std::function<void(int, int)> told_;
    QString writing_;
    QProgressDialog dialog_;
    QTimer follow_;
    int shown_ = -1;
    int shownWritten_ = -1;
};

} // namespace

// One build: what it was given before it started, what its thread leaves when it ends, and
// what the window does meanwhile.
struct BuildRun::Build {
    explicit Build(PictureLoader& picturesFrom) : loader(picturesFrom) {}
    // An application that goes while its build runs waits for the build to stop after the
    // slide it is making; the slides made are saved as after Cancel.
    ~Build() {
        if (thread) {
            progress.cancel();
            thread->wait();
        }
    }
    Build(const Build&) = delete;
    Build& operator=(const Build&) = delete;

    // On the build's thread. The host is ended there and let go there.
    void run() {
        MeasuringLoader measuring(loader, measured);
        try {
            result = buildSlides(paths, options, measuring, *host, &progress);
        } catch (...) {
            failure = std::current_exception();
        }
        saved = host->savedPath();
        opened = host->openedOnDesktop();
        host.reset();
    }

    // Taken on the window's thread before the build starts.
    BuildOptions options;
    QStringList paths;
    bool open = true;
    std::unique_ptr<SavingHost> host;
    PictureLoader& loader;
    SharedProgress progress;

    // Written by the build's thread; read once it has ended.
    BuildResult result = BuildResult::Completed;
    std::exception_ptr failure;
    std::optional<Picture> measured;
    QString saved;
    bool opened = false;

    // The window's side while the build runs.
    std::unique_ptr<InputRefused> refused;
    std::unique_ptr<BusyCursor> busy;
    std::unique_ptr<ProgressOverWindow> shown;
    std::unique_ptr<QThread> thread;
};

BuildRun::BuildRun(QWidget* window, QList<QWidget*> controls, BuildServices services)
    : window_(window), controls_(std::move(controls)), services_(std::move(services)) {}

BuildRun::~BuildRun() = default;

void BuildRun::start(Layout layout, const QStringList& paths, const Album& album, bool description,
                     int pixelsPerInch) {
    start(windowBuild(album, layout, description), paths,
          DeckRequest{pixelsPerInch, deckFolder(album.folder), {}, true});
}

void BuildRun::start(const BuildOptions& options, const QStringList& paths, DeckRequest request) {
    if (build_)
        return;
    auto build = std::make_unique<Build>(services_.loader);
    build->options = options;
    build->paths = paths;
    build->open = request.open;
    build->refused = std::make_unique<InputRefused>(window_, controls_);
    build->busy = std::make_unique<BusyCursor>();
    try {
        build->host = services_.newHost(request);
    } catch (const RuntimeError& e) {
        build.reset();
        tellWhereTheDeckWent({}, false, BuildResult::Completed, &e);
        return;
    }
    // A video or a PDF is written once every photo is placed, and says how far it is.
    QString writing;
    if (auto* rendering = dynamic_cast<RenderingHost*>(build->host.get())) {
        writing = deckKindOf(request.path) == DeckKind::Video ? QStringLiteral("video")
                                                              : QStringLiteral("PDF");
        SharedProgress* progress = &build->progress;
        rendering->setProgress([progress](double done) {
            progress->writing(done);
            return !progress->cancelRequested();
        });
    }
    build->shown = std::make_unique<ProgressOverWindow>(
        window_, build->progress, [this](int index, int count) { Q_EMIT progressed(index, count); },
        writing);
    ProgressOverWindow* shown = build->shown.get();
    connect(this, &BuildRun::progressed, shown->dialog(),
            [shown](int index, int count) { shown->photo(index, count); });
    Build* running = build.get();
    build->thread.reset(QThread::create([running] { running->run(); }));
    build->thread->setObjectName(QStringLiteral("build"));
    connect(build->thread.get(), &QThread::finished, this, &BuildRun::end, Qt::QueuedConnection);
    build_ = std::move(build);
    const int fault = injectedFault(IoCall::StartThread, {});
    if (!fault)
        build_->thread->start();
    // A thread that could not start never finishes: the build ends here, as an error.
    if (fault || !(build_->thread->isRunning() || build_->thread->isFinished())) {
        build_->failure =
            std::make_exception_ptr(RuntimeError::from(std::make_exception_ptr(std::system_error(
                fault ? fault : EAGAIN, std::generic_category(), "cannot start a thread"))));
        end();
    }
}

void BuildRun::end() {
    build_->thread->wait();
    build_->thread.reset();
    if (build_->measured)
        Q_EMIT measured(*build_->measured);
    // The window takes input again before it tells how the build went.
    build_->shown.reset();
    build_->busy.reset();
    build_->refused.reset();

    // Whatever the build's thread threw (an allocation that failed too) is told as an error,
    // and the window keeps what was made.
    std::optional<RuntimeError> error;
    if (build_->failure)
        error = RuntimeError::from(build_->failure);
    if (!build_->saved.isEmpty())
        Q_EMIT saved(build_->saved, !error && build_->result == BuildResult::Completed);
    tellWhereTheDeckWent(build_->saved, build_->opened, build_->result, error ? &*error : nullptr,
                         build_->open);
    build_.reset();
    Q_EMIT ended();
}

// Silent when the deck opened; otherwise the user learns which file holds it and where.
void BuildRun::tellWhereTheDeckWent(const QString& saved, bool opened, BuildResult result,
                                    const RuntimeError* error, bool openAsked) {
    const QString openThere =
        QStringLiteral("Open it from that folder with a presentation application.");
    if (error) {
        QString text = error->report();
        if (!saved.isEmpty()) {
            text += QStringLiteral("\n\nThe slides made before the error are saved.\n") +
                    whereSaved(saved);
            if (!opened && openAsked)
                text += QStringLiteral("\n\nThe desktop could not open the file. ") + openThere;
        }
        services_.boxes.show(window_, text, kAppTitle, mbOkOnly | mbExclamation);
        return;
    }
    if (saved.isEmpty() || opened || !openAsked)
        return;
    const QString what = result == BuildResult::Cancelled
                             ? QStringLiteral("The slides made before you pressed Cancel are "
                                              "saved, but the desktop could not open them.")
                             : QStringLiteral("The presentation is saved, but the desktop could "
                                              "not open it.");
    services_.boxes.show(window_,
                         what + QStringLiteral("\n\n") + whereSaved(saved) +
                             QStringLiteral("\n\n") + openThere,
                         kAppTitle, mbOkOnly | mbInformation);
}

} // namespace slidemill
