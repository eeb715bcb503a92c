#ifndef MG_HOST_OWNED_HANDLE_H
#define MG_HOST_OWNED_HANDLE_H

#include "host/host_ops.h"

namespace mg::host {

// A handle the library allocated and must free, also when the routine is
// abandoned half-way.
class OwnedHandle {
public:
    explicit OwnedHandle(abi::MemHandle handle = 0) : m_hHandle(handle) {}
    ~OwnedHandle() { reset(); }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;

    abi::MemHandle get() const { return m_hHandle; }
    explicit operator bool() const { return m_hHandle != 0; }
    abi::MemHandle release() {
        const abi::MemHandle h = m_hHandle;
        m_hHandle = 0;
        return h;
    }
    void reset(abi::MemHandle handle = 0) {
        if (m_hHandle != 0) FreeHandle(m_hHandle);
        m_hHandle = handle;
    }

private:
    abi::MemHandle m_hHandle;
};

}  // namespace mg::host

#endif
