#ifndef MG_HOST_THREAD_CONTEXT_H
#define MG_HOST_THREAD_CONTEXT_H

#include <memory>

#include "host/library_hooks.h"
#include "marrowgate/host_abi.h"

namespace mg::host {

// One per host thread that has called in. Contexts form one list, guarded by
// the global lock, and are freed only at unload.
struct ThreadContext {
    ThreadContext* next = nullptr;
    abi::HostCallback callback = nullptr;
    abi::HandleTable* handles = nullptr;
    abi::SlotTable* slots = nullptr;
    std::unique_ptr<IThreadState> state;
};

// The bridge's registry of contexts and the load/unload sequence.
class ContextRegistry {
public:
    // Load: the lock, the thread-local slot and the loading thread's context.
    static bool Load();
    // Unload: frees every context (and so every thread's state), then the slot and the lock.
    static void Unload();
    // The calling thread's context, created on first use; nullptr when none can be had.
    static ThreadContext* ForThisThread();
    // The calling thread's context if it has one.
    static ThreadContext* Current();

private:
    static ThreadContext* Create();
};

}  // namespace mg::host

#endif
