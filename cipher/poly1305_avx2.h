// Poly1305 on AVX2 registers: interleaved accumulators on five 26-bit limbs
// (eight lanes in 64-bit builds, four in 32-bit ones with their eight vector
// registers), each advanced by the lane count's power of r per step and
// joined with the powers down to r at the end.
#ifndef MG_CIPHER_POLY1305_AVX2_H
#define MG_CIPHER_POLY1305_AVX2_H

#include <cstddef>
#include <cstdint>

namespace mg {

// Whether this build and CPU have the path (AVX2, not forced portable; not
// 64-bit Windows, whose stack is too little aligned for its spills).
bool Poly1305Avx2Available();
// r, r^2, ... r^8, five limbs each: made once per key.
inline constexpr std::size_t kPoly1305Avx2Table = 40;
// The table from r as five 26-bit limbs (clamped).
void Poly1305Avx2Powers26(const std::uint64_t* r, std::uint64_t* table);
// Absorbs `groups` * 64 bytes of full 16-byte blocks into h (five 26-bit
// limbs, which may be a few bits wider; h leaves carried).
void Poly1305Avx2Blocks26(std::uint64_t* h, const std::uint64_t* table, const unsigned char* m, std::size_t groups);
// The same on the three-limb (44, 44, 42 bits) r and h of the 64-bit portable path.
void Poly1305Avx2Powers(const std::uint64_t* r, std::uint64_t* table);
void Poly1305Avx2Blocks(std::uint64_t* h, const std::uint64_t* table, const unsigned char* m, std::size_t groups);

}  // namespace mg

#endif
