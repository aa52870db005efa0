// Thread contract: any thread may submit and withdraw; a job runs on one pool thread, which
// nothing a job throws leaves (it is the job's result), and which is never given a nice level:
// priority is the queue's. A thread that cannot start is the error of the job that asked for it.
#include "pictures/picturepool.h"

#include "core/faults.h"
#include "core/runtimeerror.h"
#include "pictures/cores.h"

#include <pthread.h>
#include <system_error>
#include <utility>

namespace slidemill::pictures {

PicturePool::PicturePool(int threads) : threads_(threads) {}

PicturePool::~PicturePool() {
    std::deque<Waiting> dropped;
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
        for (std::deque<Waiting>* queue : {&readBacks_, &builds_, &previews_}) {
            for (Waiting& w : *queue)
                dropped.push_back(std::move(w));
            queue->clear();
        }
    }
    changed_.notify_all();
    for (std::thread& worker : workers_)
        worker.join();
}

PicturePool& PicturePool::shared() {
    static PicturePool pool;
    return pool;
}

std::exception_ptr PicturePool::enqueue(Priority priority, const QString& picture,
                                        std::function<void()> run, std::uint64_t& ticket) {
    {
        const std::lock_guard lock(mutex_);
        limit_ = threads_ > 0 ? threads_ : usableCores();
        std::deque<Waiting>& queue = priority == Priority::ReadBack ? readBacks_
                                     : priority == Priority::Build  ? builds_
                                                                    : previews_;
        try {
            if (const int fault = injectedFault(IoCall::StartThread, FaultEntry::current()))
                throw std::system_error(fault, std::generic_category());
            const std::size_t idle = workers_.size() - std::size_t(running_);
            if (idle < waiting() + 1 && workers_.size() < std::size_t(limit_))
                workers_.emplace_back(&PicturePool::work, this);
            queue.push_back({++lastTicket_, std::move(run)});
        } catch (const std::system_error& e) {
            return std::make_exception_ptr(RuntimeError::from(
                std::make_exception_ptr(std::system_error(e.code(), "cannot start a thread")),
                picture));
        } catch (...) {
            return std::make_exception_ptr(RuntimeError::from(std::current_exception(), picture));
        }
        ticket = lastTicket_;
    }
    changed_.notify_all();
    return nullptr;
}

bool PicturePool::withdraw(std::uint64_t ticket) {
    Waiting withdrawn;
    {
        const std::lock_guard lock(mutex_);
        for (std::deque<Waiting>* queue : {&readBacks_, &builds_, &previews_}) {
            for (auto it = queue->begin(); it != queue->end(); ++it) {
                if (it->ticket == ticket) {
                    withdrawn = std::move(*it);
                    queue->erase(it);
                    break;
                }
            }
        }
    }
    // Its captures, and with them its promise, go outside the lock.
    return bool(withdrawn.run);
}

std::size_t PicturePool::waiting() const {
    return readBacks_.size() + builds_.size() + previews_.size();
}

void PicturePool::work() {
    ::pthread_setname_np(::pthread_self(), "pictures");
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || (running_ < limit_ && waiting() > 0); });
        if (stopping_)
            return;
        std::deque<Waiting>& queue = !readBacks_.empty() ? readBacks_
                                     : !builds_.empty()  ? builds_
                                                         : previews_;
        std::function<void()> run = std::move(queue.front().run);
        queue.pop_front();
        ++running_;
        lock.unlock();
        try {
            run();
        } catch (...) {
            // The job's result already holds what it threw; nothing else may end the thread.
        }
        run = nullptr;
        lock.lock();
        --running_;
        // A job held back by the limit may go now.
        changed_.notify_all();
    }
}

} // namespace slidemill::pictures
