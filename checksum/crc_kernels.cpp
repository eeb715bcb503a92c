#include "checksum/crc_kernels.h"

namespace mg {

namespace {

bool Always(const CpuFeatures&) { return true; }

#if defined(__i386__) || defined(__x86_64__)
bool HasClmul(const CpuFeatures& cpu) { return cpu.pclmul && cpu.sse41 && cpu.ssse3; }
bool HasVpclmul(const CpuFeatures& cpu) { return HasClmul(cpu) && cpu.vpclmul && cpu.avx512f && cpu.avx512bw; }
#endif

constexpr CrcKernels kKernels[] = {
#if defined(__i386__) || defined(__x86_64__)
    {"vpclmul", Crc32Vpclmul, Crc16Vpclmul, Crc16UntilNulVpclmul, HasVpclmul},
    {"pclmul", Crc32Clmul, Crc16Clmul, Crc16UntilNulClmul, HasClmul},
#endif
    {"portable", Crc32Portable, Crc16Portable, Crc16UntilNulPortable, Always},
};

}  // namespace

std::span<const CrcKernels> AllCrcKernels() { return kKernels; }

const CrcKernels& ChooseCrcKernels(const CpuFeatures& cpu) {
    for (const auto& k : kKernels)
        if (k.usable(cpu)) return k;
    return kKernels[sizeof kKernels / sizeof kKernels[0] - 1];
}

}  // namespace mg
