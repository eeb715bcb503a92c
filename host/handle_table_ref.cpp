#include "host/handle_table_ref.h"

#include "host/platform.h"

namespace mg::host {
namespace {
// Each block starts with the handle's 16-bit tag; the data follows it.
constexpr std::size_t kTagSize = 2;
// Keep size + tag within what a 32-bit host can address.
constexpr std::size_t kMaxSize = 0x7FFFFFF0u;
}  // namespace

abi::Word HandleTableRef::Entry(std::size_t index) const {
    if (m_pTable == nullptr || index == 0 || index >= m_pTable->capacity) return 0;
    return abi::LoadWord(abi::HandleEntryAt(m_pTable, index));
}

void HandleTableRef::SetEntry(std::size_t index, abi::Word block) {
    abi::StoreWord(abi::HandleEntryAt(m_pTable, index), block);
}

abi::MemHandle HandleTableRef::Allocate(std::size_t size, std::uint16_t tag) {
    if (m_pTable == nullptr) return 0;
    // Entry 0 stands for "no handle" and is never handed out.
    std::size_t hint = m_pTable->hint == 0 ? 1 : m_pTable->hint;
    const std::size_t capacity = m_pTable->capacity;
    while (hint < capacity && abi::LoadWord(abi::HandleEntryAt(m_pTable, hint)) != 0) ++hint;
    m_pTable->hint = static_cast<std::uint16_t>(hint);
    if (hint >= capacity || size > kMaxSize) return 0;
    platform::Block block = platform::BlockAlloc(size + kTagSize);
    if (block == 0) return 0;
    auto* data = static_cast<unsigned char*>(platform::BlockLock(block));
    data[0] = static_cast<unsigned char>(tag & 0xFF);
    data[1] = static_cast<unsigned char>(tag >> 8);
    platform::BlockUnlock(block);
    SetEntry(hint, block);
    return static_cast<abi::MemHandle>(hint);
}

void HandleTableRef::Free(abi::MemHandle handle) {
    const abi::Word block = Entry(handle);
    if (block == 0) return;
    platform::BlockFree(block);
    SetEntry(handle, 0);
    if (handle < m_pTable->hint) m_pTable->hint = static_cast<std::uint16_t>(handle);
}

unsigned char* HandleTableRef::Address(abi::MemHandle handle) {
    const abi::Word block = Entry(handle);
    if (block == 0) return nullptr;
    auto* data = static_cast<unsigned char*>(platform::BlockLock(block));
    platform::BlockUnlock(block);
    return data == nullptr ? nullptr : data + kTagSize;
}

void HandleTableRef::Lock(abi::MemHandle handle) {
    const abi::Word block = Entry(handle);
    if (block != 0) platform::BlockLock(block);
}

void HandleTableRef::Unlock(abi::MemHandle handle) {
    const abi::Word block = Entry(handle);
    if (block != 0) platform::BlockUnlock(block);
}

bool HandleTableRef::Resize(abi::MemHandle handle, std::size_t size) {
    const abi::Word block = Entry(handle);
    if (block == 0 || size > kMaxSize) return false;
    const platform::Block moved = platform::BlockRealloc(block, size + kTagSize);
    if (moved == 0) return false;
    SetEntry(handle, moved);
    return true;
}

std::size_t HandleTableRef::Occupied() const {
    if (m_pTable == nullptr) return 0;
    std::size_t n = 0;
    for (std::size_t i = 1; i < m_pTable->capacity; ++i) n += Entry(i) != 0;
    return n;
}

}  // namespace mg::host
