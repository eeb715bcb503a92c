#ifndef MG_HOST_SLOT_TABLE_REF_H
#define MG_HOST_SLOT_TABLE_REF_H

#include "marrowgate/host_abi.h"

namespace mg::host {

// Values the library keeps for the host (requests 16 to 18). Slot 0 is never
// used, so that 0 can answer "no slot".
class SlotTableRef {
public:
    explicit SlotTableRef(abi::SlotTable* table) : m_pTable(table) {}

    std::size_t Register(abi::Word value);  // slot index, 0 when full
    void Release(std::size_t index);
    abi::Word Lookup(std::size_t index) const;

private:
    bool Valid(std::size_t index) const;

    abi::SlotTable* m_pTable;
};

}  // namespace mg::host

#endif
