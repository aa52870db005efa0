#include "pictures/budget.h"

#include "core/runtimeerror.h"

#include <condition_variable>
#include <mutex>

namespace slidemill::pictures {

namespace {

// Memory for pictures decoded whole, shared by those made at once: a picture waits until its
// share is free, and one larger than all of it is refused. What a picture that holds a share
// adds later is taken without waiting, so that two pictures never wait for each other.
class WholeDecodes {
public:
    void take(qint64 bytes, bool wait) {
        std::unique_lock lock(mutex_);
        if (wait)
            changed_.wait(lock, [&] { return used_ + bytes <= kDecodeBudget; });
        used_ += bytes;
    }
    void give(qint64 bytes) {
        {
            const std::lock_guard lock(mutex_);
            used_ -= bytes;
        }
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    qint64 used_ = 0;
};

// Never destroyed: the picture pool is made first and so destroyed last, and a pool thread still
// decoding when the process exits gives its bytes back after static destruction has begun.
WholeDecodes& wholeDecodes() {
    static WholeDecodes* const decodes = new WholeDecodes;
    return *decodes;
}

} // namespace

[[noreturn]] void tooLarge(const Picture& picture, QSize pixels) {
    throw RuntimeError(errInvalidPicture,
                       QStringLiteral("%1: the picture is too large to decode (%2 x %3 pixels)")
                           .arg(RuntimeError::standardText(errInvalidPicture))
                           .arg(pixels.width())
                           .arg(pixels.height()),
                       picture.path);
}

Reservation::~Reservation() {
    if (bytes_ > 0)
        wholeDecodes().give(bytes_);
}

void Reservation::add(const Picture& picture, QSize pixels, qint64 bytes) {
    if (bytes <= 0)
        return;
    if (bytes_ + bytes > kDecodeBudget)
        tooLarge(picture, pixels);
    wholeDecodes().take(bytes, bytes_ == 0);
    bytes_ += bytes;
}

} // namespace slidemill::pictures
