// Poly1305 on AVX2 registers: four interleaved accumulators, each advanced
// by r^4 per step, joined with r^4, r^3, r^2 and r at the end. Works on the
// three-limb (44-bit) state of the portable 64-bit path.
#ifndef MG_CIPHER_POLY1305_AVX2_H
#define MG_CIPHER_POLY1305_AVX2_H

#include <cstddef>
#include <cstdint>

namespace mg {

// Whether this build and CPU have the path (x86-64 with AVX2, not forced portable).
bool Poly1305Avx2Available();
// Absorbs `groups` * 64 bytes of full 16-byte blocks into h (three limbs of
// 44, 44 and 42 bits) under r (clamped, same limbs).
void Poly1305Avx2Blocks(std::uint64_t* h, const std::uint64_t* r, const unsigned char* m, std::size_t groups);

}  // namespace mg

#endif
