#include "host/thread_context.h"

#include <new>

#include "host/platform.h"

namespace mg::host {
namespace {

ThreadContext* g_contexts = nullptr;  // head of the list of every context

// RAII for the global lock.
class GlobalLock {
public:
    GlobalLock() { platform::LockEnter(); }
    ~GlobalLock() { platform::LockLeave(); }
    GlobalLock(const GlobalLock&) = delete;
    GlobalLock& operator=(const GlobalLock&) = delete;
};

void Destroy(ThreadContext* context) {
    context->~ThreadContext();
    platform::HeapFree(context);
}

}  // namespace

ThreadContext* ContextRegistry::Create() {
    void* memory = platform::HeapAllocZeroed(sizeof(ThreadContext));
    if (memory == nullptr) return nullptr;
    auto* context = new (memory) ThreadContext();
    try {
        context->state = NewThreadState();
    } catch (...) {
        Destroy(context);
        return nullptr;
    }
    platform::TlsSet(context);
    GlobalLock lock;
    context->next = g_contexts;
    g_contexts = context;
    return context;
}

bool ContextRegistry::Load() {
    platform::LockInit();
    {
        GlobalLock lock;
        if (!platform::TlsCreate()) return false;
    }
    return platform::TlsGet() != nullptr || Create() != nullptr;
}

void ContextRegistry::Unload() {
    {
        GlobalLock lock;
        while (g_contexts != nullptr) {
            ThreadContext* next = g_contexts->next;
            Destroy(g_contexts);
            g_contexts = next;
        }
        platform::TlsDestroy();
    }
    platform::LockDestroy();
}

ThreadContext* ContextRegistry::Current() { return static_cast<ThreadContext*>(platform::TlsGet()); }

ThreadContext* ContextRegistry::ForThisThread() {
    ThreadContext* context = Current();
    return context != nullptr ? context : Create();
}

}  // namespace mg::host
