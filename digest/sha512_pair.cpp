// SHA-384/512 for 32-bit mode on processors with AVX2 but no AVX-512: the
// rounds in 128-bit registers with e and a side by side in one register,
// (e, a), and likewise (f, b), (g, c), (h, d). AVX2's per-lane shift counts
// then compute Sigma1(e) and Sigma0(a) with the same six shifts and five
// XORs, and one Ch does both Ch(e, f, g) and Maj(a, b, c), since
// Maj(a, b, c) = Ch(a ^ c, b, c). That halves the instructions of a round
// against one word per register (sha512_xmm.inc, which without AVX-512's
// rotations runs out of the eight registers and spills), at the price of
// two lane moves per round on the dependency chain.

#include "digest/digest_kernels.h"

#if defined(__i386__) || defined(__x86_64__)

#include <immintrin.h>

#include <utility>

#include "digest/sha_constants.h"

#define MG_PAIR_TARGET __attribute__((target("avx2")))
#define MG_PAIR_INLINE MG_PAIR_TARGET inline __attribute__((always_inline))

namespace mg {

namespace {

using V = __m128i;

MG_PAIR_INLINE V Load(const void* p) { return _mm_loadu_si128(static_cast<const V*>(p)); }

MG_PAIR_INLINE void Store(void* p, V x) { _mm_storeu_si128(static_cast<V*>(p), x); }

template <int N>
MG_PAIR_INLINE V Ror(V x) {
    return _mm_or_si128(_mm_srli_epi64(x, N), _mm_slli_epi64(x, 64 - N));
}

// Shift counts: low lane for Sigma1 of e, high lane for Sigma0 of a.
struct Counts {
    V r14_28, l50_36, r18_34, l46_30, r41_39, l23_25, high;
};

// Words t, t+1 of the schedule (t = 2p) plus their round constants. Every
// load covers exactly one earlier store, so the store buffer forwards it.
template <int P>
MG_PAIR_INLINE void ScheduleStep(std::uint64_t* w, std::uint64_t* wk) {
    constexpr int t = 2 * P;
    const V w16 = Load(w + t - 16), w2 = Load(w + t - 2);
    const V w15 = _mm_alignr_epi8(Load(w + t - 14), w16, 8);
    const V w7 = _mm_alignr_epi8(Load(w + t - 6), Load(w + t - 8), 8);
    const V s0 = _mm_xor_si128(_mm_xor_si128(Ror<1>(w15), Ror<8>(w15)), _mm_srli_epi64(w15, 7));
    const V s1 = _mm_xor_si128(_mm_xor_si128(Ror<19>(w2), Ror<61>(w2)), _mm_srli_epi64(w2, 6));
    const V words = _mm_add_epi64(_mm_add_epi64(w16, s0), _mm_add_epi64(w7, s1));
    Store(w + t, words);
    Store(wk + t, _mm_add_epi64(words, Load(kSha512K + t)));
}

template <std::size_t... P>
MG_PAIR_INLINE void Schedule(std::uint64_t* w, std::uint64_t* wk, std::index_sequence<P...>) {
    (ScheduleStep<static_cast<int>(P) + 8>(w, wk), ...);
}

// Round T: (e, a) and (f, b) in registers, (g, c) and (h, d) in a ring of
// four in memory, slots (T + 1) % 4 and T % 4; the new (e, a) goes to slot
// T % 4 once (h, d) is read. With only two pairs held, the compiler has
// registers enough for the temporaries of Sigma and does not spill them on
// the dependency chain (a spill there, a store and its reload, measured as
// costly as the rest of the round). The ring pointer goes through an empty
// asm every round, so that the compiler keeps those loads instead of holding
// the pairs in registers once more.
template <int T>
MG_PAIR_INLINE void Round(V& ea, V& fb, V*& ring, const Counts& c, const std::uint64_t* wk) {
    __asm__("" : "+r"(ring));
    const V gc = ring[(T + 1) % 4];
    const V x1 = _mm_xor_si128(_mm_srlv_epi64(ea, c.r14_28), _mm_sllv_epi64(ea, c.l50_36));
    const V x2 = _mm_xor_si128(_mm_srlv_epi64(ea, c.r18_34), _mm_sllv_epi64(ea, c.l46_30));
    const V x3 = _mm_xor_si128(_mm_srlv_epi64(ea, c.r41_39), _mm_sllv_epi64(ea, c.l23_25));
    const V sigma = _mm_xor_si128(_mm_xor_si128(x1, x2), x3);
    // (e, a ^ c) selects between (f, b) and (g, c): (Ch, Maj).
    const V select = _mm_xor_si128(ea, _mm_and_si128(gc, c.high));
    const V chMaj = _mm_xor_si128(gc, _mm_and_si128(select, _mm_xor_si128(fb, gc)));
    const V sum = _mm_add_epi64(sigma, chMaj);
    // (h + W + K, d) + sum: t1 in the low lane.
    const V hd = ring[T % 4];
    const V t1 = _mm_add_epi64(sum, _mm_add_epi64(hd, _mm_loadl_epi64(reinterpret_cast<const V*>(wk + T))));
    fb = ea;
    // (t1 + d, t1 + Sigma0 + Maj): the new e and a.
    ea = _mm_add_epi64(_mm_unpacklo_epi64(t1, t1), _mm_unpackhi_epi64(hd, sum));
    Store(ring + T % 4, ea);
}

template <std::size_t... T>
MG_PAIR_INLINE void Rounds(V& ea, V& fb, V* ring, const Counts& c, const std::uint64_t* wk,
                           std::index_sequence<T...>) {
    (Round<static_cast<int>(T)>(ea, fb, ring, c, wk), ...);
}

MG_PAIR_TARGET void Compress(std::uint64_t* state, const unsigned char* data, std::size_t blocks) {
    const V swap = _mm_set_epi8(8, 9, 10, 11, 12, 13, 14, 15, 0, 1, 2, 3, 4, 5, 6, 7);
    const Counts counts = {_mm_set_epi64x(28, 14), _mm_set_epi64x(36, 50), _mm_set_epi64x(34, 18),
                           _mm_set_epi64x(30, 46), _mm_set_epi64x(39, 41), _mm_set_epi64x(25, 23),
                           _mm_set_epi64x(-1, 0)};
    std::uint64_t w[80];
    std::uint64_t wk[80];
    // (e, a), (f, b), (g, c), (h, d) of the chaining value.
    V h[4];
    for (int i = 0; i < 4; ++i) {
        const std::uint64_t pair[2] = {state[4 + i], state[i]};
        h[i] = Load(pair);
    }
    for (; blocks != 0; --blocks, data += 128) {
        for (int p = 0; p < 8; ++p) {
            const V words = _mm_shuffle_epi8(Load(data + 16 * p), swap);
            Store(w + 2 * p, words);
            Store(wk + 2 * p, _mm_add_epi64(words, Load(kSha512K + 2 * p)));
        }
        Schedule(w, wk, std::make_index_sequence<32>());
        V ring[4] = {h[3], h[2], h[1], h[0]};
        V ea = h[0], fb = h[1];
        Rounds(ea, fb, ring, counts, wk, std::make_index_sequence<80>());
        // After round 79 slot 3 holds (e, a), 2 (f, b), 1 (g, c), 0 (h, d).
        V* r = ring;
        __asm__("" : "+r"(r));
        for (int i = 0; i < 4; ++i) h[i] = _mm_add_epi64(h[i], r[3 - i]);
    }
    for (int i = 0; i < 4; ++i) {
        std::uint64_t pair[2];
        Store(pair, h[i]);
        state[4 + i] = pair[0];
        state[i] = pair[1];
    }
}

}  // namespace

void Sha512CompressXmmPairAvx2(std::uint64_t* state, const unsigned char* data, std::size_t blocks) {
    Compress(state, data, blocks);
}

}  // namespace mg

#endif
