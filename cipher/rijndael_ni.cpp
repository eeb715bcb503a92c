// Rijndael on AES-NI (128-bit registers) and VAES (256-bit registers with
// AVX2, for processors without AVX-512, and 512-bit registers); see
// cipher/rijndael_accel.h for the wide-block layout. The serial modes run one
// block at a time with the chain value in registers; ECB and the decryption
// of CBC and CFB run many blocks at once, so that the round instructions of
// independent blocks overlap in the pipeline.
#include "cipher/rijndael_accel.h"

#include "cipher/accel_util.h"
#include "cipher/block_cipher.h"
#include "cpu/cpu_features.h"
#include "cpu/x86_intrinsics.h"

#if defined(__i386__) || defined(__x86_64__)
#define MG_RIJNDAEL_X86 1
#endif

namespace mg::rijndael_accel {

#if MG_RIJNDAEL_X86

namespace {

#define MG_AESNI __attribute__((target("aes,sse4.1,ssse3")))
#define MG_VAES256 __attribute__((target("aes,sse4.1,ssse3,avx,avx2,vaes")))
#define MG_VAES512 __attribute__((target("aes,sse4.1,ssse3,avx,avx2,avx512f,avx512bw,vaes")))

constexpr WidePermutation kEnc6 = MakeWidePermutation(6, false);
constexpr WidePermutation kDec6 = MakeWidePermutation(6, true);
constexpr WidePermutation kEnc8 = MakeWidePermutation(8, false);
constexpr WidePermutation kDec8 = MakeWidePermutation(8, true);
static_assert(kEnc6.ok && kDec6.ok && kEnc8.ok && kDec8.ok);

template <int Nb, bool Decrypt>
constexpr const WidePermutation& Permutation()
{
    if constexpr (Nb == 6)
        return Decrypt ? kDec6 : kEnc6;
    else
        return Decrypt ? kDec8 : kEnc8;
}

// Independent blocks per group: as many as the registers hold with the
// round key and the shuffle constants beside them.
// On 256-bit registers two blocks (or the halves of two wide blocks) share
// a register: kYmm16 registers of 16-byte blocks, kYmmWide pairs of
// registers of wide blocks.
#if defined(__x86_64__)
constexpr std::size_t kGroup16 = 8;
constexpr std::size_t kGroupWide = 4;
constexpr std::size_t kYmm16 = 8;
constexpr std::size_t kYmmWide = 2;
#else
constexpr std::size_t kGroup16 = 4;
constexpr std::size_t kGroupWide = 2;
constexpr std::size_t kYmm16 = 4;
constexpr std::size_t kYmmWide = 2;
#endif

MG_AESNI inline __m128i Load128(const unsigned char* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
MG_AESNI inline void Store128(unsigned char* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
// Round keys live inside the cipher object, wherever its owner put it: a
// 32-bit Windows heap gives 8-byte alignment only, so they are read unaligned.
MG_AESNI inline __m128i Key128(const unsigned char* p) { return Load128(p); }

// Keeps the compiler from re-associating XORs back onto a critical path.
MG_AESNI inline void Opaque(__m128i& v) { __asm__("" : "+x"(v)); }

template <bool Decrypt>
MG_AESNI inline __m128i Round(__m128i x, __m128i k)
{
    return Decrypt ? _mm_aesdec_si128(x, k) : _mm_aesenc_si128(x, k);
}

template <bool Decrypt>
MG_AESNI inline __m128i LastRound(__m128i x, __m128i k)
{
    return Decrypt ? _mm_aesdeclast_si128(x, k) : _mm_aesenclast_si128(x, k);
}

// ---------------------------------------------------------------------------
// 16-byte blocks on AES-NI.

// N blocks k = first .. first + N - 1 of a batch, all read before any is written.
template <bool Decrypt, int Rounds, std::size_t N>
MG_AESNI inline void Group16(const unsigned char (*rk)[32], const unsigned char* src, const unsigned char* mask,
                             unsigned char* dst, std::size_t first)
{
    __m128i x[N];
    const __m128i k0 = Key128(rk[0]);
#pragma GCC unroll 8
    for (std::size_t j = 0; j < N; ++j) x[j] = _mm_xor_si128(Load128(src + 16 * (first + j)), k0);
#pragma GCC unroll 14
    for (int r = 1; r < Rounds; ++r) {
        const __m128i k = Key128(rk[r]);
#pragma GCC unroll 8
        for (std::size_t j = 0; j < N; ++j) x[j] = Round<Decrypt>(x[j], k);
    }
    const __m128i kl = Key128(rk[Rounds]);
#pragma GCC unroll 8
    for (std::size_t j = 0; j < N; ++j) x[j] = LastRound<Decrypt>(x[j], kl);
    if (mask != nullptr) {
#pragma GCC unroll 8
        for (std::size_t j = 0; j < N; ++j) x[j] = _mm_xor_si128(x[j], Load128(mask + 16 * (first + j)));
    }
#pragma GCC unroll 8
    for (std::size_t j = 0; j < N; ++j) Store128(dst + 16 * (first + j), x[j]);
}

template <bool Decrypt, int Rounds>
MG_AESNI void Batch16(const Keys& keys, const unsigned char* src, const unsigned char* mask, unsigned char* dst,
                      std::size_t n)
{
    const unsigned char(*rk)[32] = Decrypt ? keys.dec : keys.enc;
    while (n >= kGroup16) {
        n -= kGroup16;
        Group16<Decrypt, Rounds, kGroup16>(rk, src, mask, dst, n);
    }
    if (n >= 4 && kGroup16 > 4) {
        n -= 4;
        Group16<Decrypt, Rounds, 4>(rk, src, mask, dst, n);
    }
    if (n >= 2) {
        n -= 2;
        Group16<Decrypt, Rounds, 2>(rk, src, mask, dst, n);
    }
    if (n >= 1) Group16<Decrypt, Rounds, 1>(rk, src, mask, dst, 0);
}

template <bool Decrypt>
MG_AESNI __attribute__((noinline)) void Batch16Ni(const Keys& keys, std::int32_t rounds, const unsigned char* src,
                                                   const unsigned char* mask, unsigned char* dst, std::size_t n)
{
    switch (rounds) {
    case 10:
        Batch16<Decrypt, 10>(keys, src, mask, dst, n);
        break;
    case 12:
        Batch16<Decrypt, 12>(keys, src, mask, dst, n);
        break;
    default:
        Batch16<Decrypt, 14>(keys, src, mask, dst, n);
        break;
    }
}

using BatchFn = void (*)(const Keys&, std::int32_t, const unsigned char*, const unsigned char*, unsigned char*,
                         std::size_t);

// The block work for the mode loops; EncBatch and DecBatch run the parallel modes.
template <BatchFn EncBatch, BatchFn DecBatch>
class Engine16 {
public:
    struct Block {
        __m128i x;
    };
    static constexpr bool kBatched = true;

    Engine16(const Keys& keys, std::int32_t rounds) : m_keys(keys), m_rounds(rounds) {}

    std::size_t BlockBytes() const { return 16; }
    MG_AESNI Block Load(const unsigned char* p) const { return {Load128(p)}; }
    MG_AESNI void Store(unsigned char* p, const Block& b) const { Store128(p, b.x); }
    MG_AESNI Block Xor(const Block& a, const Block& b) const { return {_mm_xor_si128(a.x, b.x)}; }
    MG_AESNI Block Encipher(const Block& b) const { return {Serial<false>(m_keys.enc, b.x)}; }
    MG_AESNI Block Decipher(const Block& b) const { return {Serial<true>(m_keys.dec, b.x)}; }
    // x joins the first or the last round key, off the chain's path.
    MG_AESNI Block EncipherOfXor(const Block& v, const Block& x) const
    {
        const unsigned char(*rk)[32] = m_keys.enc;
        __m128i first = _mm_xor_si128(x.x, Key128(rk[0]));
        Opaque(first);
        __m128i s = _mm_xor_si128(v.x, first);
        for (int r = 1; r < m_rounds; ++r) s = _mm_aesenc_si128(s, Key128(rk[r]));
        return {_mm_aesenclast_si128(s, Key128(rk[m_rounds]))};
    }
    MG_AESNI Block XorOfEncipher(const Block& v, const Block& x) const
    {
        const unsigned char(*rk)[32] = m_keys.enc;
        const __m128i last = _mm_xor_si128(x.x, Key128(rk[m_rounds]));
        __m128i s = _mm_xor_si128(v.x, Key128(rk[0]));
        for (int r = 1; r < m_rounds; ++r) s = _mm_aesenc_si128(s, Key128(rk[r]));
        return {_mm_aesenclast_si128(s, last)};
    }
    void EncipherBatch(const unsigned char* src, const unsigned char* mask, unsigned char* dst, std::size_t n) const
    {
        EncBatch(m_keys, m_rounds, src, mask, dst, n);
    }
    void DecipherBatch(const unsigned char* src, const unsigned char* mask, unsigned char* dst, std::size_t n) const
    {
        DecBatch(m_keys, m_rounds, src, mask, dst, n);
    }

private:
    // One block alone: its time is the latency of the rounds, so the keys
    // come from memory, off the critical path.
    template <bool Decrypt>
    MG_AESNI __m128i Serial(const unsigned char (*rk)[32], __m128i x) const
    {
        x = _mm_xor_si128(x, Key128(rk[0]));
        for (int r = 1; r < m_rounds; ++r) x = Round<Decrypt>(x, Key128(rk[r]));
        return LastRound<Decrypt>(x, Key128(rk[m_rounds]));
    }

    const Keys& m_keys;
    std::int32_t m_rounds;
};

// ---------------------------------------------------------------------------
// 24- and 32-byte blocks on AES-NI: two registers per block.

template <int Nb>
struct WideBlock {
    __m128i lo;
    __m128i hi;
};

template <int Nb>
MG_AESNI inline WideBlock<Nb> LoadWide(const unsigned char* p)
{
    const __m128i lo = Load128(p);
    if constexpr (Nb == 8) {
        return {lo, Load128(p + 16)};
    } else {
        return {lo, _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + 16)), lo)};
    }
}

template <int Nb>
MG_AESNI inline void StoreWide(unsigned char* p, const WideBlock<Nb>& b)
{
    Store128(p, b.lo);
    if constexpr (Nb == 8)
        Store128(p + 16, b.hi);
    else
        _mm_storel_epi64(reinterpret_cast<__m128i*>(p + 16), b.hi);
}

// The constants of one direction's pre-round permutation.
struct WideShuffle {
    __m128i shuffleLo, shuffleHi, blendLo, blendHi;
};

template <int Nb, bool Decrypt>
MG_AESNI inline WideShuffle MakeShuffle()
{
    const WidePermutation& p = Permutation<Nb, Decrypt>();
    return {Load128(p.shuffle[0]), Load128(p.shuffle[1]), Load128(p.blend[0]), Load128(p.blend[1])};
}

template <bool Decrypt, bool Last>
MG_AESNI inline void WideRound(__m128i& lo, __m128i& hi, const WideShuffle& s, const unsigned char* key)
{
    const __m128i a = _mm_shuffle_epi8(_mm_blendv_epi8(lo, hi, s.blendLo), s.shuffleLo);
    const __m128i b = _mm_shuffle_epi8(_mm_blendv_epi8(hi, lo, s.blendHi), s.shuffleHi);
    if constexpr (Last) {
        lo = LastRound<Decrypt>(a, Key128(key));
        hi = LastRound<Decrypt>(b, Key128(key + 16));
    } else {
        lo = Round<Decrypt>(a, Key128(key));
        hi = Round<Decrypt>(b, Key128(key + 16));
    }
}

template <int Nb, bool Decrypt, std::size_t N>
MG_AESNI inline void GroupWide(const unsigned char (*rk)[32], std::int32_t rounds, const WideShuffle& s,
                               const unsigned char* src, const unsigned char* mask, unsigned char* dst,
                               std::size_t first)
{
    constexpr std::size_t bs = 4 * Nb;
    __m128i lo[N], hi[N];
    const __m128i k0lo = Key128(rk[0]), k0hi = Key128(rk[0] + 16);
#pragma GCC unroll 4
    for (std::size_t j = 0; j < N; ++j) {
        const WideBlock<Nb> b = LoadWide<Nb>(src + bs * (first + j));
        lo[j] = _mm_xor_si128(b.lo, k0lo);
        hi[j] = _mm_xor_si128(b.hi, k0hi);
    }
    for (int r = 1; r < rounds; ++r) {
#pragma GCC unroll 4
        for (std::size_t j = 0; j < N; ++j) WideRound<Decrypt, false>(lo[j], hi[j], s, rk[r]);
    }
#pragma GCC unroll 4
    for (std::size_t j = 0; j < N; ++j) WideRound<Decrypt, true>(lo[j], hi[j], s, rk[rounds]);
    if (mask != nullptr) {
#pragma GCC unroll 4
        for (std::size_t j = 0; j < N; ++j) {
            const WideBlock<Nb> m = LoadWide<Nb>(mask + bs * (first + j));
            lo[j] = _mm_xor_si128(lo[j], m.lo);
            hi[j] = _mm_xor_si128(hi[j], m.hi);
        }
    }
#pragma GCC unroll 4
    for (std::size_t j = 0; j < N; ++j) StoreWide<Nb>(dst + bs * (first + j), WideBlock<Nb>{lo[j], hi[j]});
}

template <int Nb, bool Decrypt>
MG_AESNI __attribute__((noinline)) void BatchWideNi(const Keys& keys, std::int32_t rounds, const unsigned char* src,
                                                     const unsigned char* mask, unsigned char* dst, std::size_t n)
{
    const unsigned char(*rk)[32] = Decrypt ? keys.dec : keys.enc;
    const WideShuffle s = MakeShuffle<Nb, Decrypt>();
    while (n >= kGroupWide) {
        n -= kGroupWide;
        GroupWide<Nb, Decrypt, kGroupWide>(rk, rounds, s, src, mask, dst, n);
    }
    if (n >= 2 && kGroupWide > 2) {
        n -= 2;
        GroupWide<Nb, Decrypt, 2>(rk, rounds, s, src, mask, dst, n);
    }
    if (n >= 1) GroupWide<Nb, Decrypt, 1>(rk, rounds, s, src, mask, dst, 0);
}

template <int Nb, BatchFn EncBatch, BatchFn DecBatch>
class EngineWide {
public:
    using Block = WideBlock<Nb>;
    static constexpr bool kBatched = true;

