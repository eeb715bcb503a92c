#include "host/slot_table_ref.h"

namespace mg::host {

bool SlotTableRef::Valid(std::size_t index) const {
    return m_pTable != nullptr && index != 0 && index < m_pTable->capacity;
}

std::size_t SlotTableRef::Register(abi::Word value) {
    if (m_pTable == nullptr) return 0;
    std::size_t hint = m_pTable->hint == 0 ? 1 : m_pTable->hint;
    const std::size_t capacity = m_pTable->capacity;
    while (hint < capacity && abi::LoadWord(abi::SlotAt(m_pTable, hint)) != 0) ++hint;
    m_pTable->hint = static_cast<std::uint16_t>(hint);
    if (hint >= capacity) return 0;
    ++m_pTable->used;
    abi::StoreWord(abi::SlotAt(m_pTable, hint), value);
    return hint;
}

void SlotTableRef::Release(std::size_t index) {
    if (!Valid(index) || abi::LoadWord(abi::SlotAt(m_pTable, index)) == 0) return;
    --m_pTable->used;
    abi::StoreWord(abi::SlotAt(m_pTable, index), 0);
    if (index < m_pTable->hint) m_pTable->hint = static_cast<std::uint16_t>(index);
}

abi::Word SlotTableRef::Lookup(std::size_t index) const {
    return Valid(index) ? abi::LoadWord(abi::SlotAt(m_pTable, index)) : 0;
}

}  // namespace mg::host
