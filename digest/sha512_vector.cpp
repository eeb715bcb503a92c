// SHA-384/512 for x86-64: scalar rounds, vector message schedule
// (sha512_vector.inc), built for AVX2 and again for AVX-512VL, whose
// rotations and three-way xor shorten the schedule by a third.

#include "digest/digest_kernels.h"

#if defined(__x86_64__)

#include "cpu/x86_intrinsics.h"

#include <utility>

#include "digest/sha_constants.h"

namespace mg {

namespace sha512_avx2 {
#define MG_SHA512_TARGET __attribute__((target("avx2,bmi,bmi2")))
#define MG_SHA512_AVX512 0
#include "digest/sha512_vector.inc"
#undef MG_SHA512_TARGET
#undef MG_SHA512_AVX512
}  // namespace sha512_avx2

namespace sha512_avx512 {
#define MG_SHA512_TARGET __attribute__((target("avx2,bmi,bmi2,avx512f,avx512vl")))
#define MG_SHA512_AVX512 1
#include "digest/sha512_vector.inc"
#undef MG_SHA512_TARGET
#undef MG_SHA512_AVX512
}  // namespace sha512_avx512

void Sha512CompressAvx2(std::uint64_t* state, const unsigned char* data, std::size_t blocks) {
    sha512_avx2::Compress(state, data, blocks);
}

void Sha512CompressAvx512(std::uint64_t* state, const unsigned char* data, std::size_t blocks) {
    sha512_avx512::Compress(state, data, blocks);
}

}  // namespace mg

#endif