    EngineWide(const Keys& keys, std::int32_t rounds) : m_keys(keys), m_rounds(rounds) {}

    std::size_t BlockBytes() const { return 4 * Nb; }
    MG_AESNI Block Load(const unsigned char* p) const { return LoadWide<Nb>(p); }
    MG_AESNI void Store(unsigned char* p, const Block& b) const { StoreWide<Nb>(p, b); }
    MG_AESNI Block Xor(const Block& a, const Block& b) const
    {
        return {_mm_xor_si128(a.lo, b.lo), _mm_xor_si128(a.hi, b.hi)};
    }
    MG_AESNI Block Encipher(const Block& b) const { return Serial<false>(m_keys.enc, b); }
    MG_AESNI Block Decipher(const Block& b) const { return Serial<true>(m_keys.dec, b); }
    MG_AESNI Block EncipherOfXor(const Block& v, const Block& x) const
    {
        const unsigned char(*rk)[32] = m_keys.enc;
        Block first = {_mm_xor_si128(x.lo, Key128(rk[0])), _mm_xor_si128(x.hi, Key128(rk[0] + 16))};
        Opaque(first.lo);
        Opaque(first.hi);
        return Rounds(rk, {_mm_xor_si128(v.lo, first.lo), _mm_xor_si128(v.hi, first.hi)}, nullptr);
    }
    MG_AESNI Block XorOfEncipher(const Block& v, const Block& x) const
    {
        const unsigned char(*rk)[32] = m_keys.enc;
        const Block last = {_mm_xor_si128(x.lo, Key128(rk[m_rounds])), _mm_xor_si128(x.hi, Key128(rk[m_rounds] + 16))};
        return Rounds(rk, {_mm_xor_si128(v.lo, Key128(rk[0])), _mm_xor_si128(v.hi, Key128(rk[0] + 16))}, &last);
    }
    void EncipherBatch(const unsigned char* src, const unsigned char* mask, unsigned char* dst, std::size_t n) const
    {
        EncBatch(m_keys, m_rounds, src, mask, dst, n);
    }
    void DecipherBatch(const unsigned char* src, const unsigned char* mask, unsigned char* dst, std::size_t n) const
    {
        DecBatch(m_keys, m_rounds, src, mask, dst, n);
    }

private:
    template <bool Decrypt>
    MG_AESNI Block Serial(const unsigned char (*rk)[32], Block b) const
    {
        const WideShuffle s = MakeShuffle<Nb, Decrypt>();
        __m128i lo = _mm_xor_si128(b.lo, Key128(rk[0]));
        __m128i hi = _mm_xor_si128(b.hi, Key128(rk[0] + 16));
        for (int r = 1; r < m_rounds; ++r) WideRound<Decrypt, false>(lo, hi, s, rk[r]);
        WideRound<Decrypt, true>(lo, hi, s, rk[m_rounds]);
        return {lo, hi};
    }

