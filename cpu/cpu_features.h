// Which instruction-set extensions the accelerated paths may use. Read once;
// setting MG_PORTABLE=1 in the environment turns every extension off so that
// the portable code paths can be tested and compared on any machine.
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
    bool vaes = false;
    bool vpclmul = false;
};

// The features of this CPU that the operating system lets us use, or none
// when MG_PORTABLE is set to a non-empty value other than "0".
const CpuFeatures& Cpu();

// The features as detected, ignoring MG_PORTABLE; for tests and benchmarks.
CpuFeatures DetectCpu();

}  // namespace mg

#endif
