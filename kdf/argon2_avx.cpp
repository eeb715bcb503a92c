// Argon2's compression function for x86-64 with AVX2 (argon2_avx.inc).
#include "kdf/argon2_kernels.h"

#if defined(__x86_64__)

#include "cpu/x86_intrinsics.h"

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
