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

// Shift counts: low lane for Sigma1 of e, high lane for Sigma0 of a.
struct Counts {
    V r14_28, l50_36, r18_34, l46_30, r41_39, l23_25, high;
};

using Y = __m256i;

template <int N>
MG_PAIR_INLINE Y Ror(Y x) {
    return _mm256_or_si256(_mm256_srli_epi64(x, N), _mm256_slli_epi64(x, 64 - N));
}

// The schedule of two blocks at once: w[q] holds words 2q, 2q+1 of the first
// block in its low half and of the second block in its high half. Its words
// plus the round constants go to kw as (word, 0) pairs, the form a round adds
// to (h, d): kw[4t .. 4t+1] for the first block's round t, kw[4t+2 .. 4t+3]
// for the second's. Every load covers exactly one earlier store, so the
// store buffer forwards it.
MG_PAIR_INLINE void StoreRoundWords(std::uint64_t* kw, int t, Y words) {
    const Y k = _mm256_broadcastsi128_si256(Load(kSha512K + t));
    const Y sum = _mm256_add_epi64(words, k);
    const Y zero = _mm256_setzero_si256();
    _mm256_storeu_si256(reinterpret_cast<Y*>(kw + 4 * t), _mm256_unpacklo_epi64(sum, zero));
    _mm256_storeu_si256(reinterpret_cast<Y*>(kw + 4 * t + 4), _mm256_unpackhi_epi64(sum, zero));
}

MG_PAIR_INLINE Y LoadY(const Y* p) { return _mm256_loadu_si256(p); }

// Words t, t+1 (t = 2p): W[t] = sigma1(W[t-2]) + W[t-7] + sigma0(W[t-15]) + W[t-16].
template <int P>
MG_PAIR_INLINE void ScheduleStep(Y* w, std::uint64_t* kw) {
    const Y w16 = LoadY(w + P - 8), w2 = LoadY(w + P - 1);
    const Y w15 = _mm256_alignr_epi8(LoadY(w + P - 7), w16, 8);
    const Y w7 = _mm256_alignr_epi8(LoadY(w + P - 3), LoadY(w + P - 4), 8);
    // A rotation by a whole byte is one shuffle.
    const Y ror8 = _mm256_set_epi64x(0x080F0E0D0C0B0A09LL, 0x0007060504030201LL, 0x080F0E0D0C0B0A09LL,
                                     0x0007060504030201LL);
    const Y s0 = _mm256_xor_si256(_mm256_xor_si256(Ror<1>(w15), _mm256_shuffle_epi8(w15, ror8)),
                                  _mm256_srli_epi64(w15, 7));
    const Y s1 = _mm256_xor_si256(_mm256_xor_si256(Ror<19>(w2), Ror<61>(w2)), _mm256_srli_epi64(w2, 6));
    const Y words = _mm256_add_epi64(_mm256_add_epi64(w16, s0), _mm256_add_epi64(w7, s1));
    _mm256_storeu_si256(w + P, words);
    StoreRoundWords(kw, 2 * P, words);
}

