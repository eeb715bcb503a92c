#include "fuzz/fuzz_input.h"

#include <limits>

namespace mg::fuzz {

std::uint8_t FuzzInput::Byte() { return m_iPos < m_iSize ? m_pData[m_iPos++] : 0; }

std::uint16_t FuzzInput::U16() {
    const std::uint16_t lo = Byte();
    return static_cast<std::uint16_t>(lo | Byte() << 8);
}

std::uint32_t FuzzInput::U32() {
    const std::uint32_t lo = U16();
    return lo | static_cast<std::uint32_t>(U16()) << 16;
}

std::int32_t FuzzInput::Integer() {
    const std::uint8_t kind = Byte();
    switch (kind % 8) {
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
    if (n > Remaining()) n = Remaining();
    std::string out(reinterpret_cast<const char*>(m_pData + m_iPos), n);
    m_iPos += n;
    return out;
}

std::string FuzzInput::Rest() {
    std::string out(reinterpret_cast<const char*>(m_pData + m_iPos), Remaining());
    m_iPos = m_iSize;
    return out;
}

}  // namespace mg::fuzz
