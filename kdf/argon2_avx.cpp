// Argon2's compression function for x86-64 with AVX2, and again with
// AVX-512VL's rotations (argon2_avx.inc).
#include "kdf/argon2_kernels.h"

#if defined(__x86_64__)

// GCC 12 reports the deliberately undefined values inside its own AVX-512
// headers as uninitialised once a function enables AVX-512 (a false
// positive of that compiler, fixed in later releases).
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>

namespace mg {

namespace argon2_avx2 {
#define MG_ARGON2_TARGET __attribute__((target("avx2")))
#define MG_ARGON2_AVX512 0
#include "kdf/argon2_avx.inc"
#undef MG_ARGON2_TARGET
#undef MG_ARGON2_AVX512
}  // namespace argon2_avx2

namespace argon2_avx512 {
#define MG_ARGON2_TARGET __attribute__((target("avx2,avx512f,avx512vl")))
#define MG_ARGON2_AVX512 1
#include "kdf/argon2_avx.inc"
#undef MG_ARGON2_TARGET
#undef MG_ARGON2_AVX512
}  // namespace argon2_avx512

void Argon2FillAvx2(const Argon2Block& prev, const Argon2Block& ref, Argon2Block& next, bool withXor) {
    argon2_avx2::Fill(prev, ref, next, withXor);
}

void Argon2FillAvx512(const Argon2Block& prev, const Argon2Block& ref, Argon2Block& next, bool withXor) {
    argon2_avx512::Fill(prev, ref, next, withXor);
}

}  // namespace mg

#endif
