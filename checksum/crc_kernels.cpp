#include "checksum/crc_kernels.h"

namespace mg {

namespace {

bool Always(const CpuFeatures&) { return true; }

#if defined(__i386__) || defined(__x86_64__)
bool HasClmul(const CpuFeatures& cpu) { return cpu.pclmul && cpu.sse41 && cpu.ssse3; }
bool HasVpclmul(const CpuFeatures& cpu) { return HasClmul(cpu) && cpu.vpclmul && cpu.avx512f && cpu.avx512bw; }
bool HasVpclmul256(const CpuFeatures& cpu) { return HasClmul(cpu) && cpu.vpclmul && cpu.avx2; }
#endif

constexpr CrcKernels kKernels[] = {
#if defined(__i386__) || defined(__x86_64__)
    {"vpclmul", Crc32Vpclmul, Crc16Vpclmul, Crc16UntilNulVpclmul, HasVpclmul, 3},
    {"vpclmul256", Crc32Vpclmul256, Crc16Vpclmul256, Crc16UntilNulVpclmul256, HasVpclmul256, 2},
    {"pclmul", Crc32Clmul, Crc16Clmul, Crc16UntilNulClmul, HasClmul, 1},
#endif
    {"portable", Crc32Portable, Crc16Portable, Crc16UntilNulPortable, Always, 0},
};

}  // namespace

std::span<const CrcKernels> AllCrcKernels() { return kKernels; }

const CrcKernels& ChooseCrcKernels(const CpuFeatures& cpu, int limit) {
    for (const auto& k : kKernels)
        if (k.tier <= limit && k.usable(cpu)) return k;
    return kKernels[sizeof kKernels / sizeof kKernels[0] - 1];
}

}  // namespace mg
