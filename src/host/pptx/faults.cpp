#include "host/pptx/faults.h"

#include <atomic>

namespace slidemill::pptx {

namespace {

std::atomic<FaultHook> g_hook{nullptr};

} // namespace

void setFaultHook(FaultHook hook) {
    g_hook.store(hook);
}

int injectedFault(IoCall call, const QByteArray& entry) {
    const FaultHook hook = g_hook.load(std::memory_order_relaxed);
    return hook ? hook(call, entry) : 0;
}

} // namespace slidemill::pptx
