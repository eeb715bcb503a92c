// Turns a fuzzer's byte string into the decisions of one run. Once the bytes
// are used up every further decision reads as zero, so any input, also an
// empty one, is a complete run.
#ifndef MG_FUZZ_FUZZ_INPUT_H
#define MG_FUZZ_FUZZ_INPUT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace mg::fuzz {

using ByteVector = std::vector<unsigned char>;

// Reports a broken property and ends the run, so that libFuzzer keeps the input.
[[noreturn]] void Fail(const std::string& what);

class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : m_pData(data), m_iSize(size) {}

    bool Empty() const { return m_iPos >= m_iSize; }

    std::uint8_t Byte() { return m_iPos < m_iSize ? m_pData[m_iPos++] : 0; }
    bool Bool() { return (Byte() & 1) != 0; }
    std::uint16_t U16();
    std::uint32_t U32();
    // A value in [0, n) for n > 0.
    std::uint32_t Below(std::uint32_t n) { return n == 0 ? 0 : U32() % n; }
    template <class T, std::size_t N>
    const T& Pick(const T (&choices)[N]) {
        return choices[Byte() % N];
    }
    // An integer argument: mostly small, sometimes one of the edges of the
    // 32-bit range or an arbitrary value.
    std::int32_t Integer();
    // Up to `limit` bytes, the length taken from the input.
    std::string Bytes(std::size_t limit);
    // Exactly n bytes (keys, IVs, start states).
    ByteVector Fixed(std::size_t n);
    // Everything not consumed yet.
    std::string Rest();
    // Lengths of calls, each a whole number of units but at most `most`
    // units, that add up to `total`; the rest in one call once the input is out.
    std::vector<std::size_t> Splits(std::size_t total, std::size_t unit, std::uint32_t most);

private:
    const std::uint8_t* m_pData;
    std::size_t m_iSize;
    std::size_t m_iPos = 0;
};

}  // namespace mg::fuzz

#endif