template <std::size_t... P>
MG_PAIR_INLINE void Schedule(Y* w, std::uint64_t* kw, std::index_sequence<P...>) {
    (ScheduleStep<static_cast<int>(P) + 8>(w, kw), ...);
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
MG_PAIR_INLINE void Round(V& ea, V& fb, V*& ring, const Counts& c, const std::uint64_t* kw) {
    __asm__("" : "+r"(ring));
    const V gc = ring[(T + 1) % 4];
    const V x1 = _mm_xor_si128(_mm_srlv_epi64(ea, c.r14_28), _mm_sllv_epi64(ea, c.l50_36));
    const V x2 = _mm_xor_si128(_mm_srlv_epi64(ea, c.r18_34), _mm_sllv_epi64(ea, c.l46_30));
    const V x3 = _mm_xor_si128(_mm_srlv_epi64(ea, c.r41_39), _mm_sllv_epi64(ea, c.l23_25));
    const V sigma = _mm_xor_si128(_mm_xor_si128(x1, x2), x3);
    // (e, a ^ c) selects between (f, b) and (g, c): (Ch, Maj).
    const V select = _mm_xor_si128(ea, _mm_and_si128(gc, c.high));
    const V chMaj = _mm_xor_si128(gc, _mm_and_si128(select, _mm_xor_si128(fb, gc)));
    // (h + W + K, d) plus (Ch, Maj) is ready before Sigma: adding Sigma last
    // gives t1 in the low lane one step after Sigma. The asm keeps the
    // compiler from adding the three in another order.
    const V hd = ring[T % 4];
    V hk = _mm_add_epi64(hd, Load(kw + 4 * T));
    __asm__("" : "+x"(hk));
    V partial = _mm_add_epi64(hk, chMaj);
    __asm__("" : "+x"(partial));
    const V t1 = _mm_add_epi64(sigma, partial);
    // (t1 + d, t1 + Sigma0 + Maj): the new e and a.
    const V dMaj = _mm_unpackhi_epi64(hd, _mm_add_epi64(sigma, chMaj));
    fb = ea;
    ea = _mm_add_epi64(_mm_unpacklo_epi64(t1, t1), dMaj);
    Store(ring + T % 4, ea);
}

template <std::size_t... T>
MG_PAIR_INLINE void Rounds(V& ea, V& fb, V* ring, const Counts& c, const std::uint64_t* kw,
                           std::index_sequence<T...>) {
    (Round<static_cast<int>(T)>(ea, fb, ring, c, kw), ...);
}

MG_PAIR_TARGET void Compress(std::uint64_t* state, const unsigned char* data, std::size_t blocks) {
    const V swap = _mm_set_epi8(8, 9, 10, 11, 12, 13, 14, 15, 0, 1, 2, 3, 4, 5, 6, 7);
    const Counts counts = {_mm_set_epi64x(28, 14), _mm_set_epi64x(36, 50), _mm_set_epi64x(34, 18),
                           _mm_set_epi64x(30, 46), _mm_set_epi64x(39, 41), _mm_set_epi64x(25, 23),
                           _mm_set_epi64x(-1, 0)};
    Y w[40];
    std::uint64_t kw[4 * 80];
    // (e, a), (f, b), (g, c), (h, d) of the chaining value.
    V h[4];
    for (int i = 0; i < 4; ++i) {
        const std::uint64_t pair[2] = {state[4 + i], state[i]};
        h[i] = Load(pair);
    }
    const Y swap2 = _mm256_broadcastsi128_si256(swap);
    while (blocks != 0) {
        // A lone last block is scheduled twice over; only one half is used.
        const unsigned char* second = blocks >= 2 ? data + 128 : data;
        for (int p = 0; p < 8; ++p) {
            const Y words = _mm256_shuffle_epi8(
                _mm256_inserti128_si256(_mm256_castsi128_si256(Load(data + 16 * p)), Load(second + 16 * p), 1),
                swap2);
            _mm256_storeu_si256(w + p, words);
            StoreRoundWords(kw, 2 * p, words);
        }
        Schedule(w, kw, std::make_index_sequence<32>());
        const std::size_t now = blocks >= 2 ? 2 : 1;
        for (std::size_t b = 0; b < now; ++b) {
            V ring[4] = {h[3], h[2], h[1], h[0]};
            V ea = h[0], fb = h[1];
            Rounds(ea, fb, ring, counts, kw + 2 * b, std::make_index_sequence<80>());
            // After round 79 slot 3 holds (e, a), 2 (f, b), 1 (g, c), 0 (h, d).
            V* r = ring;
            __asm__("" : "+r"(r));
            for (int i = 0; i < 4; ++i) h[i] = _mm_add_epi64(h[i], r[3 - i]);
        }
        blocks -= now;
        data += 128 * now;
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
