// Blowfish on many independent blocks at once, for ECB and the decryption of
// CBC and CFB: tier 1 interleaves eight blocks on the general registers, so
// that the S-box loads of one block overlap the arithmetic of the others.
// (Sixteen blocks in AVX-512 lanes with gathered S-box reads ran at two
// thirds of that speed on the machines measured, so there is no such tier.)
// The serial modes run one block at a time.
#ifndef MG_CIPHER_BLOWFISH_ACCEL_H
#define MG_CIPHER_BLOWFISH_ACCEL_H

#include <cstddef>
#include <cstdint>

namespace mg::blowfish_accel {

// The key schedule: the P-array and the four S-boxes, one after another.
struct Tables {
    const std::uint32_t* p;
    const std::uint32_t (*s)[256];
};

using RunFn = void (*)(const Tables& tables, std::int32_t mode, unsigned char* chain, const unsigned char* in,
                       unsigned char* out, std::size_t count);

struct Kernels {
    RunFn encrypt;
    RunFn decrypt;
};

// The best kernels of a tier no higher than limit that this CPU runs, and
// that tier in *level; nullptr (and 0) when only the portable code qualifies.
const Kernels* Select(std::int32_t limit, std::int32_t* level);

}  // namespace mg::blowfish_accel

#endif
