// Turns a fuzzer's byte string into the decisions of one run. Once the bytes
// are used up every further decision reads as zero, so any input, also an
// empty one, is a complete run.
#ifndef MG_FUZZ_FUZZ_INPUT_H
#define MG_FUZZ_FUZZ_INPUT_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace mg::fuzz {

class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : m_pData(data), m_iSize(size) {}

    bool Empty() const { return m_iPos >= m_iSize; }
    std::size_t Remaining() const { return m_iSize - m_iPos; }

    std::uint8_t Byte();
    bool Bool() { return (Byte() & 1) != 0; }
    std::uint16_t U16();
    std::uint32_t U32();
    // A value in [0, n) for n > 0.
    std::uint32_t Below(std::uint32_t n) { return n == 0 ? 0 : U32() % n; }
    // One of the values in `choices`.
    template <class T, std::size_t N>
    T Pick(const T (&choices)[N]) {
        return choices[Byte() % N];
    }
    // An integer argument: mostly small, sometimes one of the edges of the
    // 32-bit range or an arbitrary value.
    std::int32_t Integer();
    // Up to `limit` bytes, the length taken from the input.
    std::string Bytes(std::size_t limit);
    // Everything not consumed yet.
    std::string Rest();

private:
    const std::uint8_t* m_pData;
    std::size_t m_iSize;
    std::size_t m_iPos = 0;
};

}  // namespace mg::fuzz

#endif
