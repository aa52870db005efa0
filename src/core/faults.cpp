#include "core/faults.h"

#include <atomic>
#include <utility>

namespace slidemill {

namespace {

std::atomic<FaultHook> g_hook{nullptr};
thread_local QByteArray t_entry;

} // namespace

void setFaultHook(FaultHook hook) {
    g_hook.store(hook);
}

int injectedFault(IoCall call, const QByteArray& entry) {
    const FaultHook hook = g_hook.load(std::memory_order_relaxed);
    return hook ? hook(call, entry) : 0;
}

FaultEntry::FaultEntry(QByteArray entry) : previous_(std::exchange(t_entry, std::move(entry))) {}

FaultEntry::~FaultEntry() {
    t_entry = std::move(previous_);
}

const QByteArray& FaultEntry::current() {
    return t_entry;
}

} // namespace slidemill
