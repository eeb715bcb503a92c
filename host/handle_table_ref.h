#ifndef MG_HOST_HANDLE_TABLE_REF_H
#define MG_HOST_HANDLE_TABLE_REF_H

#include "marrowgate/host_abi.h"

namespace mg::host {

// The operations the library serves on the host's memory-handle table. The
// table's storage belongs to the host; this is only a view of it. Index 0, an
// index at or beyond the capacity and a free entry all mean "no handle".
class HandleTableRef {
public:
    explicit HandleTableRef(abi::HandleTable* table) : m_pTable(table) {}

    abi::MemHandle Allocate(std::size_t size, std::uint16_t tag);
    void Free(abi::MemHandle handle);
    // Address of the data, valid while the handle is locked; nullptr when invalid.
    unsigned char* Address(abi::MemHandle handle);
    void Lock(abi::MemHandle handle);
    void Unlock(abi::MemHandle handle);
    bool Resize(abi::MemHandle handle, std::size_t size);
    // Occupied entries; for tests and diagnostics.
    std::size_t Occupied() const;

private:
    abi::Word Entry(std::size_t index) const;
    void SetEntry(std::size_t index, abi::Word block);

    abi::HandleTable* m_pTable;
};

}  // namespace mg::host

#endif
