#include "digest/digest_kernels.h"

namespace mg {

namespace {

bool Always(const CpuFeatures&) { return true; }

#if defined(__i386__) || defined(__x86_64__)
bool HasShaNi(const CpuFeatures& cpu) { return cpu.sha && cpu.sse41 && cpu.ssse3; }
bool HasSsse3(const CpuFeatures& cpu) { return cpu.ssse3; }
bool HasAvx(const CpuFeatures& cpu) { return cpu.avx && cpu.ssse3; }
bool HasAvxAvx512Vl(const CpuFeatures& cpu) { return cpu.avx && cpu.ssse3 && cpu.avx512f && cpu.avx512vl; }
bool HasAvx2Ssse3(const CpuFeatures& cpu) { return cpu.avx2 && cpu.ssse3; }
bool HasAvx2Avx512Vl(const CpuFeatures& cpu) { return HasAvx2Ssse3(cpu) && cpu.avx512f && cpu.avx512vl; }
#endif
#if defined(__x86_64__)
bool HasAvx2Bmi2(const CpuFeatures& cpu) { return cpu.avx2 && cpu.bmi1 && cpu.bmi2; }
bool HasAvx512Vl(const CpuFeatures& cpu) { return HasAvx2Bmi2(cpu) && cpu.avx512f && cpu.avx512vl; }
#endif

constexpr DigestKernel32 kMd5[] = {
    {"portable", Md5CompressPortable, Always, 0},
};

constexpr DigestKernel32 kSha1[] = {
#if defined(__i386__) || defined(__x86_64__)
    {"sha-ni", Sha1CompressShaNi, HasShaNi, 1},
#endif
    {"portable", Sha1CompressPortable, Always, 0},
};

constexpr DigestKernel32 kSha256[] = {
#if defined(__i386__) || defined(__x86_64__)
    {"sha-ni", Sha256CompressShaNi, HasShaNi, 1},
#endif
    {"portable", Sha256CompressPortable, Always, 0},
};

constexpr DigestKernel64 kSha512[] = {
#if defined(__x86_64__)
    {"avx512vl", Sha512CompressAvx512, HasAvx512Vl, 3},
    {"avx2", Sha512CompressAvx2, HasAvx2Bmi2, 2},
#endif
    // Scalar 64-bit rounds are faster where the general registers are 64
    // bits wide; these are chosen in 64-bit mode only without AVX2.
#if defined(__i386__) || defined(__x86_64__)
    {"xmm-pair-avx512vl", Sha512CompressXmmPairAvx512, HasAvx2Avx512Vl, 3},
    {"xmm-avx512vl", Sha512CompressXmmAvx512, HasAvxAvx512Vl, 3},
    {"xmm-pair-avx2", Sha512CompressXmmPairAvx2, HasAvx2Ssse3, 2},
    {"xmm-avx", Sha512CompressXmmAvx, HasAvx, 1},
    {"xmm-ssse3", Sha512CompressXmmSsse3, HasSsse3, 1},
#endif
    {"portable", Sha512CompressPortable, Always, 0},
};

constexpr DigestKernel32 kRipemd128[] = {
    {"portable", Ripemd128CompressPortable, Always, 0},
};

constexpr DigestKernel32 kRipemd160[] = {
    {"portable", Ripemd160CompressPortable, Always, 0},
};

}  // namespace

std::span<const DigestKernel32> Md5Kernels() { return kMd5; }
std::span<const DigestKernel32> Sha1Kernels() { return kSha1; }
std::span<const DigestKernel32> Sha256Kernels() { return kSha256; }
std::span<const DigestKernel64> Sha512Kernels() { return kSha512; }
std::span<const DigestKernel32> Ripemd128Kernels() { return kRipemd128; }
std::span<const DigestKernel32> Ripemd160Kernels() { return kRipemd160; }

}  // namespace mg
