#include "fuzz/fuzz_input.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace mg::fuzz {

void Fail(const std::string& what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what.c_str());
    std::abort();
}

std::int32_t FuzzInput::Integer() {
    switch (Byte() % 8) {
        case 0: return std::numeric_limits<std::int32_t>::min();
        case 1: return std::numeric_limits<std::int32_t>::max();
        case 2: return -static_cast<std::int32_t>(Byte());
        case 3: return static_cast<std::int32_t>(U32());
        case 4: return static_cast<std::int32_t>(U16());
        default: return static_cast<std::int32_t>(Byte());
    }
}

std::string FuzzInput::Bytes(std::size_t limit) {
    std::size_t n = U16();
    if (n > limit) n %= limit + 1;
    if (n > m_iSize - m_iPos) n = m_iSize - m_iPos;
    std::string out(reinterpret_cast<const char*>(m_pData + m_iPos), n);
    m_iPos += n;
    return out;
}

ByteVector FuzzInput::Fixed(std::size_t n) {
    ByteVector out(n);
    for (auto& b : out) b = Byte();
    return out;
}

std::string FuzzInput::Rest() {
    std::string out(reinterpret_cast<const char*>(m_pData + m_iPos), m_iSize - m_iPos);
    m_iPos = m_iSize;
    return out;
}

std::vector<std::size_t> FuzzInput::Splits(std::size_t total, std::size_t unit, std::uint32_t most) {
    std::vector<std::size_t> parts;
    for (std::size_t left = total; left > 0;) {
        const std::size_t step = Empty() ? left : std::min(left, unit * (1 + Byte() % most));
        parts.push_back(step);
        left -= step;
    }
    return parts;
}

}  // namespace mg::fuzz