    // Encryption rounds 1 to the last of a state that has had its first
    // round key; `last` replaces the last round key when given.
    MG_AESNI Block Rounds(const unsigned char (*rk)[32], Block b, const Block* last) const
    {
        const WideShuffle s = MakeShuffle<Nb, false>();
        for (int r = 1; r < m_rounds; ++r) WideRound<false, false>(b.lo, b.hi, s, rk[r]);
        if (last == nullptr) {
            WideRound<false, true>(b.lo, b.hi, s, rk[m_rounds]);
        } else {
            const __m128i x = _mm_shuffle_epi8(_mm_blendv_epi8(b.lo, b.hi, s.blendLo), s.shuffleLo);
            const __m128i y = _mm_shuffle_epi8(_mm_blendv_epi8(b.hi, b.lo, s.blendHi), s.shuffleHi);
            b.lo = _mm_aesenclast_si128(x, last->lo);
            b.hi = _mm_aesenclast_si128(y, last->hi);
        }
        return b;
    }

    const Keys& m_keys;
    std::int32_t m_rounds;
};

// ---------------------------------------------------------------------------
// VAES on 256-bit registers (AVX2, no AVX-512): two 16-byte blocks, or the
// same halves of two wide blocks, per register. An odd block left over goes
// through the AES-NI code.

MG_VAES256 inline __m256i Key256(const unsigned char* p)
{
    return _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
}

MG_VAES256 inline __m256i Load256(const unsigned char* p)
{
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

MG_VAES256 inline void Store256(unsigned char* p, __m256i v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }

template <bool Decrypt>
MG_VAES256 inline __m256i Round256(__m256i x, __m256i k)
{
    return Decrypt ? _mm256_aesdec_epi128(x, k) : _mm256_aesenc_epi128(x, k);
}

template <bool Decrypt>
MG_VAES256 inline __m256i LastRound256(__m256i x, __m256i k)
{
    return Decrypt ? _mm256_aesdeclast_epi128(x, k) : _mm256_aesenclast_epi128(x, k);
}

// Y registers, blocks first .. first + 2Y - 1, all read before any is written.
template <bool Decrypt, int Rounds, std::size_t Y>
MG_VAES256 inline void Group16x2(const unsigned char (*rk)[32], const unsigned char* src, const unsigned char* mask,
                                 unsigned char* dst, std::size_t first)
{
    __m256i x[Y];
    const __m256i k0 = Key256(rk[0]);
#pragma GCC unroll 8
    for (std::size_t j = 0; j < Y; ++j) x[j] = _mm256_xor_si256(Load256(src + 16 * first + 32 * j), k0);
#pragma GCC unroll 14
    for (int r = 1; r < Rounds; ++r) {
        const __m256i k = Key256(rk[r]);
#pragma GCC unroll 8
        for (std::size_t j = 0; j < Y; ++j) x[j] = Round256<Decrypt>(x[j], k);
    }
    const __m256i kl = Key256(rk[Rounds]);
#pragma GCC unroll 8
    for (std::size_t j = 0; j < Y; ++j) x[j] = LastRound256<Decrypt>(x[j], kl);
    if (mask != nullptr) {
#pragma GCC unroll 8
        for (std::size_t j = 0; j < Y; ++j) x[j] = _mm256_xor_si256(x[j], Load256(mask + 16 * first + 32 * j));
    }
#pragma GCC unroll 8
    for (std::size_t j = 0; j < Y; ++j) Store256(dst + 16 * first + 32 * j, x[j]);
}

// Groups from the end of the batch to its start, as the AES-NI code does.
template <bool Decrypt, int Rounds>
MG_VAES256 void Batch16x2(const Keys& keys, const unsigned char* src, const unsigned char* mask, unsigned char* dst,
                          std::size_t n)
{
    const unsigned char(*rk)[32] = Decrypt ? keys.dec : keys.enc;
    while (n >= 2 * kYmm16) {
        n -= 2 * kYmm16;
        Group16x2<Decrypt, Rounds, kYmm16>(rk, src, mask, dst, n);
    }
    if (n >= 8 && kYmm16 > 4) {
        n -= 8;
        Group16x2<Decrypt, Rounds, 4>(rk, src, mask, dst, n);
    }
    if (n >= 4) {
        n -= 4;
        Group16x2<Decrypt, Rounds, 2>(rk, src, mask, dst, n);
    }
    if (n >= 2) {
        n -= 2;
        Group16x2<Decrypt, Rounds, 1>(rk, src, mask, dst, n);
    }
    if (n >= 1) Group16<Decrypt, Rounds, 1>(rk, src, mask, dst, 0);
}

template <bool Decrypt>
MG_VAES256 __attribute__((noinline)) void Batch16Vaes256(const Keys& keys, std::int32_t rounds,
                                                          const unsigned char* src, const unsigned char* mask,
                                                          unsigned char* dst, std::size_t n)
{
    switch (rounds) {
    case 10:
        Batch16x2<Decrypt, 10>(keys, src, mask, dst, n);
        break;
    case 12:
        Batch16x2<Decrypt, 12>(keys, src, mask, dst, n);
        break;
    default:
        Batch16x2<Decrypt, 14>(keys, src, mask, dst, n);
        break;
    }
}

// Two wide blocks in a pair of registers: the first holds the first halves
// of both (block k in lane k), the second their second halves, so that the
// blends and shuffles of a round stay within lanes as on AES-NI.
struct WideShuffle256 {
    __m256i shuffleLo, shuffleHi, blendLo, blendHi;
};

template <int Nb, bool Decrypt>
MG_VAES256 inline WideShuffle256 MakeShuffle256()
{
    const WidePermutation& p = Permutation<Nb, Decrypt>();
    return {_mm256_broadcastsi128_si256(Load128(p.shuffle[0])), _mm256_broadcastsi128_si256(Load128(p.shuffle[1])),
            _mm256_broadcastsi128_si256(Load128(p.blend[0])), _mm256_broadcastsi128_si256(Load128(p.blend[1]))};
}

template <int Nb>
MG_VAES256 inline void LoadPair(const unsigned char* p, __m256i& lo, __m256i& hi)
{
    const WideBlock<Nb> a = LoadWide<Nb>(p), b = LoadWide<Nb>(p + 4 * Nb);
    lo = _mm256_inserti128_si256(_mm256_castsi128_si256(a.lo), b.lo, 1);
    hi = _mm256_inserti128_si256(_mm256_castsi128_si256(a.hi), b.hi, 1);
}

template <int Nb>
MG_VAES256 inline void StorePair(unsigned char* p, __m256i lo, __m256i hi)
{
    StoreWide<Nb>(p, WideBlock<Nb>{_mm256_castsi256_si128(lo), _mm256_castsi256_si128(hi)});
    StoreWide<Nb>(p + 4 * Nb, WideBlock<Nb>{_mm256_extracti128_si256(lo, 1), _mm256_extracti128_si256(hi, 1)});
}

template <bool Decrypt, bool Last>
MG_VAES256 inline void WideRound256(__m256i& lo, __m256i& hi, const WideShuffle256& s, __m256i kLo, __m256i kHi)
{
    const __m256i a = _mm256_shuffle_epi8(_mm256_blendv_epi8(lo, hi, s.blendLo), s.shuffleLo);
    const __m256i b = _mm256_shuffle_epi8(_mm256_blendv_epi8(hi, lo, s.blendHi), s.shuffleHi);
    if constexpr (Last) {
        lo = LastRound256<Decrypt>(a, kLo);
        hi = LastRound256<Decrypt>(b, kHi);
    } else {
        lo = Round256<Decrypt>(a, kLo);
        hi = Round256<Decrypt>(b, kHi);
    }
}

// P register pairs, blocks first .. first + 2P - 1.
template <int Nb, bool Decrypt, std::size_t P>
MG_VAES256 inline void GroupWide256(const unsigned char (*rk)[32], std::int32_t rounds, const WideShuffle256& s,
                                    const unsigned char* src, const unsigned char* mask, unsigned char* dst,
                                    std::size_t first)
{
    constexpr std::size_t bs = 4 * Nb;
    __m256i lo[P], hi[P];
    const __m256i k0lo = Key256(rk[0]), k0hi = Key256(rk[0] + 16);
#pragma GCC unroll 4
    for (std::size_t j = 0; j < P; ++j) {
        LoadPair<Nb>(src + bs * (first + 2 * j), lo[j], hi[j]);
        lo[j] = _mm256_xor_si256(lo[j], k0lo);
        hi[j] = _mm256_xor_si256(hi[j], k0hi);
    }
    for (int r = 1; r < rounds; ++r) {
        const __m256i klo = Key256(rk[r]), khi = Key256(rk[r] + 16);
#pragma GCC unroll 4
        for (std::size_t j = 0; j < P; ++j) WideRound256<Decrypt, false>(lo[j], hi[j], s, klo, khi);
    }
    const __m256i kllo = Key256(rk[rounds]), klhi = Key256(rk[rounds] + 16);
#pragma GCC unroll 4
    for (std::size_t j = 0; j < P; ++j) WideRound256<Decrypt, true>(lo[j], hi[j], s, kllo, klhi);
    if (mask != nullptr) {
#pragma GCC unroll 4
        for (std::size_t j = 0; j < P; ++j) {
            __m256i mlo, mhi;
            LoadPair<Nb>(mask + bs * (first + 2 * j), mlo, mhi);
            lo[j] = _mm256_xor_si256(lo[j], mlo);
            hi[j] = _mm256_xor_si256(hi[j], mhi);
        }
    }
#pragma GCC unroll 4
    for (std::size_t j = 0; j < P; ++j) StorePair<Nb>(dst + bs * (first + 2 * j), lo[j], hi[j]);
}

template <int Nb, bool Decrypt>
MG_VAES256 __attribute__((noinline)) void BatchWideVaes256(const Keys& keys, std::int32_t rounds,
                                                            const unsigned char* src, const unsigned char* mask,
                                                            unsigned char* dst, std::size_t n)
{
    const unsigned char(*rk)[32] = Decrypt ? keys.dec : keys.enc;
    const WideShuffle256 s = MakeShuffle256<Nb, Decrypt>();
    while (n >= 2 * kYmmWide) {
        n -= 2 * kYmmWide;
        GroupWide256<Nb, Decrypt, kYmmWide>(rk, rounds, s, src, mask, dst, n);
    }
    if (n >= 4 && kYmmWide > 2) {
        n -= 4;
        GroupWide256<Nb, Decrypt, 2>(rk, rounds, s, src, mask, dst, n);
    }
    if (n >= 2 && kYmmWide > 1) {
        n -= 2;
        GroupWide256<Nb, Decrypt, 1>(rk, rounds, s, src, mask, dst, n);
    }
    if (n >= 1) GroupWide<Nb, Decrypt, 1>(rk, rounds, MakeShuffle<Nb, Decrypt>(), src, mask, dst, 0);
}

// ---------------------------------------------------------------------------
// VAES on 512-bit registers: four 16-byte blocks or four halves of wide blocks per register.

MG_VAES512 inline __m512i Key512(const unsigned char* p)
{
    return _mm512_broadcast_i32x4(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
}

template <bool Decrypt>
MG_VAES512 inline __m512i Round512(__m512i x, __m512i k)
{
    return Decrypt ? _mm512_aesdec_epi128(x, k) : _mm512_aesenc_epi128(x, k);
}

template <bool Decrypt>
MG_VAES512 inline __m512i LastRound512(__m512i x, __m512i k)
{
    return Decrypt ? _mm512_aesdeclast_epi128(x, k) : _mm512_aesenclast_epi128(x, k);
}

// Z registers of four blocks each, for blocks first .. first + 4Z - 1 (the
// last register only `tail` blocks when tail is 1 to 3).
template <bool Decrypt, int Rounds, int Z>
MG_VAES512 inline void Group16x4(const unsigned char (*rk)[32], const unsigned char* src, const unsigned char* mask,
                                 unsigned char* dst, std::size_t first, unsigned tail)
{
    // Masks over 64-bit words: two per block.
    const __mmask8 lastMask = tail == 0 ? __mmask8(0xFF) : __mmask8((1u << (2 * tail)) - 1);
    __m512i x[Z];
    const __m512i k0 = Key512(rk[0]);
#pragma GCC unroll 4
    for (int j = 0; j < Z; ++j) {
        const unsigned char* p = src + 16 * first + 64 * j;
        const __m512i v = j == Z - 1 ? _mm512_maskz_loadu_epi64(lastMask, p) : _mm512_loadu_si512(p);
        x[j] = _mm512_xor_si512(v, k0);
    }
#pragma GCC unroll 14
    for (int r = 1; r < Rounds; ++r) {
        const __m512i k = Key512(rk[r]);
#pragma GCC unroll 4
        for (int j = 0; j < Z; ++j) x[j] = Round512<Decrypt>(x[j], k);
    }
    const __m512i kl = Key512(rk[Rounds]);
#pragma GCC unroll 4
    for (int j = 0; j < Z; ++j) x[j] = LastRound512<Decrypt>(x[j], kl);
    if (mask != nullptr) {
#pragma GCC unroll 4
        for (int j = 0; j < Z; ++j) {
            const unsigned char* p = mask + 16 * first + 64 * j;
            const __m512i m = j == Z - 1 ? _mm512_maskz_loadu_epi64(lastMask, p) : _mm512_loadu_si512(p);
            x[j] = _mm512_xor_si512(x[j], m);
        }
    }
#pragma GCC unroll 4
    for (int j = 0; j < Z; ++j) {
        unsigned char* p = dst + 16 * first + 64 * j;
        if (j == Z - 1)
            _mm512_mask_storeu_epi64(p, lastMask, x[j]);
        else
            _mm512_storeu_si512(p, x[j]);
    }
}

template <bool Decrypt, int Rounds>
MG_VAES512 void Batch16x4(const Keys& keys, const unsigned char* src, const unsigned char* mask, unsigned char* dst,
                          std::size_t n)
{
    const unsigned char(*rk)[32] = Decrypt ? keys.dec : keys.enc;
    // Sixteen blocks in flight cover the latency of the round instruction.
    while (n >= 16) {
        n -= 16;
        Group16x4<Decrypt, Rounds, 4>(rk, src, mask, dst, n, 0);
    }
    if (n == 0) return;
    const unsigned tail = static_cast<unsigned>(n % 4);
    switch ((n + 3) / 4) {
    case 4:
        Group16x4<Decrypt, Rounds, 4>(rk, src, mask, dst, 0, tail);
        break;
    case 3:
        Group16x4<Decrypt, Rounds, 3>(rk, src, mask, dst, 0, tail);
        break;
    case 2:
        Group16x4<Decrypt, Rounds, 2>(rk, src, mask, dst, 0, tail);
        break;
    default:
        Group16x4<Decrypt, Rounds, 1>(rk, src, mask, dst, 0, tail);
        break;
    }
}

template <bool Decrypt>
MG_VAES512 __attribute__((noinline)) void Batch16Vaes(const Keys& keys, std::int32_t rounds,
                                                       const unsigned char* src, const unsigned char* mask,
                                                       unsigned char* dst, std::size_t n)
{
    switch (rounds) {
    case 10:
        Batch16x4<Decrypt, 10>(keys, src, mask, dst, n);
        break;
    case 12:
        Batch16x4<Decrypt, 12>(keys, src, mask, dst, n);
        break;
    default:
        Batch16x4<Decrypt, 14>(keys, src, mask, dst, n);
        break;
    }
}

// Wide blocks four at a time in a pair of registers: one holds the first
// halves of the four blocks, the other their second halves, lane by lane, so
// that the blends of a round stay within lanes.
template <int Nb>
struct Quad {
    // 32-bit word indices into two loaded registers (the second from byte
    // 64 on) that gather the halves, and back.
    static MG_VAES512 __m512i FirstHalves()
    {
        if constexpr (Nb == 8)
            return _mm512_setr_epi32(0, 1, 2, 3, 8, 9, 10, 11, 16, 17, 18, 19, 24, 25, 26, 27);
        else
            return _mm512_setr_epi32(0, 1, 2, 3, 6, 7, 8, 9, 12, 13, 14, 15, 18, 19, 20, 21);
    }
    static MG_VAES512 __m512i SecondHalves()
    {
        if constexpr (Nb == 8)
            return _mm512_setr_epi32(4, 5, 6, 7, 12, 13, 14, 15, 20, 21, 22, 23, 28, 29, 30, 31);
        else
            return _mm512_setr_epi32(4, 5, 0, 1, 10, 11, 6, 7, 16, 17, 12, 13, 22, 23, 18, 19);
    }
    // Words 0-15 and 16-31 of the blocks, from the halves (16 and up: second halves).
    static MG_VAES512 __m512i Words0()
    {
        if constexpr (Nb == 8)
            return _mm512_setr_epi32(0, 1, 2, 3, 16, 17, 18, 19, 4, 5, 6, 7, 20, 21, 22, 23);
        else
            return _mm512_setr_epi32(0, 1, 2, 3, 16, 17, 4, 5, 6, 7, 20, 21, 8, 9, 10, 11);
    }
    static MG_VAES512 __m512i Words1()
    {
        if constexpr (Nb == 8)
            return _mm512_setr_epi32(8, 9, 10, 11, 24, 25, 26, 27, 12, 13, 14, 15, 28, 29, 30, 31);
        else
            return _mm512_setr_epi32(24, 25, 12, 13, 14, 15, 28, 29, 0, 0, 0, 0, 0, 0, 0, 0);
    }
    // Masks over the words of `blocks` (1 to 4) blocks, in the two registers.
    static MG_VAES512 __mmask16 Mask0(unsigned blocks)
    {
        const unsigned words = Nb * blocks;
        return words >= 16 ? __mmask16(0xFFFF) : __mmask16((1u << words) - 1);
    }
    static MG_VAES512 __mmask16 Mask1(unsigned blocks)
    {
        const unsigned words = Nb * blocks;
        return words <= 16 ? __mmask16(0) : __mmask16((1u << (words - 16)) - 1);
    }

    static MG_VAES512 void Load(const unsigned char* p, unsigned blocks, __m512i& first, __m512i& second)
    {
        __m512i w0, w1;
        if (blocks == 4 && Nb == 8) {
            w0 = _mm512_loadu_si512(p);
            w1 = _mm512_loadu_si512(p + 64);
        } else {
            w0 = _mm512_maskz_loadu_epi32(Mask0(blocks), p);
            w1 = _mm512_maskz_loadu_epi32(Mask1(blocks), p + 64);
        }
        first = _mm512_permutex2var_epi32(w0, FirstHalves(), w1);
        second = _mm512_permutex2var_epi32(w0, SecondHalves(), w1);
    }
    static MG_VAES512 void Store(unsigned char* p, unsigned blocks, __m512i first, __m512i second)
    {
        const __m512i w0 = _mm512_permutex2var_epi32(first, Words0(), second);
        const __m512i w1 = _mm512_permutex2var_epi32(first, Words1(), second);
        if (blocks == 4 && Nb == 8) {
            _mm512_storeu_si512(p, w0);
            _mm512_storeu_si512(p + 64, w1);
        } else {
            _mm512_mask_storeu_epi32(p, Mask0(blocks), w0);
            _mm512_mask_storeu_epi32(p + 64, Mask1(blocks), w1);
        }
    }
};

struct QuadShuffle {
    __m512i shuffleFirst, shuffleSecond;
    __mmask64 blendFirst, blendSecond;
};

// The blend of register h as a mask over the 64 bytes of four lanes.
constexpr std::uint64_t BlendBits(const WidePermutation& p, int h)
{
    std::uint64_t bits = 0;
    for (int lane = 0; lane < 4; ++lane)
        for (int i = 0; i < 16; ++i)
            if (p.blend[h][i] != 0) bits |= std::uint64_t{1} << (16 * lane + i);
    return bits;
}

template <int Nb, bool Decrypt>
MG_VAES512 inline QuadShuffle MakeQuadShuffle()
{
    constexpr const WidePermutation& p = Permutation<Nb, Decrypt>();
    constexpr std::uint64_t first = BlendBits(p, 0);
    constexpr std::uint64_t second = BlendBits(p, 1);
    return {_mm512_broadcast_i32x4(Load128(p.shuffle[0])), _mm512_broadcast_i32x4(Load128(p.shuffle[1])),
            __mmask64(first), __mmask64(second)};
}

template <bool Decrypt, bool Last>
MG_VAES512 inline void QuadRound(__m512i& first, __m512i& second, const QuadShuffle& s, __m512i kFirst,
                                 __m512i kSecond)
{
    const __m512i a = _mm512_shuffle_epi8(_mm512_mask_blend_epi8(s.blendFirst, first, second), s.shuffleFirst);
    const __m512i b = _mm512_shuffle_epi8(_mm512_mask_blend_epi8(s.blendSecond, second, first), s.shuffleSecond);
    if constexpr (Last) {
        first = LastRound512<Decrypt>(a, kFirst);
        second = LastRound512<Decrypt>(b, kSecond);
    } else {
        first = Round512<Decrypt>(a, kFirst);
        second = Round512<Decrypt>(b, kSecond);
    }
}

// Q register pairs of four blocks, for blocks first .. first + 4Q - 1 (the
// last pair only `tail` blocks when tail is 1 to 3).
template <int Nb, bool Decrypt, int Q>
MG_VAES512 inline void GroupQuad(const unsigned char (*rk)[32], std::int32_t rounds, const QuadShuffle& s,
                                 const unsigned char* src, const unsigned char* mask, unsigned char* dst,
                                 std::size_t first, unsigned tail)
{
    using W = Quad<Nb>;
    constexpr std::size_t bs = 4 * Nb;
    __m512i a[Q], b[Q];
#pragma GCC unroll 4
    for (int j = 0; j < Q; ++j) {
        const unsigned blocks = j == Q - 1 && tail != 0 ? tail : 4;
        W::Load(src + bs * (first + 4 * j), blocks, a[j], b[j]);
        a[j] = _mm512_xor_si512(a[j], Key512(rk[0]));
        b[j] = _mm512_xor_si512(b[j], Key512(rk[0] + 16));
    }
    for (int r = 1; r < rounds; ++r) {
        const __m512i ka = Key512(rk[r]), kb = Key512(rk[r] + 16);
#pragma GCC unroll 4
        for (int j = 0; j < Q; ++j) QuadRound<Decrypt, false>(a[j], b[j], s, ka, kb);
    }
    const __m512i ka = Key512(rk[rounds]), kb = Key512(rk[rounds] + 16);
#pragma GCC unroll 4
    for (int j = 0; j < Q; ++j) QuadRound<Decrypt, true>(a[j], b[j], s, ka, kb);
    if (mask != nullptr) {
#pragma GCC unroll 4
        for (int j = 0; j < Q; ++j) {
            const unsigned blocks = j == Q - 1 && tail != 0 ? tail : 4;
            __m512i ma, mb;
            W::Load(mask + bs * (first + 4 * j), blocks, ma, mb);
            a[j] = _mm512_xor_si512(a[j], ma);
            b[j] = _mm512_xor_si512(b[j], mb);
        }
    }
#pragma GCC unroll 4
    for (int j = 0; j < Q; ++j) {
        const unsigned blocks = j == Q - 1 && tail != 0 ? tail : 4;
        W::Store(dst + bs * (first + 4 * j), blocks, a[j], b[j]);
    }
}

// In 32-bit mode two quads (four registers of blocks with the shuffle
// constants as memory operands) measured 1.3-1.8 times one quad; three
// spilled and lost it again. The same holds for kYmmWide above.
#if defined(__x86_64__)
constexpr int kQuads = 4;
#else
constexpr int kQuads = 2;
#endif

template <int Nb, bool Decrypt>
MG_VAES512 __attribute__((noinline)) void BatchWideVaes(const Keys& keys, std::int32_t rounds,
                                                         const unsigned char* src, const unsigned char* mask,
                                                         unsigned char* dst, std::size_t n)
{
    const unsigned char(*rk)[32] = Decrypt ? keys.dec : keys.enc;
    const QuadShuffle s = MakeQuadShuffle<Nb, Decrypt>();
    while (n >= 4 * kQuads) {
        n -= 4 * kQuads;
        GroupQuad<Nb, Decrypt, kQuads>(rk, rounds, s, src, mask, dst, n, 0);
    }
    if (n == 0) return;
    const unsigned tail = static_cast<unsigned>(n % 4);
    switch ((n + 3) / 4) {
    case 4:
        GroupQuad<Nb, Decrypt, 4>(rk, rounds, s, src, mask, dst, 0, tail);
        break;
    case 3:
        GroupQuad<Nb, Decrypt, 3>(rk, rounds, s, src, mask, dst, 0, tail);
        break;
    case 2:
        GroupQuad<Nb, Decrypt, 2>(rk, rounds, s, src, mask, dst, 0, tail);
        break;
    default:
        GroupQuad<Nb, Decrypt, 1>(rk, rounds, s, src, mask, dst, 0, tail);
        break;
    }
}

// ---------------------------------------------------------------------------
// Entry points: the shared mode loops, compiled here for the instruction set
// so that the engines inline into them.

#define MG_RUN_PAIR(Name, Target, EngineType)                                                                    \
    Target __attribute__((flatten)) void Name##Encrypt(const Keys& keys, std::int32_t rounds, std::int32_t mode, \
                                                       unsigned char* chain, const unsigned char* in,            \
                                                       unsigned char* out, std::size_t count)                    \
    {                                                                                                            \
        modes::Encrypt(EngineType(keys, rounds), mode, chain, in, out, count);                                   \
    }                                                                                                            \
    Target __attribute__((flatten)) void Name##Decrypt(const Keys& keys, std::int32_t rounds, std::int32_t mode, \
                                                       unsigned char* chain, const unsigned char* in,            \
                                                       unsigned char* out, std::size_t count)                    \
    {                                                                                                            \
        modes::Decrypt(EngineType(keys, rounds), mode, chain, in, out, count);                                   \
    }

using Ni16 = Engine16<Batch16Ni<false>, Batch16Ni<true>>;
using Ni24 = EngineWide<6, BatchWideNi<6, false>, BatchWideNi<6, true>>;
using Ni32 = EngineWide<8, BatchWideNi<8, false>, BatchWideNi<8, true>>;
using Ymm16 = Engine16<Batch16Vaes256<false>, Batch16Vaes256<true>>;
using Ymm24 = EngineWide<6, BatchWideVaes256<6, false>, BatchWideVaes256<6, true>>;
using Ymm32 = EngineWide<8, BatchWideVaes256<8, false>, BatchWideVaes256<8, true>>;
using Vaes16 = Engine16<Batch16Vaes<false>, Batch16Vaes<true>>;
using Vaes24 = EngineWide<6, BatchWideVaes<6, false>, BatchWideVaes<6, true>>;
using Vaes32 = EngineWide<8, BatchWideVaes<8, false>, BatchWideVaes<8, true>>;

MG_RUN_PAIR(Ni16, MG_AESNI, Ni16)
MG_RUN_PAIR(Ni24, MG_AESNI, Ni24)
MG_RUN_PAIR(Ni32, MG_AESNI, Ni32)
// The serial modes of the VAES tiers are those of AES-NI; only the batches differ.
MG_RUN_PAIR(Ymm16, MG_AESNI, Ymm16)
MG_RUN_PAIR(Ymm24, MG_AESNI, Ymm24)
MG_RUN_PAIR(Ymm32, MG_AESNI, Ymm32)
MG_RUN_PAIR(Vaes16, MG_AESNI, Vaes16)
MG_RUN_PAIR(Vaes24, MG_AESNI, Vaes24)
MG_RUN_PAIR(Vaes32, MG_AESNI, Vaes32)

#undef MG_RUN_PAIR

constexpr Kernels kAesNi[3] = {
    {Ni16Encrypt, Ni16Decrypt}, {Ni24Encrypt, Ni24Decrypt}, {Ni32Encrypt, Ni32Decrypt}};
constexpr Kernels kVaes256[3] = {
    {Ymm16Encrypt, Ymm16Decrypt}, {Ymm24Encrypt, Ymm24Decrypt}, {Ymm32Encrypt, Ymm32Decrypt}};
constexpr Kernels kVaes512[3] = {
    {Vaes16Encrypt, Vaes16Decrypt}, {Vaes24Encrypt, Vaes24Decrypt}, {Vaes32Encrypt, Vaes32Decrypt}};

// The decryption rows of the equivalent inverse cipher: the encryption rows
// in reverse order, the inner ones through InvMixColumns.
MG_AESNI void InverseRows(std::int32_t rounds, Keys& keys)
{
    for (int r = 0; r <= rounds; ++r) {
        for (int half = 0; half < 32; half += 16) {
            __m128i k = Key128(keys.enc[rounds - r] + half);
            if (r != 0 && r != rounds) k = _mm_aesimc_si128(k);
            Store128(keys.dec[r] + half, k);
        }
    }
}

}  // namespace

