// Which instruction-set extensions the accelerated paths may use. Read once;
// setting MG_PORTABLE=1 in the environment turns every extension off so that
// the portable code paths can be tested and compared on any machine, and
// MG_ACCEL_LIMIT=<tier> turns off those above a tier, so that one machine
// with AVX-512 also measures the processors without it.
#ifndef MG_CPU_CPU_FEATURES_H
#define MG_CPU_CPU_FEATURES_H

namespace mg {

struct CpuFeatures {
    bool sse2 = false;
    bool ssse3 = false;
    bool sse41 = false;
    bool aesni = false;
    bool pclmul = false;
    bool sha = false;
    bool avx = false;
    bool avx2 = false;
    bool bmi1 = false;
    bool bmi2 = false;
    bool avx512f = false;
    bool avx512bw = false;
    bool avx512vl = false;
    bool avx512ifma = false;  // 52-bit multiply-add (Poly1305)
    bool vaes = false;
    bool vpclmul = false;
};

// The features of this CPU that the operating system lets us use, or none
// when MG_PORTABLE is set to a non-empty value other than "0"; capped by
// MG_ACCEL_LIMIT when that holds a tier number.
const CpuFeatures& Cpu();

// The implementation tiers, as the accelerated paths number them.
inline constexpr int kTierPortable = 0;
inline constexpr int kTier128 = 1;       // SSE, AES-NI, PCLMULQDQ, SHA: 128-bit registers
inline constexpr int kTier256 = 2;       // AVX, AVX2, VAES and VPCLMULQDQ on 256-bit registers
inline constexpr int kTierAvx512 = 3;    // everything, AVX-512 included

// `features` without the extensions above `tier`. Scalar extensions (BMI2)
// count as tier 2, with the AVX2 they come with.
CpuFeatures CapFeatures(CpuFeatures features, int tier);

// The features as detected, ignoring MG_PORTABLE; for tests and benchmarks.
CpuFeatures DetectCpu();

}  // namespace mg

#endif
