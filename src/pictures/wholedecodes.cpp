// The decode budget itself, in the program only: the decoding module reaches it through the
// host it is given when opened (decodinglibrary.cpp).
#include "pictures/budget.h"

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

void takeDecodeBudget(qint64 bytes, bool wait) {
    wholeDecodes().take(bytes, wait);
}

void giveDecodeBudget(qint64 bytes) {
    wholeDecodes().give(bytes);
}

} // namespace slidemill::pictures
