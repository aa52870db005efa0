// The previews' decoding part, in the decoding module.
#include "pictures/thumbnail.h"

#include "core/faults.h"
#include "core/runtimeerror.h"
#include "pictures/decoders.h"
#include "pictures/measuredfile.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <pthread.h>
#include <system_error>
#include <thread>
#include <vector>

namespace slidemill::pictures {

namespace {

// A preview is looked at, not kept: quality 90 is indistinguishable at its size, and PNG's
// fastest setting encodes it in a fraction of the time of the best.
constexpr int kThumbnailJpegQuality = 90;
constexpr int kThumbnailPngCompression = 1;

void stopIfCancelled(const std::function<bool()>& cancelled) {
    if (cancelled && cancelled())
        throw ThumbnailCancelled();
}

// The colours as an sRGB screen shows them, through the picture's own profile where it has one
// that can be used, in 8 bits, with at most its alpha besides its colour.
Image inSrgb(const Picture& picture, Image image) {
    VipsImage* out = nullptr;
    auto step = [&](int failed) {
        if (failed)
            vipsFailed(picture);
        image.reset(out);
    };
    if (vips_image_get_typeof(image.get(), VIPS_META_ICC_NAME)) {
        // A profile that cannot be used leaves the colours as they are.
        if (!vips_icc_transform(image.get(), &out, "srgb", "embedded", TRUE, "depth", 8, nullptr))
            image.reset(out);
    }
    const VipsInterpretation space = image->Type;
    if (space == VIPS_INTERPRETATION_GREY16)
        step(vips_colourspace(image.get(), &out, VIPS_INTERPRETATION_B_W, nullptr));
    else if (space != VIPS_INTERPRETATION_sRGB && space != VIPS_INTERPRETATION_B_W &&
             space != VIPS_INTERPRETATION_MULTIBAND)
        step(vips_colourspace(image.get(), &out, VIPS_INTERPRETATION_sRGB, nullptr));
    if (image->BandFmt != VIPS_FORMAT_UCHAR)
        step(vips_cast_uchar(image.get(), &out, nullptr));
    const bool alpha = vips_image_hasalpha(image.get());
    const int bands = image->Bands <= 2 ? image->Bands : alpha ? 4 : 3;
    if (image->Bands > bands)
        step(vips_extract_band(image.get(), &out, 0, "n", bands, nullptr));
    return image;
}

// libvips checks an image's kill flag as each region of it is computed, the decoder's among
// them, but calls back (eval) only after a strip of the output, which a large shrink computes
// from the whole picture: a 30,000 x 30,000 TIFF went on for seconds. So one thread, started by
// the first preview that can be stopped and kept for the process, asks every preview being
// computed whether it is to stop, every 10 ms while there is one, and kills the images of
// those that are, stopping their decoders between tiles or strips. Never destroyed: it may be
// waiting when the process exits.
class StopWatch {
public:
    static StopWatch& instance() {
        static StopWatch* const watch = new StopWatch;
        return *watch;
    }

    // Watched until `remove`; `cancelled` is asked with the watch's lock held, so never after.
    std::uint64_t add(std::vector<VipsImage*> images, const std::function<bool()>* cancelled) {
        // Asked for every preview, as the picture pool asks for every job: whether a preview
        // starts the thread is timing's.
        if (const int fault = injectedFault(IoCall::StartThread, FaultEntry::current()))
            throw std::system_error(fault, std::generic_category(), "cannot start a thread");
        std::uint64_t id = 0;
        {
            const std::lock_guard lock(mutex_);
            if (!started_) {
                std::thread(&StopWatch::run, this).detach();
                started_ = true;
            }
            id = ++last_;
            watched_.push_back({id, std::move(images), cancelled});
        }
        changed_.notify_all();
        return id;
    }

    void remove(std::uint64_t id) {
        const std::lock_guard lock(mutex_);
        std::erase_if(watched_, [id](const Watched& w) { return w.id == id; });
    }

private:
    struct Watched {
        std::uint64_t id;
        std::vector<VipsImage*> images;
        const std::function<bool()>* cancelled;
    };

