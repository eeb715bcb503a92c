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
// Absorbs `groups` * 64 bytes of full 16-byte blocks into h under r (clamped),
// both as five 26-bit limbs (h's may be a few bits wider); h leaves carried.
void Poly1305Avx2Blocks26(std::uint64_t* h, const std::uint64_t* r, const unsigned char* m, std::size_t groups);
// The same on the three-limb (44, 44, 42 bits) state of the 64-bit portable path.
void Poly1305Avx2Blocks(std::uint64_t* h, const std::uint64_t* r, const unsigned char* m, std::size_t groups);

}  // namespace mg

#endif
