// Argon2's compression function for x86-64 with AVX2 (argon2_avx.inc).
#include "kdf/argon2_kernels.h"

#if defined(__x86_64__)

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>

namespace mg {

namespace argon2_avx2 {
#define MG_ARGON2_TARGET __attribute__((target("avx2")))
#include "kdf/argon2_avx.inc"
#undef MG_ARGON2_TARGET
}  // namespace argon2_avx2

void Argon2FillAvx2(const Argon2Block& prev, const Argon2Block& ref, Argon2Block& next, bool withXor) {
    argon2_avx2::Fill(prev, ref, next, withXor);
}

}  // namespace mg

#endif