    void run() {
        ::pthread_setname_np(::pthread_self(), "preview stops");
        std::unique_lock lock(mutex_);
        for (;;) {
            changed_.wait(lock, [this] { return !watched_.empty(); });
            std::erase_if(watched_, [](const Watched& w) {
                if (!(*w.cancelled)())
                    return false;
                for (VipsImage* image : w.images)
                    vips_image_set_kill(image, TRUE);
                return true;
            });
            changed_.wait_for(lock, std::chrono::milliseconds(10));
        }
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    // Guarded by mutex_.
    std::vector<Watched> watched_;
    std::uint64_t last_ = 0;
    bool started_ = false;
};

// The images watched for the life of this object, when there is a `cancelled` to ask.
class KillWhenCancelled {
public:
    KillWhenCancelled(std::vector<VipsImage*> images, const std::function<bool()>& cancelled) {
        if (cancelled)
            id_ = StopWatch::instance().add(std::move(images), &cancelled);
    }
    KillWhenCancelled(const KillWhenCancelled&) = delete;
    KillWhenCancelled& operator=(const KillWhenCancelled&) = delete;
    ~KillWhenCancelled() {
        if (id_)
            StopWatch::instance().remove(id_);
    }

private:
    std::uint64_t id_ = 0;
};

// The pixels computed into memory from `decoded` (which `image` reads); stopped within a few
// milliseconds once `cancelled` says so.
Image computed(const Picture& picture, Image image, VipsImage* decoded,
               const std::function<bool()>& cancelled) {
    Image memory(vips_image_new_memory());
    bool failed = false;
    {
        const KillWhenCancelled kill({decoded, image.get(), memory.get()}, cancelled);
        failed = vips_image_write(image.get(), memory.get()) != 0;
    }
    if (failed) {
        stopIfCancelled(cancelled);
        vipsFailed(picture);
    }
    return memory;
}

QByteArray encoded(const Picture& picture, VipsImage* image) {
    void* buffer = nullptr;
    std::size_t length = 0;
    const int failed = vips_image_hasalpha(image)
                           ? vips_pngsave_buffer(image, &buffer, &length, "compression",
                                                 kThumbnailPngCompression, "strip", TRUE, nullptr)
                           : vips_jpegsave_buffer(image, &buffer, &length, "Q",
                                                  kThumbnailJpegQuality, "strip", TRUE, nullptr);
    if (failed)
        vipsFailed(picture);
    QByteArray bytes(static_cast<const char*>(buffer), qsizetype(length));
    g_free(buffer);
    return bytes;
}

} // namespace

Thumbnail makeDecodedThumbnail(const Picture& picture, int side,
                               const std::function<bool()>& cancelled) {
    needVips(picture);
    const QSize shown(side, side);
    const MeasuredFile file(picture.path, picture.file);
    const VipsThreadEnd threadEnd;
    Thumbnail made;
    try {
        std::optional<Decoded> d = decodeThumbnail(picture, file, shown);
        stopIfCancelled(cancelled);
        if (!d)
            d.emplace(decode(picture, file, shown, cancelled));
        // An animated GIF shows its first frame, and the one before it is kept while decoded.
        if (d->keep)
            d->reservation.add(picture, d->stored, area(d->stored) * 8);
        // Killed when told to stop, with what reads it.
        const Image decoded(static_cast<VipsImage*>(g_object_ref(d->image.get())));
        Image image = resized(picture, std::move(d->image), storedTarget(picture, *d, shown));
        image = computed(picture, inSrgb(picture, std::move(image)), decoded.get(), cancelled);
        // Told to stop as the last strip was computed, the image is killed for what follows.
        stopIfCancelled(cancelled);
        if (!d->upright)
            image = turned(picture, std::move(image), d->reservation);
        made.size = sizeOf(image.get());
        made.bytes = encoded(picture, image.get());
    } catch (const RuntimeError&) {
        // A decoder told to stop fails as it reads on; that is no fault of the picture.
        stopIfCancelled(cancelled);
        // A read that failed, or a file written to while it was read, is the cause.
        file.checkRead();
        file.checkUnchanged();
        throw;
    }
    file.checkRead();
    file.checkUnchanged();
    return made;
}

} // namespace slidemill::pictures
