// A fuzzer's bytes as the decisions of one run; once they are used up every
// decision reads as zero, so any input, even an empty one, is a complete run.
#ifndef MG_FUZZ_FUZZ_INPUT_H
#define MG_FUZZ_FUZZ_INPUT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace mg::fuzz {

using ByteVector = std::vector<unsigned char>;

// Reports a broken property and aborts, so that libFuzzer keeps the input.
[[noreturn]] void Fail(const std::string& what);

class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : m_pData(data), m_iSize(size) {}

    bool Empty() const { return m_iPos >= m_iSize; }

    std::uint8_t Byte() { return m_iPos < m_iSize ? m_pData[m_iPos++] : 0; }
    bool Bool() { return (Byte() & 1) != 0; }
    std::uint16_t U16() { const std::uint16_t lo = Byte(); return static_cast<std::uint16_t>(lo | Byte() << 8); }
    std::uint32_t U32() { const std::uint32_t lo = U16(); return lo | static_cast<std::uint32_t>(U16()) << 16; }
    std::uint32_t Below(std::uint32_t n) { return n == 0 ? 0 : U32() % n; }
    template <class T, std::size_t N>
    const T& Pick(const T (&choices)[N]) {
        return choices[Byte() % N];
    }
    std::int32_t Integer();  // mostly small, sometimes an edge of the range or any value
    std::string Bytes(std::size_t limit);  // up to `limit` bytes, the length from the input
    ByteVector Fixed(std::size_t n);
    std::string Rest();
    // Call lengths of 1 to `most` units adding up to `total`; the rest in one once the input is out.
    std::vector<std::size_t> Splits(std::size_t total, std::size_t unit, std::uint32_t most);

private:
    const std::uint8_t* m_pData;
    std::size_t m_iSize;
    std::size_t m_iPos = 0;
};

}  // namespace mg::fuzz

#endif
