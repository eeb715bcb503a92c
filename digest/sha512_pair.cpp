// SHA-384/512 with two words per 128-bit register (sha512_pair.inc), built
// for AVX2 and again for AVX-512VL. The 32-bit build's fast path; the 64-bit
// build carries it too so that both are compared with the portable code.

#include "digest/digest_kernels.h"

#if defined(__i386__) || defined(__x86_64__)

#include "cpu/x86_intrinsics.h"

#include <utility>

#include "digest/sha_constants.h"

namespace mg {

namespace sha512_pair_avx2 {
#define MG_PAIR_TARGET __attribute__((target("avx2")))
#define MG_PAIR_INLINE MG_PAIR_TARGET inline __attribute__((always_inline))
#define MG_PAIR_VL 0
#include "digest/sha512_pair.inc"
#undef MG_PAIR_TARGET
#undef MG_PAIR_INLINE
#undef MG_PAIR_VL
}  // namespace sha512_pair_avx2

namespace sha512_pair_avx512vl {
#define MG_PAIR_TARGET __attribute__((target("avx2,avx512f,avx512vl")))
#define MG_PAIR_INLINE MG_PAIR_TARGET inline __attribute__((always_inline))
#define MG_PAIR_VL 1
#include "digest/sha512_pair.inc"
#undef MG_PAIR_TARGET
#undef MG_PAIR_INLINE
#undef MG_PAIR_VL
}  // namespace sha512_pair_avx512vl

void Sha512CompressXmmPairAvx2(std::uint64_t* state, const unsigned char* data, std::size_t blocks) {
    sha512_pair_avx2::Compress(state, data, blocks);
}

void Sha512CompressXmmPairAvx512(std::uint64_t* state, const unsigned char* data, std::size_t blocks) {
    sha512_pair_avx512vl::Compress(state, data, blocks);
}

}  // namespace mg

#endif
