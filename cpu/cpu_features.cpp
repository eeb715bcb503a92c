#include "cpu/cpu_features.h"

#include <cstdlib>
#include <cstring>

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#endif

namespace mg {
namespace {

#if defined(__i386__) || defined(__x86_64__)
unsigned long long ReadXcr0() {
    unsigned eax, edx;
    __asm__ volatile("xgetbv" : "=a"(eax), "=d"(edx) : "c"(0));
    return (static_cast<unsigned long long>(edx) << 32) | eax;
}
#endif

bool PortableForced() {
    const char* value = std::getenv("MG_PORTABLE");
    return value != nullptr && *value != 0 && std::strcmp(value, "0") != 0;
}

// The tier named by MG_ACCEL_LIMIT, or the highest when it names none.
int AccelLimit() {
    const char* value = std::getenv("MG_ACCEL_LIMIT");
    if (value == nullptr || *value < '0' || *value > '9') return kTierAvx512;
    return std::atoi(value);
}

}  // namespace

CpuFeatures CapFeatures(CpuFeatures f, int tier) {
    if (tier < kTierAvx512) f.avx512f = f.avx512bw = f.avx512vl = f.avx512ifma = false;
    if (tier < kTier256) f.avx = f.avx2 = f.bmi1 = f.bmi2 = f.vaes = f.vpclmul = false;
    if (tier < kTier128) f = CpuFeatures{};
    return f;
}

CpuFeatures DetectCpu() {
    CpuFeatures f;
#if defined(__i386__) || defined(__x86_64__)
    unsigned a, b, c, d;
    if (__get_cpuid_max(0, nullptr) < 1) return f;
    __cpuid(1, a, b, c, d);
    f.sse2 = d & (1u << 26);
    f.ssse3 = c & (1u << 9);
    f.sse41 = c & (1u << 19);
    f.aesni = c & (1u << 25);
    f.pclmul = c & (1u << 1);
    const bool osxsave = c & (1u << 27);
    const bool avxCpu = c & (1u << 28);
    const unsigned long long xcr0 = osxsave ? ReadXcr0() : 0;
    const bool ymm = (xcr0 & 0x6) == 0x6;
    const bool zmm = (xcr0 & 0xE6) == 0xE6;
    f.avx = avxCpu && ymm;
    if (__get_cpuid_max(0, nullptr) >= 7) {
        __cpuid_count(7, 0, a, b, c, d);
        f.sha = b & (1u << 29);
        f.avx2 = f.avx && (b & (1u << 5));
        f.bmi1 = b & (1u << 3);
        f.bmi2 = b & (1u << 8);
        f.avx512f = zmm && (b & (1u << 16));
        f.avx512bw = f.avx512f && (b & (1u << 30));
        f.avx512vl = f.avx512f && (b & (1u << 31));
        f.avx512ifma = f.avx512f && (b & (1u << 21));
        f.vaes = f.avx && (c & (1u << 9));
        f.vpclmul = f.avx && (c & (1u << 10));
    }
#endif
    return f;
}

const CpuFeatures& Cpu() {
    static const CpuFeatures features = PortableForced() ? CpuFeatures{} : CapFeatures(DetectCpu(), AccelLimit());
    return features;
}

}  // namespace mg