void LayOut(const std::uint32_t (*encWords)[8], std::int32_t rounds, std::int32_t blockSize, Keys& keys)
{
    // Register slot -> column; a 24-byte block repeats columns 0 and 1 in the
    // second register.
    static constexpr int kSlots[3][8] = {
        {0, 1, 2, 3, 0, 0, 0, 0}, {0, 1, 2, 3, 4, 5, 0, 1}, {0, 1, 2, 3, 4, 5, 6, 7}};
    const int* slots = kSlots[(blockSize - 16) / 8];
    for (int r = 0; r <= rounds; ++r)
        for (int s = 0; s < 8; ++s) accel::StoreBe32(keys.enc[r] + 4 * s, encWords[r][slots[s]]);
    InverseRows(rounds, keys);
}

const Kernels* Select(std::int32_t limit, std::int32_t blockSize, std::int32_t* level)
{
    const CpuFeatures& cpu = Cpu();
    const int index = (blockSize - 16) / 8;
    const bool aesni = cpu.aesni && cpu.sse41 && cpu.ssse3;
    if (limit >= 3 && aesni && cpu.vaes && cpu.avx512f && cpu.avx512bw) {
        *level = 3;
        return &kVaes512[index];
    }
    if (limit >= 2 && aesni && cpu.vaes && cpu.avx2) {
        *level = 2;
        return &kVaes256[index];
    }
    if (limit >= 1 && aesni) {
        *level = 1;
        return &kAesNi[index];
    }
    *level = 0;
    return nullptr;
}

#else

void LayOut(const std::uint32_t (*)[8], std::int32_t, std::int32_t, Keys&) {}

const Kernels* Select(std::int32_t, std::int32_t, std::int32_t* level)
{
    *level = 0;
    return nullptr;
}

#endif

}  // namespace mg::rijndael_accel
