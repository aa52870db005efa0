#include "pictures/previewmaker.h"

#include "core/nativepath.h"
#include "core/runtimeerror.h"
#include "pictures/picturemaker.h"
#include "pictures/thumbnail.h"
#include "pictures/thumbnailcache.h"
#include "slides/pictureformats.h"
#include "slides/picturemetrics.h"

#include <QtConcurrent/QtConcurrentRun>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace slidemill {

namespace {

// Two pictures at once: one the pointer rests on while the last one is still being made.
constexpr int kThreads = 2;
// Previews give way to the window's thread and to builds: on two cores with both making
// previews, a repaint would otherwise wait for its turn.
constexpr int kNiceness = 10;

void giveWay() {
    thread_local bool given = false;
    if (!given)
        ::setpriority(PRIO_PROCESS, id_t(::gettid()), kNiceness);
    given = true;
}

// The cause an error gives, without the number's standard text and the library's name before
// it: "Invalid picture: the file is cut short" is "the file is cut short".
QString whyNotShown(const RuntimeError& error) {
    const QString& text = error.text();
    const qsizetype colon = text.lastIndexOf(QLatin1String(": "));
    if (colon >= 0)
        return text.mid(colon + 2);
    switch (error.number()) {
    case errInvalidPicture:
        return QStringLiteral("not a picture");
    case errFileNotFound:
        return QStringLiteral("the file is not there");
    default:
        return text;
    }
}

FileIdentity identityOfPath(const QString& path) {
    struct stat st;
    if (::stat(nativePath(path).constData(), &st) != 0)
        return {};
    return identityOf(st);
}

// What a kept preview takes: its picture, its texts and the rest of it.
qsizetype costOf(const QString& path, const Preview& preview) {
    return preview.thumbnail.size() +
           2 * (path.size() + preview.format.size() + preview.problem.size()) +
           qsizetype(sizeof(Preview)) + 64;
}

} // namespace

std::optional<Preview> makePreview(const QString& path, const std::function<bool()>& cancelled,
                                   const std::function<void(const Preview&)>& measured,
                                   const ThumbnailCache* shared) {
    Preview preview;
    preview.file = identityOfPath(path);
    const bool found = shared && shared->find(path, preview);
    if (found && !preview.problem.isEmpty())
        return preview;
    try {
        const Picture picture = readPicture(path);
        preview.pixels = pictures::measuredPixels(picture);
        preview.format = QLatin1String(formatRow(picture.format).name);
        if (cancelled && cancelled())
            return std::nullopt;
        if (!found) {
            if (measured &&
                (picture.format == PictureFormat::Heic || picture.format == PictureFormat::Heif ||
                 picture.format == PictureFormat::Avif)) {
                Preview pending = preview;
                pending.pending = true;
                measured(pending);
            }
            const pictures::Thumbnail thumbnail =
                pictures::makeThumbnail(picture, kPreviewSide, cancelled);
            preview.thumbnail = thumbnail.bytes;
            preview.thumbnailSize = thumbnail.size;
        }
    } catch (const pictures::ThumbnailCancelled&) {
        return std::nullopt;
    } catch (...) {
        // Nothing may leave this thread but the preview: what went wrong is its problem.
        preview.problem = whyNotShown(RuntimeError::from(std::current_exception(), path));
        preview.thumbnail.clear();
    }
    if (shared && !found)
        shared->store(path, preview);
    return preview;
}

PreviewMaker::PreviewMaker(qint64 cacheBytes, QObject* parent)
    : PreviewSource(parent), cache_(cacheBytes) {
    pool_.setMaxThreadCount(kThreads);
}

PreviewMaker::~PreviewMaker() {
    for (const auto& [path, job] : jobs_)
        job.stop->store(true);
    pool_.waitForDone();
}

std::optional<Preview> PreviewMaker::find(const QString& path) const {
    if (const Preview* kept = cache_.object(path))
        return *kept;
    return std::nullopt;
}

void PreviewMaker::want(const void* client, const QString& path) {
    const QString before = wanted_.value(client);
    if (before == path)
        return;
    if (path.isEmpty())
        wanted_.remove(client);
    else
        wanted_.insert(client, path);
    if (!before.isEmpty() && !wanted(before)) {
        if (const auto job = jobs_.find(before); job != jobs_.end())
            job->second.stop->store(true);
    }
    if (path.isEmpty())
        return;
    if (const auto job = jobs_.find(path); job != jobs_.end())
        job->second.stop->store(false);
    else
        start(path);
}

bool PreviewMaker::wanted(const QString& path) const {
    for (const QString& p : wanted_) {
        if (p == path)
            return true;
    }
    return false;
}

void PreviewMaker::start(const QString& path) {
    std::optional<FileIdentity> known;
    if (const Preview* kept = cache_.object(path); kept && !kept->pending)
        known = kept->file;
    Job job{std::make_shared<std::atomic<bool>>(false), new QFutureWatcher<Outcome>(this)};
    connect(job.watcher, &QFutureWatcherBase::finished, this, [this, path] { finish(path); });
    const ThumbnailCache* shared = shared_;
    job.watcher->setFuture(QtConcurrent::run(&pool_, [this, path, known, shared, stop = job.stop] {
        // Nothing thrown may reach the window's thread through the future: it would end the
        // window there.
        try {
            const auto cancelled = [stop] { return stop->load(); };
            if (cancelled())
                return Outcome{};
            giveWay();
            if (known && *known == identityOfPath(path))
                return Outcome{{}, true};
            const auto measured = [this, path](const Preview& pending) {
                QMetaObject::invokeMethod(
                    this, [this, path, pending] { this->measured(path, pending); },
                    Qt::QueuedConnection);
            };
            return Outcome{makePreview(path, cancelled, measured, shared), false};
        } catch (...) {
            Preview failed;
            failed.problem = whyNotShown(RuntimeError::from(std::current_exception(), path));
            return Outcome{failed, false};
        }
    }));
    jobs_.emplace(path, std::move(job));
}

// What the header tells, shown while the picture is made; never over a finished preview.
void PreviewMaker::measured(const QString& path, const Preview& pending) {
    if (jobs_.find(path) == jobs_.end())
        return;
    if (const Preview* kept = cache_.object(path);
        kept && !kept->pending && kept->file == pending.file)
        return;
    cache_.insert(path, new Preview(pending), costOf(path, pending));
    Q_EMIT made(path);
}

void PreviewMaker::finish(const QString& path) {
    const auto node = jobs_.extract(path);
    if (node.empty())
        return;
    const Outcome outcome = node.mapped().watcher->result();
    node.mapped().watcher->deleteLater();
    if (outcome.preview) {
        cache_.insert(path, new Preview(*outcome.preview), costOf(path, *outcome.preview));
        Q_EMIT made(path);
    } else if (!outcome.unchanged && wanted(path)) {
        // Stopped, then wanted again before it had ended.
        start(path);
    }
}

} // namespace slidemill
