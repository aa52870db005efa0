#include "pictures/previewmaker.h"

#include "core/nativepath.h"
#include "core/runtimeerror.h"
#include "pictures/picturemaker.h"
#include "pictures/thumbnail.h"
#include "pictures/thumbnailcache.h"
#include "slides/pictureformats.h"
#include "slides/picturemetrics.h"

#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace slidemill {

namespace {

// The cause an error gives, without the number's standard text and the library's name before
// it: "Invalid picture: the file is cut short" is "the file is cut short".
QString whyNotShown(const RuntimeError& error) {
    // Its path and reason are the debug log's; the picture is not at fault.
    if (error.number() == errLoadingLibrary)
        return QStringLiteral("the decoding module does not match this program");
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

// Whether the picture cannot be shown for what its file holds (not a picture, cut short, too
// large to decode), which stays so until the file changes: only that is recorded in the shared
// cache. A read that failed, memory or a thread not had, a file changed as it was read, or a
// decoding module that cannot be loaded pass, and would outlast their cause there.
bool ofTheFile(const RuntimeError& error) {
    return error.number() == errInvalidPicture;
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
    bool lasting = false;
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
        // A decoder told to stop may fail as it reads on: that is no failure of the picture.
        if (cancelled && cancelled())
            return std::nullopt;
        // Nothing may leave this thread but the preview: what went wrong is its problem.
        const RuntimeError error = RuntimeError::from(std::current_exception(), path);
        preview.problem = whyNotShown(error);
        preview.thumbnail.clear();
        lasting = ofTheFile(error);
    }
    if (shared && !found && (preview.problem.isEmpty() || lasting))
        shared->store(path, preview);
    return preview;
}

PreviewMaker::PreviewMaker(qint64 cacheBytes, QObject* parent)
    : PreviewSource(parent), cache_(cacheBytes) {}

PreviewMaker::~PreviewMaker() {
    for (const auto& [path, job] : jobs_)
        job.stop->store(true);
    // The pool outlives this object: only its own jobs are waited for, and once they have
    // ended nothing of them can reach it.
    for (auto& [path, job] : jobs_) {
        if (job.work.result.valid() && !pictures::PicturePool::shared().withdraw(job.work.ticket))
            job.work.result.wait();
    }
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
        if (const auto job = jobs_.find(before); job != jobs_.end()) {
            // Not begun, it never will be and nothing comes back of it; begun, it stops.
            if (pictures::PicturePool::shared().withdraw(job->second.work.ticket))
                jobs_.erase(job);
            else
                job->second.stop->store(true);
        }
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
    const ThumbnailCache* shared = shared_;
    auto stop = std::make_shared<std::atomic<bool>>(false);
    const auto work = [this, path, known, shared, stop] {
        Outcome outcome;
        // Nothing thrown may reach the window's thread: it would end the window there.
        try {
            const auto cancelled = [stop] { return stop->load(); };
            const auto measured = [this, path](const Preview& pending) {
                QMetaObject::invokeMethod(
                    this, [this, path, pending] { this->measured(path, pending); },
                    Qt::QueuedConnection);
            };
            if (known && *known == identityOfPath(path))
                outcome.unchanged = true;
            else if (!cancelled())
                outcome.preview = makePreview(path, cancelled, measured, shared);
        } catch (...) {
            Preview failed;
            failed.problem = whyNotShown(RuntimeError::from(std::current_exception(), path));
            outcome.preview = failed;
        }
        // Posted before the job ends, which the destructor waits for.
        QMetaObject::invokeMethod(
            this, [this, path, outcome] { finish(path, outcome); }, Qt::QueuedConnection);
    };
    Job job{stop, pictures::PicturePool::shared().submit(pictures::Priority::Preview, path, work)};
    if (!job.work.ticket) {
        // No thread for it: that is the preview's problem, with no file identity, so that it
        // is tried again when next wanted.
        Preview failed;
        try {
            job.work.result.get();
        } catch (...) {
            failed.problem = whyNotShown(RuntimeError::from(std::current_exception(), path));
        }
        QMetaObject::invokeMethod(
            this,
            [this, path, failed] {
                finish(path, Outcome{failed, false});
            },
            Qt::QueuedConnection);
    }
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

void PreviewMaker::finish(const QString& path, const Outcome& outcome) {
    if (jobs_.erase(path) == 0)
        return;
    if (outcome.preview) {
        cache_.insert(path, new Preview(*outcome.preview), costOf(path, *outcome.preview));
        Q_EMIT made(path);
    } else if (!outcome.unchanged && wanted(path)) {
        // Stopped, then wanted again before it had ended.
        start(path);
    }
}

} // namespace slidemill
