// The Poly1305 one-time authenticator of RFC 8439. Where the compiler has
// 128-bit integers (64-bit builds) on three 44-bit limbs; elsewhere on five
// 26-bit limbs, so that 32-bit builds multiply in single machine instructions.
#ifndef MG_CIPHER_POLY1305_H
#define MG_CIPHER_POLY1305_H

#include <cstddef>
#include <cstdint>

#include "cipher/poly1305_avx2.h"
#include "cipher/poly1305_ifma.h"

namespace mg {

class CPoly1305 {
public:
    static constexpr std::size_t kKeyLength = 32;
    static constexpr std::size_t kTagLength = 16;

    // A key must never authenticate two messages.
    explicit CPoly1305(const unsigned char* key);
    ~CPoly1305();
    CPoly1305(const CPoly1305&) = delete;
    CPoly1305& operator=(const CPoly1305&) = delete;

    void Update(const unsigned char* data, std::size_t length);
    void Final(unsigned char* tag);

private:
    void Blocks(const unsigned char* data, std::size_t blocks, bool full);

    // r and the accumulator h: three 44-bit or five 26-bit limbs.
    std::uint64_t m_aR[5];
    std::uint64_t m_aH[5];
    std::uint32_t m_aPad[4];
    // r to r^16 for the sixteen-lane path, computed at its first use.
    std::uint64_t m_aPowers[kPoly1305IfmaTable];
    bool m_bPowers;
    // r to r^8 for the AVX2 path, likewise.
    std::uint64_t m_aPowers26[kPoly1305Avx2Table];
    bool m_bPowers26;
    unsigned char m_aBuffer[16];
    std::size_t m_iBuffered;
};

// Compares two tags in time that does not depend on where they differ.
bool TagsEqual(const unsigned char* a, const unsigned char* b, std::size_t length);

}  // namespace mg

#endif
