// SHA-384/512 with the rounds in 128-bit vector registers (sha512_xmm.inc),
// built for SSSE3, again for AVX (three-operand forms, fewer register
// copies) and for AVX-512VL (rotations and three-way logic in one
// instruction each). The 32-bit build's fast path; the 64-bit build carries
// it too so that both are compared with the portable code everywhere.

#include "digest/digest_kernels.h"

#if defined(__i386__) || defined(__x86_64__)

#include "cpu/x86_intrinsics.h"

#include <utility>

#include "digest/sha_constants.h"

namespace mg {

namespace sha512_ssse3 {
#define MG_SHA512_TARGET __attribute__((target("ssse3")))
#define MG_SHA512_VL 0
#include "digest/sha512_xmm.inc"
#undef MG_SHA512_TARGET
#undef MG_SHA512_VL
}  // namespace sha512_ssse3

namespace sha512_avx {
#define MG_SHA512_TARGET __attribute__((target("avx")))
#define MG_SHA512_VL 0
#include "digest/sha512_xmm.inc"
#undef MG_SHA512_TARGET
#undef MG_SHA512_VL
}  // namespace sha512_avx

namespace sha512_avx512vl {
#define MG_SHA512_TARGET __attribute__((target("avx,avx512f,avx512vl")))
#define MG_SHA512_VL 1
#include "digest/sha512_xmm.inc"
#undef MG_SHA512_TARGET
#undef MG_SHA512_VL
}  // namespace sha512_avx512vl

void Sha512CompressXmmSsse3(std::uint64_t* state, const unsigned char* data, std::size_t blocks) {
    sha512_ssse3::Compress(state, data, blocks);
}

void Sha512CompressXmmAvx(std::uint64_t* state, const unsigned char* data, std::size_t blocks) {
    sha512_avx::Compress(state, data, blocks);
}

void Sha512CompressXmmAvx512(std::uint64_t* state, const unsigned char* data, std::size_t blocks) {
    sha512_avx512vl::Compress(state, data, blocks);
}

}  // namespace mg

#endif
