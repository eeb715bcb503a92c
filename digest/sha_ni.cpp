// SHA-1 and SHA-256 on the SHA extensions. The instructions work on packed
// state words in an order of their own (SHA-1: ABCD with E apart; SHA-256:
// ABEF and CDGH), so the state is rearranged once per call and stays in
// registers for the whole run of blocks. Everything here also compiles for
// 32-bit x86, where the eight XMM registers are enough for SHA-1 and the
// compiler spills a little for SHA-256.

#include "digest/digest_kernels.h"

#if defined(__i386__) || defined(__x86_64__)

#include <immintrin.h>

#include <utility>

#include "digest/sha_constants.h"

#define MG_SHA_TARGET __attribute__((target("sha,sse4.1,ssse3")))

namespace mg {
namespace {

// ---- SHA-1 ----------------------------------------------------------------
//
// Group G covers steps 4G..4G+3 with message vector W[G] (words 4G..4G+3),
// held in w[G % 4]. The expansion of W[G+1] finishes in group G (msg2), and
// groups G+1, G+2 start the expansion of W[G+3], W[G+4] (msg1, xor); the
// ranges below are where those vectors exist at all. The E operand
// alternates between two registers from group to group.

struct Sha1Regs {
    __m128i abcd;
    __m128i e[2];
    __m128i w[4];
};

template <int G>
MG_SHA_TARGET inline __attribute__((always_inline)) void Sha1Group(Sha1Regs& r) {
    constexpr int cur = G % 4;
    constexpr int e = G % 2;
    if constexpr (G == 0) r.e[0] = _mm_add_epi32(r.e[0], r.w[0]);
    else r.e[e] = _mm_sha1nexte_epu32(r.e[e], r.w[cur]);
    r.e[1 - e] = r.abcd;
    if constexpr (G >= 3 && G <= 18) r.w[(G + 1) % 4] = _mm_sha1msg2_epu32(r.w[(G + 1) % 4], r.w[cur]);
    r.abcd = _mm_sha1rnds4_epu32(r.abcd, r.e[e], G / 5);
    if constexpr (G >= 1 && G <= 16) r.w[(G + 3) % 4] = _mm_sha1msg1_epu32(r.w[(G + 3) % 4], r.w[cur]);
    if constexpr (G >= 2 && G <= 17) r.w[(G + 2) % 4] = _mm_xor_si128(r.w[(G + 2) % 4], r.w[cur]);
}

template <std::size_t... G>
MG_SHA_TARGET inline __attribute__((always_inline)) void Sha1Groups(Sha1Regs& r, std::index_sequence<G...>) {
    (Sha1Group<static_cast<int>(G)>(r), ...);
}

// ---- SHA-256 --------------------------------------------------------------
//
// Group G covers steps 4G..4G+3 with W[G] in w[G % 4]; each sha256rnds2 does
// two steps, taking its two message-plus-constant words from the low half.

struct Sha256Regs {
    __m128i abef;
    __m128i cdgh;
    __m128i w[4];
};

template <int G>
MG_SHA_TARGET inline __attribute__((always_inline)) void Sha256Group(Sha256Regs& r) {
    constexpr int cur = G % 4;
    __m128i m = _mm_add_epi32(r.w[cur], _mm_loadu_si128(reinterpret_cast<const __m128i*>(kSha256K + 4 * G)));
    r.cdgh = _mm_sha256rnds2_epu32(r.cdgh, r.abef, m);
    if constexpr (G >= 3 && G <= 14) {
        constexpr int next = (G + 1) % 4;
        const __m128i t = _mm_alignr_epi8(r.w[cur], r.w[(G + 3) % 4], 4);
        r.w[next] = _mm_sha256msg2_epu32(_mm_add_epi32(r.w[next], t), r.w[cur]);
    }
    m = _mm_shuffle_epi32(m, 0x0E);
    r.abef = _mm_sha256rnds2_epu32(r.abef, r.cdgh, m);
    if constexpr (G >= 1 && G <= 12) r.w[(G + 3) % 4] = _mm_sha256msg1_epu32(r.w[(G + 3) % 4], r.w[cur]);
}

template <std::size_t... G>
MG_SHA_TARGET inline __attribute__((always_inline)) void Sha256Groups(Sha256Regs& r, std::index_sequence<G...>) {
    (Sha256Group<static_cast<int>(G)>(r), ...);
}

}  // namespace

MG_SHA_TARGET void Sha1CompressShaNi(std::uint32_t* state, const unsigned char* data, std::size_t blocks) {
    // Big-endian words, and word 0 in the top lane where the instructions want A.
    const __m128i swap = _mm_set_epi64x(0x0001020304050607LL, 0x08090A0B0C0D0E0FLL);
    Sha1Regs r;
    r.abcd = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state)), 0x1B);
    __m128i e = _mm_set_epi32(static_cast<int>(state[4]), 0, 0, 0);
    for (; blocks != 0; --blocks, data += 64) {
        const __m128i abcdSaved = r.abcd;
        const __m128i eSaved = e;
        r.e[0] = e;
        for (int i = 0; i < 4; ++i)
            r.w[i] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * i)), swap);
        Sha1Groups(r, std::make_index_sequence<20>());
        // After group 19, e[0] holds A of step 76, whose rotation is E of step 80.
        e = _mm_sha1nexte_epu32(r.e[0], eSaved);
        r.abcd = _mm_add_epi32(r.abcd, abcdSaved);
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_shuffle_epi32(r.abcd, 0x1B));
    state[4] = static_cast<std::uint32_t>(_mm_extract_epi32(e, 3));
}

MG_SHA_TARGET void Sha256CompressShaNi(std::uint32_t* state, const unsigned char* data, std::size_t blocks) {
    const __m128i swap = _mm_set_epi64x(0x0C0D0E0F08090A0BLL, 0x0405060700010203LL);
    Sha256Regs r;
    {
        const __m128i dcba = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state));
        const __m128i hgfe = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4));
        const __m128i cdab = _mm_shuffle_epi32(dcba, 0xB1);
        const __m128i efgh = _mm_shuffle_epi32(hgfe, 0x1B);
        r.abef = _mm_alignr_epi8(cdab, efgh, 8);
        r.cdgh = _mm_blend_epi16(efgh, cdab, 0xF0);
    }
    for (; blocks != 0; --blocks, data += 64) {
        const __m128i abefSaved = r.abef;
        const __m128i cdghSaved = r.cdgh;
        for (int i = 0; i < 4; ++i)
            r.w[i] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * i)), swap);
        Sha256Groups(r, std::make_index_sequence<16>());
        r.abef = _mm_add_epi32(r.abef, abefSaved);
        r.cdgh = _mm_add_epi32(r.cdgh, cdghSaved);
    }
    const __m128i feba = _mm_shuffle_epi32(r.abef, 0x1B);
    const __m128i dchg = _mm_shuffle_epi32(r.cdgh, 0xB1);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_blend_epi16(feba, dchg, 0xF0));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), _mm_alignr_epi8(dchg, feba, 8));
}

}  // namespace mg

#endif
