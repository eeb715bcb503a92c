// Argon2's compression function on 512-bit registers (AVX-512F): the
// whole 1 KiB block stays in sixteen of the thirty-two registers from the
// first xor to the last, and both passes of the permutation take two rows
// (or two columns) to a register, so each G step covers eight columns of
// BLAKE2b state at once.
//
// r[j] holds words 8j..8j+7: row i is r[2i] and r[2i+1]. A row pair is
// regrouped into a, b, c, d registers with 128-bit lane shuffles, a column
// pair with two-source permutations; the diagonal step rotates within each
// 256-bit half, which is one row or column. In 32-bit mode, with eight
// registers, the block lives on the stack and each group goes through the
// rounds alone, so that a, b, c, d and the temporaries fit.
#include "kdf/argon2_kernels.h"

#if defined(__x86_64__) || defined(__i386__)

#include "cpu/x86_intrinsics.h"

#define MG_AVX512 __attribute__((target("avx512f"))) inline __attribute__((always_inline))

namespace mg {
namespace {

#if defined(__x86_64__)
constexpr int kGroups = 2;
#else
constexpr int kGroups = 1;
#endif

MG_AVX512 __m512i BlaMka(__m512i x, __m512i y) {
    const __m512i z = _mm512_mul_epu32(x, y);
    return _mm512_add_epi64(_mm512_add_epi64(x, y), _mm512_add_epi64(z, z));
}

// v holds a, b, c, d of each group: v[0..3], then v[4..7].
template <int N>
MG_AVX512 void HalfRound(__m512i (&v)[N]) {
    for (int s = 0; s < N; s += 4) {
        v[s] = BlaMka(v[s], v[s + 1]);
        v[s + 3] = _mm512_ror_epi64(_mm512_xor_si512(v[s + 3], v[s]), 32);
    }
    for (int s = 0; s < N; s += 4) {
        v[s + 2] = BlaMka(v[s + 2], v[s + 3]);
        v[s + 1] = _mm512_ror_epi64(_mm512_xor_si512(v[s + 1], v[s + 2]), 24);
    }
    for (int s = 0; s < N; s += 4) {
        v[s] = BlaMka(v[s], v[s + 1]);
        v[s + 3] = _mm512_ror_epi64(_mm512_xor_si512(v[s + 3], v[s]), 16);
    }
    for (int s = 0; s < N; s += 4) {
        v[s + 2] = BlaMka(v[s + 2], v[s + 3]);
        v[s + 1] = _mm512_ror_epi64(_mm512_xor_si512(v[s + 1], v[s + 2]), 63);
    }
}

template <int N>
MG_AVX512 void FullRound(__m512i (&v)[N]) {
    HalfRound(v);
    for (int s = 0; s < N; s += 4) {
        v[s + 1] = _mm512_permutex_epi64(v[s + 1], _MM_SHUFFLE(0, 3, 2, 1));
        v[s + 2] = _mm512_permutex_epi64(v[s + 2], _MM_SHUFFLE(1, 0, 3, 2));
        v[s + 3] = _mm512_permutex_epi64(v[s + 3], _MM_SHUFFLE(2, 1, 0, 3));
    }
    HalfRound(v);
    for (int s = 0; s < N; s += 4) {
        v[s + 1] = _mm512_permutex_epi64(v[s + 1], _MM_SHUFFLE(2, 1, 0, 3));
        v[s + 2] = _mm512_permutex_epi64(v[s + 2], _MM_SHUFFLE(1, 0, 3, 2));
        v[s + 3] = _mm512_permutex_epi64(v[s + 3], _MM_SHUFFLE(0, 3, 2, 1));
    }
}

// Rows p, p + 1 (first group) and p + 2, p + 3 (second), p = 0 or 4.
MG_AVX512 void Rows(__m512i (&r)[16], int p) {
    for (int first = 0; first < 2; first += kGroups) {
        __m512i v[4 * kGroups];
        for (int g = 0; g < kGroups; ++g) {
            const int x = 2 * (p + 2 * (first + g)), y = x + 2;  // r[x], r[y]: the first halves of the two rows
            v[4 * g + 0] = _mm512_shuffle_i64x2(r[x], r[y], _MM_SHUFFLE(1, 0, 1, 0));
            v[4 * g + 1] = _mm512_shuffle_i64x2(r[x], r[y], _MM_SHUFFLE(3, 2, 3, 2));
            v[4 * g + 2] = _mm512_shuffle_i64x2(r[x + 1], r[y + 1], _MM_SHUFFLE(1, 0, 1, 0));
            v[4 * g + 3] = _mm512_shuffle_i64x2(r[x + 1], r[y + 1], _MM_SHUFFLE(3, 2, 3, 2));
        }
        FullRound(v);
        for (int g = 0; g < kGroups; ++g) {
            const int x = 2 * (p + 2 * (first + g)), y = x + 2;
            r[x] = _mm512_shuffle_i64x2(v[4 * g + 0], v[4 * g + 1], _MM_SHUFFLE(1, 0, 1, 0));
            r[y] = _mm512_shuffle_i64x2(v[4 * g + 0], v[4 * g + 1], _MM_SHUFFLE(3, 2, 3, 2));
            r[x + 1] = _mm512_shuffle_i64x2(v[4 * g + 2], v[4 * g + 3], _MM_SHUFFLE(1, 0, 1, 0));
            r[y + 1] = _mm512_shuffle_i64x2(v[4 * g + 2], v[4 * g + 3], _MM_SHUFFLE(3, 2, 3, 2));
        }
    }
}

// Columns 4h .. 4h + 3: the word pairs of lanes 0..3 of r[h], r[h + 2], ...
// First group columns 4h, 4h + 1, second 4h + 2, 4h + 3.
MG_AVX512 void Columns(__m512i (&r)[16], int h) {
    const __m512i low = _mm512_setr_epi64(0, 1, 8, 9, 2, 3, 10, 11);
    const __m512i high = _mm512_setr_epi64(4, 5, 12, 13, 6, 7, 14, 15);
    const __m512i evenLanes = _mm512_setr_epi64(0, 1, 4, 5, 8, 9, 12, 13);
    const __m512i oddLanes = _mm512_setr_epi64(2, 3, 6, 7, 10, 11, 14, 15);
    __m512i v[8];
    for (int k = 0; k < 4; ++k) {
        const int x = h + 4 * k, y = x + 2;  // rows 2k and 2k + 1
        v[k] = _mm512_permutex2var_epi64(r[x], low, r[y]);
        v[4 + k] = _mm512_permutex2var_epi64(r[x], high, r[y]);
    }
    if constexpr (kGroups == 2) {
        FullRound(v);
    } else {
        for (int first = 0; first < 8; first += 4) {
            __m512i w[4] = {v[first], v[first + 1], v[first + 2], v[first + 3]};
            FullRound(w);
            for (int k = 0; k < 4; ++k) v[first + k] = w[k];
        }
    }
    for (int k = 0; k < 4; ++k) {
        const int x = h + 4 * k, y = x + 2;
        r[x] = _mm512_permutex2var_epi64(v[k], evenLanes, v[4 + k]);
        r[y] = _mm512_permutex2var_epi64(v[k], oddLanes, v[4 + k]);
    }
}

MG_AVX512 __m512i Load(const std::uint64_t* p) { return _mm512_loadu_si512(p); }

}  // namespace

__attribute__((target("avx512f"))) void Argon2FillAvx512(const Argon2Block& prev, const Argon2Block& ref,
                                                          Argon2Block& next, bool withXor) {
    __m512i r[16];
    for (int j = 0; j < 16; ++j) r[j] = _mm512_xor_si512(Load(prev.v + 8 * j), Load(ref.v + 8 * j));
    Rows(r, 0);
    Rows(r, 4);
    Columns(r, 0);
    Columns(r, 1);
    // The input is read again rather than kept: next may be ref itself.
    for (int j = 0; j < 16; ++j) {
        __m512i keep = _mm512_xor_si512(Load(prev.v + 8 * j), Load(ref.v + 8 * j));
        if (withXor) keep = _mm512_xor_si512(keep, Load(next.v + 8 * j));
        _mm512_storeu_si512(next.v + 8 * j, _mm512_xor_si512(keep, r[j]));
    }
}

}  // namespace mg

#endif
