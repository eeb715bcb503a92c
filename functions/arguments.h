#ifndef MG_FUNCTIONS_ARGUMENTS_H
#define MG_FUNCTIONS_ARGUMENTS_H

#include <cstdint>

#include "marrowgate/host_abi.h"

namespace mg::functions {

// The arguments of one call, read by 1-based position as the host counts them.
// The host has matched them against the type string, so each is read by its
// declared type; an optional argument counts as given when the count reaches it.
class Arguments {
public:
    explicit Arguments(abi::ParamBlock* block) : m_pBlock(block) {}

    int Count() const { return m_pBlock->count; }
    bool Given(int position) const { return Count() >= position; }
    abi::HostValue& Value(int position) const { return *abi::ParamAt(m_pBlock, static_cast<std::size_t>(position - 1)); }

    abi::MemHandle Handle(int position) const { return Value(position).handle; }
    std::int32_t Length(int position) const { return Value(position).length; }
    std::int32_t Integer(int position) const { return Value(position).integer; }
    // The given integer, or `fallback` when the argument is absent.
    std::int32_t IntegerOr(int position, std::int32_t fallback) const {
        return Given(position) ? Integer(position) : fallback;
    }
    // A logical counts only when given; the host's truth value is its low byte.
    bool Logical(int position) const {
        return Given(position) && (Value(position).length & 0xFF) != 0;
    }
    // Given and exactly true (truth value 1).
    bool LogicalIsOne(int position) const { return Given(position) && Value(position).length == 1; }

    abi::ParamBlock* Block() const { return m_pBlock; }

private:
    abi::ParamBlock* m_pBlock;
};

}  // namespace mg::functions

#endif
