// Poly1305 arithmetic on three limbs of 44, 44 and 42 bits, on the general
// registers: the vector paths make their powers of r with it.
#ifndef MG_CIPHER_POLY1305_LIMBS_H
#define MG_CIPHER_POLY1305_LIMBS_H

#include <cstdint>

#if defined(__SIZEOF_INT128__)

namespace mg::poly1305_limbs {

using U128 = unsigned __int128;
inline constexpr std::uint64_t kMask44 = 0xfffffffffff, kMask42 = 0x3ffffffffff;

// a * b in three-limb form, reduced (the middle limb may carry a few bits more).
inline void Mul44(const std::uint64_t* a, const std::uint64_t* b, std::uint64_t* out) {
    const std::uint64_t s1 = b[1] * 20, s2 = b[2] * 20;
    const U128 d0 = U128{a[0]} * b[0] + U128{a[1]} * s2 + U128{a[2]} * s1;
    U128 d1 = U128{a[0]} * b[1] + U128{a[1]} * b[0] + U128{a[2]} * s2;
    U128 d2 = U128{a[0]} * b[2] + U128{a[1]} * b[1] + U128{a[2]} * b[0];
    std::uint64_t c = static_cast<std::uint64_t>(d0 >> 44);
    out[0] = static_cast<std::uint64_t>(d0) & kMask44;
    d1 += c;
    c = static_cast<std::uint64_t>(d1 >> 44);
    out[1] = static_cast<std::uint64_t>(d1) & kMask44;
    d2 += c;
    c = static_cast<std::uint64_t>(d2 >> 42);
    out[2] = static_cast<std::uint64_t>(d2) & kMask42;
    out[0] += c * 5;
    c = out[0] >> 44;
    out[0] &= kMask44;
    out[1] += c;
}

}  // namespace mg::poly1305_limbs

#endif

#endif
