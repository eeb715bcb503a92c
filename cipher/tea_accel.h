// TEA (the XTEA block function) on vector registers: every lane holds one
// block, and since the round constants depend on the key alone, all lanes
// run the same instructions. Tiers: 1 SSE2 (4 blocks a register), 2 AVX2
// (8), 3 AVX-512 (16). The serial modes run one block at a time on the
// general registers, with the round constants precomputed.
#ifndef MG_CIPHER_TEA_ACCEL_H
#define MG_CIPHER_TEA_ACCEL_H

#include <cstddef>
#include <cstdint>

namespace mg::tea_accel {

// The constant of each half round, sum + key word, in encryption order:
// c[2i] goes with the update of the left word in cycle i, c[2i + 1] with the
// right word.
struct Schedule {
    std::uint32_t c[64];
};

void MakeSchedule(const std::uint32_t key[4], Schedule& schedule);

using RunFn = void (*)(const Schedule& schedule, std::int32_t mode, unsigned char* chain, const unsigned char* in,
                       unsigned char* out, std::size_t count);

struct Kernels {
    RunFn encrypt;
    RunFn decrypt;
};

// The best kernels of a tier no higher than limit that this CPU runs, and
// that tier in *level; nullptr (and 0) when only the portable code qualifies.
const Kernels* Select(std::int32_t limit, std::int32_t* level);

}  // namespace mg::tea_accel

#endif
