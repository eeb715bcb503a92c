// Argon2's compression function on 128-bit registers: each register holds two
// words, so a row or column of sixteen words is eight registers and the four
// G calls of each half-round run two at a time. SSE2 only, so that every
// 32-bit x86 processor the library runs on has it.
#include "kdf/argon2_kernels.h"
#include "cpu/x86_intrinsics.h"

#if defined(__i386__) || defined(__x86_64__)

#define MG_SSE2 __attribute__((target("sse2"))) inline __attribute__((always_inline))

namespace mg {
namespace {

MG_SSE2 __m128i Load(const std::uint64_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
MG_SSE2 void Store(std::uint64_t* p, __m128i x) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), x); }

MG_SSE2 __m128i BlaMka(__m128i x, __m128i y) {
    const __m128i z = _mm_mul_epu32(x, y);
    return _mm_add_epi64(_mm_add_epi64(x, y), _mm_add_epi64(z, z));
}
MG_SSE2 __m128i Rotr32(__m128i x) { return _mm_shuffle_epi32(x, _MM_SHUFFLE(2, 3, 0, 1)); }
MG_SSE2 __m128i Rotr24(__m128i x) { return _mm_or_si128(_mm_srli_epi64(x, 24), _mm_slli_epi64(x, 40)); }
MG_SSE2 __m128i Rotr16(__m128i x) {
    return _mm_shufflehi_epi16(_mm_shufflelo_epi16(x, _MM_SHUFFLE(0, 3, 2, 1)), _MM_SHUFFLE(0, 3, 2, 1));
}
MG_SSE2 __m128i Rotr63(__m128i x) { return _mm_xor_si128(_mm_srli_epi64(x, 63), _mm_add_epi64(x, x)); }

// v holds a0a1 a2a3 b0b1 b2b3 c0c1 c2c3 d0d1 d2d3.
MG_SSE2 void HalfRound(__m128i (&v)[8]) {
    for (int h = 0; h < 2; ++h) {
        v[h] = BlaMka(v[h], v[2 + h]);
        v[6 + h] = Rotr32(_mm_xor_si128(v[6 + h], v[h]));
        v[4 + h] = BlaMka(v[4 + h], v[6 + h]);
        v[2 + h] = Rotr24(_mm_xor_si128(v[2 + h], v[4 + h]));
    }
    for (int h = 0; h < 2; ++h) {
        v[h] = BlaMka(v[h], v[2 + h]);
        v[6 + h] = Rotr16(_mm_xor_si128(v[6 + h], v[h]));
        v[4 + h] = BlaMka(v[4 + h], v[6 + h]);
        v[2 + h] = Rotr63(_mm_xor_si128(v[2 + h], v[4 + h]));
    }
}

// Rotates b by one word, c by two and d by three, so that the diagonals
// stand in columns; Undiagonalize turns them back.
MG_SSE2 void Diagonalize(__m128i (&v)[8]) {
    const __m128i b0 = v[2], d0 = v[6];
    v[2] = _mm_unpackhi_epi64(b0, _mm_unpacklo_epi64(v[3], v[3]));
    v[3] = _mm_unpackhi_epi64(v[3], _mm_unpacklo_epi64(b0, b0));
    const __m128i c0 = v[4];
    v[4] = v[5];
    v[5] = c0;
    v[6] = _mm_unpackhi_epi64(v[7], _mm_unpacklo_epi64(d0, d0));
    v[7] = _mm_unpackhi_epi64(d0, _mm_unpacklo_epi64(v[7], v[7]));
}

MG_SSE2 void Undiagonalize(__m128i (&v)[8]) {
    const __m128i b0 = v[2], d0 = v[6];
    v[2] = _mm_unpackhi_epi64(v[3], _mm_unpacklo_epi64(b0, b0));
    v[3] = _mm_unpackhi_epi64(b0, _mm_unpacklo_epi64(v[3], v[3]));
    const __m128i c0 = v[4];
    v[4] = v[5];
    v[5] = c0;
    v[6] = _mm_unpackhi_epi64(d0, _mm_unpacklo_epi64(v[7], v[7]));
    v[7] = _mm_unpackhi_epi64(v[7], _mm_unpacklo_epi64(d0, d0));
}

// The sixteen words at base + offset[k] .. +1, k = 0..7.
MG_SSE2 void Round(std::uint64_t* base, const int (&offset)[8]) {
    __m128i v[8];
    for (int k = 0; k < 8; ++k) v[k] = Load(base + offset[k]);
    HalfRound(v);
    Diagonalize(v);
    HalfRound(v);
    Undiagonalize(v);
    for (int k = 0; k < 8; ++k) Store(base + offset[k], v[k]);
}

}  // namespace

__attribute__((target("sse2"))) void Argon2FillSse2(const Argon2Block& prev, const Argon2Block& ref,
                                                     Argon2Block& next, bool withXor) {
    // Plain word arrays: nothing here needs more than their own alignment.
    std::uint64_t r[Argon2Block::kWords];
    std::uint64_t keep[Argon2Block::kWords];
    for (std::size_t k = 0; k < Argon2Block::kWords; k += 2) {
        const __m128i x = _mm_xor_si128(Load(prev.v + k), Load(ref.v + k));
        Store(r + k, x);
        Store(keep + k, withXor ? _mm_xor_si128(x, Load(next.v + k)) : x);
    }
    static constexpr int kRow[8] = {0, 2, 4, 6, 8, 10, 12, 14};
    static constexpr int kColumn[8] = {0, 16, 32, 48, 64, 80, 96, 112};
    for (int row = 0; row < 8; ++row) Round(r + 16 * row, kRow);
    for (int col = 0; col < 8; ++col) Round(r + 2 * col, kColumn);
    for (std::size_t k = 0; k < Argon2Block::kWords; k += 2)
        Store(next.v + k, _mm_xor_si128(Load(keep + k), Load(r + k)));
}

}  // namespace mg

#endif
