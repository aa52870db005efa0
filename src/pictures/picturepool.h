#pragma once

#include <QString>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <type_traits>
#include <vector>

namespace slidemill::pictures {

// Whose job it is, in the order jobs are taken: a package's read-back of what it wrote (quick,
// and what the writer waits for), a build's picture, a preview; each in the order given.
enum class Priority { ReadBack, Build, Preview };

// A job given to the pool: its result, and the ticket that withdraws it while it waits (0 when
// no thread could be had for it, its result then ready with that error).
template <typename R> struct PoolJob {
    std::future<R> result;
    std::uint64_t ticket = 0;
};

// The threads that make pictures, for builds and previews alike, and read back what a package
// wrote: as many at work at once as the process has usable cores, started when work needs them
// and kept until the pool goes.
//
// The process's other threads, each a bounded few: the window's build (one, which waits on the
// pool), a package's writer (one a deck: it waits on the pool's results and on the disk, so
// as a job it would hold a core idle, and could wait for pictures queued behind itself), one
// that watches previews for their stop, and for each HEIF picture being decoded one whose
// standard error is muted (at most one a pool thread; starting it costs microseconds against
// the decode's hundreds of milliseconds, and no pool thread's file table may be its own).
class PicturePool {
public:
    // At most `threads` at work at once; 0 for usableCores(), asked again with every job.
    explicit PicturePool(int threads = 0);
    // Jobs waiting are dropped (their results broken promises); those under way are waited for.
    ~PicturePool();
    PicturePool(const PicturePool&) = delete;
    PicturePool& operator=(const PicturePool&) = delete;

    // The process's pool, which builds and previews share.
    static PicturePool& shared();

    // Runs `job` on a pool thread in its turn. What it throws is its result's; when no thread
    // can be had for it, that is its result, a RuntimeError naming `picture`. The fault seam
    // is asked for that thread with the calling thread's FaultEntry.
    template <typename F>
    PoolJob<std::invoke_result_t<F&>> submit(Priority priority, const QString& picture, F job) {
        using R = std::invoke_result_t<F&>;
        auto promise = std::make_shared<std::promise<R>>();
        PoolJob<R> out{promise->get_future(), 0};
        std::function<void()> run = [promise, job = std::move(job)]() mutable {
            try {
                if constexpr (std::is_void_v<R>) {
                    job();
                    promise->set_value();
                } else {
                    promise->set_value(job());
                }
            } catch (...) {
                promise->set_exception(std::current_exception());
            }
        };
        if (const std::exception_ptr refused =
                enqueue(priority, picture, std::move(run), out.ticket))
            promise->set_exception(refused);
        return out;
    }

    // True when the job was still waiting: it never runs, and its result is a broken promise.
    // False once it has begun (or could not be given a thread).
    bool withdraw(std::uint64_t ticket);

private:
    struct Waiting {
        std::uint64_t ticket;
        std::function<void()> run;
    };

    std::exception_ptr enqueue(Priority priority, const QString& picture, std::function<void()> run,
                               std::uint64_t& ticket);
    void work();
    // Guarded by mutex_.
    std::size_t waiting() const;

    const int threads_;
    std::mutex mutex_;
    std::condition_variable changed_;
    // Guarded by mutex_.
    std::deque<Waiting> readBacks_, builds_, previews_;
    std::vector<std::thread> workers_;
    int limit_ = 1;
    int running_ = 0;
    std::uint64_t lastTicket_ = 0;
    bool stopping_ = false;
};

} // namespace slidemill::pictures
