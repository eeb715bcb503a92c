// Argon2's compression function with AVX2 (argon2_avx.inc), for x86-64 and
// 32-bit x86.
#include "kdf/argon2_kernels.h"

#if defined(__x86_64__) || defined(__i386__)

#include "cpu/x86_intrinsics.h"

namespace mg {

namespace argon2_avx2 {
#define MG_ARGON2_TARGET __attribute__((target("avx2")))
#if defined(__x86_64__)
#define MG_ARGON2_GROUPS 2
#else
#define MG_ARGON2_GROUPS 1
#endif
#include "kdf/argon2_avx.inc"
#undef MG_ARGON2_TARGET
#undef MG_ARGON2_GROUPS
}  // namespace argon2_avx2

void Argon2FillAvx2(const Argon2Block& prev, const Argon2Block& ref, Argon2Block& next, bool withXor) {
    argon2_avx2::Fill(prev, ref, next, withXor);
}

}  // namespace mg

#endif
