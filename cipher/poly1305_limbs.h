// Poly1305 arithmetic on three limbs of 44, 44 and 42 bits, on the general
// registers: the vector paths make their powers of r with it.
#ifndef MG_CIPHER_POLY1305_LIMBS_H
#define MG_CIPHER_POLY1305_LIMBS_H

#include <cstdint>

#if defined(__SIZEOF_INT128__)

namespace mg::poly1305_limbs {

using U128 = unsigned __int128;
inline constexpr std::uint64_t kMask44 = 0xfffffffffff, kMask42 = 0x3ffffffffff;

// A product's three column sums carried back to limbs of 44, 44 and 42 bits
// (the middle one may carry a few bits more), 2^130 folded in as 5.
inline void Reduce44(const U128 d0, U128 d1, U128 d2, std::uint64_t& h0, std::uint64_t& h1, std::uint64_t& h2) {
    std::uint64_t c = static_cast<std::uint64_t>(d0 >> 44);
    h0 = static_cast<std::uint64_t>(d0) & kMask44;
    d1 += c;
    c = static_cast<std::uint64_t>(d1 >> 44);
    h1 = static_cast<std::uint64_t>(d1) & kMask44;
    d2 += c;
    c = static_cast<std::uint64_t>(d2 >> 42);
    h2 = static_cast<std::uint64_t>(d2) & kMask42;
    h0 += c * 5;
    c = h0 >> 44;
    h0 &= kMask44;
    h1 += c;
}

// a * b in three-limb form, reduced.
inline void Mul44(const std::uint64_t* a, const std::uint64_t* b, std::uint64_t* out) {
    const std::uint64_t s1 = b[1] * 20, s2 = b[2] * 20;
    Reduce44(U128{a[0]} * b[0] + U128{a[1]} * s2 + U128{a[2]} * s1,
             U128{a[0]} * b[1] + U128{a[1]} * b[0] + U128{a[2]} * s2,
             U128{a[0]} * b[2] + U128{a[1]} * b[1] + U128{a[2]} * b[0], out[0], out[1], out[2]);
}

}  // namespace mg::poly1305_limbs

#endif

#endif
