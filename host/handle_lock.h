#ifndef MG_HOST_HANDLE_LOCK_H
#define MG_HOST_HANDLE_LOCK_H

#include "host/host_ops.h"

namespace mg::host {

// Keeps a handle locked for the lifetime of the object, so that an abandoned
// routine never leaves a handle pinned.
class HandleLock {
public:
    explicit HandleLock(abi::MemHandle handle) : m_hHandle(handle) { LockHandle(m_hHandle); }
    ~HandleLock() { UnlockHandle(m_hHandle); }
    HandleLock(const HandleLock&) = delete;
    HandleLock& operator=(const HandleLock&) = delete;

    unsigned char* data() const { return HandleToPointer(m_hHandle); }

private:
    abi::MemHandle m_hHandle;
};

}  // namespace mg::host

#endif
