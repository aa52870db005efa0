#pragma once

#include "core/previews.h"
#include "pictures/picturepool.h"

#include <QCache>
#include <QHash>
#include <atomic>
#include <functional>
#include <memory>
#include <unordered_map>

namespace slidemill {

class ThumbnailCache;

// Measures the picture at path from its header and makes its thumbnail (kPreviewSide, from
// pictures/thumbnail.h); a picture that cannot be read gives a preview that says why. Empty
// when `cancelled` answered true before it was done. A picture of the HEIF family, whose
// thumbnail may take long, is handed to `measured` first, pending. With `shared`, the thumbnail
// (or the failure) is looked up there first and written there after: a failure only when the
// file's content causes it (not a picture, cut short, too large to decode), never a read, memory,
// a thread or a decoding module that failed, nor a stop. Safe to call from any thread.
std::optional<Preview> makePreview(const QString& path, const std::function<bool()>& cancelled = {},
                                   const std::function<void(const Preview&)>& measured = {},
                                   const ThumbnailCache* shared = nullptr);

// The previews of the session: made on the picture pool after any build's pictures, told on
// this object's thread, and kept in at most `cacheBytes` of memory, the least recently used
// let go first. A preview asked for again is checked against its file first, and made anew
// when the file changed. What no list wants any more is not made: work not started is
// withdrawn, work under way stops.
class PreviewMaker : public PreviewSource {
    Q_OBJECT
public:
    static constexpr qint64 kCacheBytes = qint64(64) << 20;

    explicit PreviewMaker(qint64 cacheBytes = kCacheBytes, QObject* parent = nullptr);
    // Stops its work under way and waits for that alone; its work not started is withdrawn.
    ~PreviewMaker() override;

    std::optional<Preview> find(const QString& path) const override;
    void want(const void* client, const QString& path) override;
    // The desktop's shared thumbnails, for the previews made from now on; none by default.
    void shareThumbnails(const ThumbnailCache* shared) { shared_ = shared; }

    // What the kept previews take, counted as their bytes and their texts.
    qint64 cachedBytes() const { return cache_.totalCost(); }
    // Pictures being looked at or waiting to be.
    int working() const { return int(jobs_.size()); }

private:
    // What a look at a file found: a new preview, or that the one kept is still its file's;
    // neither when it was cancelled.
    struct Outcome {
        std::optional<Preview> preview;
        bool unchanged = false;
    };
    struct Job {
        std::shared_ptr<std::atomic<bool>> stop;
        pictures::PoolJob<void> work;
    };

    bool wanted(const QString& path) const;
    void start(const QString& path);
    void finish(const QString& path, const Outcome& outcome);
    void measured(const QString& path, const Preview& pending);

    mutable QCache<QString, Preview> cache_;
    QHash<const void*, QString> wanted_;
    std::unordered_map<QString, Job> jobs_;
    const ThumbnailCache* shared_ = nullptr;
};

} // namespace slidemill
