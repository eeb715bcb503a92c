// Poly1305 on the 52-bit multiply-add instructions of AVX-512 (IFMA): eight
// interleaved accumulators in the three-limb (44-bit) form of the portable
// 64-bit path, each advanced by r^8 per step and joined with r^8 .. r at the
// end. One multiply-add yields what takes four 32-bit multiplies elsewhere.
#ifndef MG_CIPHER_POLY1305_IFMA_H
#define MG_CIPHER_POLY1305_IFMA_H

#include <cstddef>
#include <cstdint>

namespace mg {

constexpr std::size_t kPoly1305IfmaPowers = 8 * 3;

// Whether this build and CPU have the path (x86-64 with AVX-512 IFMA, not Windows, not forced portable).
bool Poly1305IfmaAvailable();
// r, r^2 .. r^8 (three limbs each) from the clamped r, computed once per key.
void Poly1305IfmaPowers(const std::uint64_t* r, std::uint64_t* powers);
// Absorbs `groups` * 128 bytes of full 16-byte blocks into h.
void Poly1305IfmaBlocks(std::uint64_t* h, const std::uint64_t* powers, const unsigned char* m, std::size_t groups);

}  // namespace mg

#endif
