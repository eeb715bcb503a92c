// Poly1305 on the 52-bit multiply-add instructions of AVX-512 (IFMA): sixteen
// interleaved accumulators in the three-limb (44-bit) form of the portable
// 64-bit path, each advanced by r^16 per step and joined with r^16 .. r at
// the end. One multiply-add yields what takes four 32-bit multiplies elsewhere.
#ifndef MG_CIPHER_POLY1305_IFMA_H
#define MG_CIPHER_POLY1305_IFMA_H

#include <cstddef>
#include <cstdint>

namespace mg {

// The powers of r laid out as the lanes load them.
constexpr std::size_t kPoly1305IfmaTable = 85;

// Whether this build and CPU have the path (x86-64 with AVX-512 IFMA, not Windows, not forced portable).
bool Poly1305IfmaAvailable();
// r, r^2 .. r^16 from the clamped r, computed once per key.
void Poly1305IfmaPowers(const std::uint64_t* r, std::uint64_t* table);
// Absorbs `pairs` * 256 bytes of full 16-byte blocks into h.
void Poly1305IfmaBlocks(std::uint64_t* h, const std::uint64_t* table, const unsigned char* m, std::size_t pairs);

}  // namespace mg

#endif
