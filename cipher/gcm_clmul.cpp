// AES-GCM on AES-NI with PCLMULQDQ and on VAES with VPCLMULQDQ (256-bit
// registers with AVX2, 512-bit ones with AVX-512); see
// cipher/gcm_accel.h. Values live in registers with the block's bytes
// reversed: the counter then sits in the lowest 32-bit lane, and GHASH's
// reflected polynomials become 128-bit integers whose product, shifted left
// by one, is the reflected product.
//
// Each step enciphers a group of counters and, between their rounds, hashes
// a group of ciphertext: the same group when decrypting (it is the input),
// the previous one when encrypting (it has just been written), so that the
// multiplier works while the AES unit does.
#include "cipher/gcm_accel.h"

#include <cstring>

#include "cpu/cpu_features.h"
#include "cpu/secure_wipe.h"
#include "cpu/x86_intrinsics.h"

#if defined(__i386__) || defined(__x86_64__)
#define MG_GCM_X86 1
#endif

namespace mg::gcm_accel {

#if MG_GCM_X86

namespace {

#define MG_CLMUL __attribute__((target("aes,pclmul,sse4.1,ssse3")))
#define MG_VCLMUL \
    __attribute__((target("aes,pclmul,sse4.1,ssse3,avx,avx2,avx512f,avx512bw,vaes,vpclmulqdq")))
#define MG_VCLMUL256 __attribute__((target("aes,pclmul,sse4.1,ssse3,avx,avx2,vaes,vpclmulqdq")))

using RoundKeys = const unsigned char (*)[16];

// Blocks per step: as many as the registers hold beside the round key, the
// hash key powers and the three product sums.
#if defined(__x86_64__)
constexpr std::size_t kGroup = 8;
constexpr int kYmmRegs = 8;   // 16 blocks
constexpr int kWideRegs = 8;  // 32 blocks
#else
constexpr std::size_t kGroup = 4;
constexpr int kYmmRegs = 2;   // 4 blocks
constexpr int kWideRegs = 2;  // 8 blocks
#endif
static_assert(kGroup <= kPowers && 2 * kYmmRegs <= kPowers && 4 * kWideRegs <= kPowers);

MG_CLMUL inline __m128i Load(const unsigned char* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
MG_CLMUL inline void Store(unsigned char* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
MG_CLMUL inline __m128i Reverse(__m128i v)
{
    return _mm_shuffle_epi8(v, _mm_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15));
}
MG_CLMUL inline __m128i Counter(__m128i ctr, int add) { return _mm_add_epi32(ctr, _mm_set_epi32(0, 0, 0, add)); }
MG_CLMUL inline __m128i Fold(__m128i v) { return _mm_xor_si128(v, _mm_shuffle_epi32(v, 0x4e)); }

// A factor of the hash and the XOR of its halves.
struct Factor {
    __m128i h, f;
};

MG_CLMUL inline Factor Power(const HashKey& hash, std::size_t k)
{
    return {Load(hash.powers[kPowers - k]), Load(hash.folded[kPowers - k])};
}

// A sum of 256-bit products before reduction: the low and high terms, and
// the Karatsuba middle term (x.lo ^ x.hi)(h.lo ^ h.hi), which still holds
// the low and high terms; being linear, they come out once per sum.
struct Product {
    __m128i lo, mid, hi;
};

MG_CLMUL inline Product Zero() { return {_mm_setzero_si128(), _mm_setzero_si128(), _mm_setzero_si128()}; }

MG_CLMUL inline void MulAdd(Product& p, __m128i x, const Factor& h)
{
    p.lo = _mm_xor_si128(p.lo, _mm_clmulepi64_si128(x, h.h, 0x00));
    p.hi = _mm_xor_si128(p.hi, _mm_clmulepi64_si128(x, h.h, 0x11));
    p.mid = _mm_xor_si128(p.mid, _mm_clmulepi64_si128(Fold(x), h.f, 0x00));
}

// The product shifted left by one and reduced modulo the reflected
// x^128 + x^7 + x^2 + x + 1: with X0..X3 its 64-bit words from the lowest,
// D = X1 ^ X0<<63 ^ X0<<62 ^ X0<<57 and the result is
// [X3:X2] ^ [D:X0] ^ [D:X0]>>1 ^ [D:X0]>>2 ^ [D:X0]>>7.
MG_CLMUL inline __m128i Reduce(const Product& p)
{
    const __m128i mid = _mm_xor_si128(p.mid, _mm_xor_si128(p.lo, p.hi));
    __m128i lo = _mm_xor_si128(p.lo, _mm_slli_si128(mid, 8));
    __m128i hi = _mm_xor_si128(p.hi, _mm_srli_si128(mid, 8));
    const __m128i carryLo = _mm_srli_epi64(lo, 63);
    const __m128i carryHi = _mm_srli_epi64(hi, 63);
    lo = _mm_or_si128(_mm_slli_epi64(lo, 1), _mm_slli_si128(carryLo, 8));
    hi = _mm_or_si128(_mm_slli_epi64(hi, 1), _mm_or_si128(_mm_srli_si128(carryLo, 8), _mm_slli_si128(carryHi, 8)));
    const __m128i a = _mm_xor_si128(_mm_xor_si128(_mm_slli_epi64(lo, 63), _mm_slli_epi64(lo, 62)), _mm_slli_epi64(lo, 57));
    lo = _mm_xor_si128(lo, _mm_slli_si128(a, 8));  // [D:X0]
    __m128i e = _mm_xor_si128(_mm_xor_si128(_mm_srli_epi64(lo, 1), _mm_srli_epi64(lo, 2)), _mm_srli_epi64(lo, 7));
    const __m128i spill = _mm_xor_si128(_mm_xor_si128(_mm_slli_epi64(lo, 63), _mm_slli_epi64(lo, 62)), _mm_slli_epi64(lo, 57));
    e = _mm_xor_si128(e, _mm_srli_si128(spill, 8));
    return _mm_xor_si128(hi, _mm_xor_si128(lo, e));
}

MG_CLMUL inline __m128i Multiply(__m128i x, const Factor& h)
{
    Product p = Zero();
    MulAdd(p, x, h);
    return Reduce(p);
}

MG_CLMUL inline __m128i Encipher(RoundKeys rk, std::int32_t rounds, __m128i x)
{
    x = _mm_xor_si128(x, Load(rk[0]));
    for (int r = 1; r < rounds; ++r) x = _mm_aesenc_si128(x, Load(rk[r]));
    return _mm_aesenclast_si128(x, Load(rk[rounds]));
}

// y = (y ^ g0) H^N ^ g1 H^(N-1) ^ ... for N whole blocks at g.
template <std::size_t N>
MG_CLMUL inline void HashGroup(const HashKey& hash, __m128i& y, const unsigned char* g)
{
    Product p = Zero();
#pragma GCC unroll 16
    for (std::size_t j = 0; j < N; ++j) {
        __m128i c = Reverse(Load(g + 16 * j));
        if (j == 0) c = _mm_xor_si128(c, y);
        MulAdd(p, c, Power(hash, N - j));
    }
    y = Reduce(p);
}

// Whole blocks and a final partial one padded with zeros.
MG_CLMUL inline void HashBytes(const HashKey& hash, __m128i& y, const unsigned char* p, std::size_t n)
{
    for (; n >= 16 * kGroup; p += 16 * kGroup, n -= 16 * kGroup) HashGroup<kGroup>(hash, y, p);
    for (; n >= 16; p += 16, n -= 16) y = Multiply(_mm_xor_si128(y, Reverse(Load(p))), Power(hash, 1));
    if (n == 0) return;
    unsigned char last[16] = {};
    std::memcpy(last, p, n);
    y = Multiply(_mm_xor_si128(y, Reverse(Load(last))), Power(hash, 1));
}

// Counters ctr + 1 .. ctr + N enciphered and XORed onto N blocks of `in`;
// meanwhile the N blocks at g (when not null) join the hash.
template <int Rounds, std::size_t N>
MG_CLMUL inline void Group(RoundKeys rk, const HashKey& hash, __m128i& ctr, __m128i& y, const unsigned char* in,
                           unsigned char* out, const unsigned char* g)
{
    static_assert(N < Rounds);
    __m128i x[N];
    const __m128i k0 = Load(rk[0]);
#pragma GCC unroll 16
    for (std::size_t j = 0; j < N; ++j) x[j] = _mm_xor_si128(Reverse(Counter(ctr, static_cast<int>(j + 1))), k0);
    ctr = Counter(ctr, static_cast<int>(N));
    Product p = Zero();
#pragma GCC unroll 14
    for (int r = 1; r < Rounds; ++r) {
        const __m128i k = Load(rk[r]);
#pragma GCC unroll 16
        for (std::size_t j = 0; j < N; ++j) x[j] = _mm_aesenc_si128(x[j], k);
        if (g != nullptr && static_cast<std::size_t>(r) <= N) {
            const std::size_t j = static_cast<std::size_t>(r) - 1;
            __m128i c = Reverse(Load(g + 16 * j));
            if (j == 0) c = _mm_xor_si128(c, y);
            MulAdd(p, c, Power(hash, N - j));
        }
    }
    const __m128i kl = Load(rk[Rounds]);
#pragma GCC unroll 16
    for (std::size_t j = 0; j < N; ++j) Store(out + 16 * j, _mm_xor_si128(_mm_aesenclast_si128(x[j], kl), Load(in + 16 * j)));
    if (g != nullptr) y = Reduce(p);
}

// len bytes on from the counter ctr: groups, single blocks, the partial block.
template <int Rounds>
MG_CLMUL inline void Run(RoundKeys rk, const HashKey& hash, __m128i& ctr, __m128i& y, const unsigned char* in,
                         unsigned char* out, std::size_t len, bool decrypt)
{
    const std::size_t blocks = len / 16;
    std::size_t i = 0;
    const unsigned char* pending = nullptr;
    for (; i + kGroup <= blocks; i += kGroup) {
        Group<Rounds, kGroup>(rk, hash, ctr, y, in + 16 * i, out + 16 * i, decrypt ? in + 16 * i : pending);
        if (!decrypt) pending = out + 16 * i;
    }
    if (pending != nullptr) HashGroup<kGroup>(hash, y, pending);
    for (; i < blocks; ++i) {
        const __m128i c = Load(in + 16 * i);
        if (decrypt) y = Multiply(_mm_xor_si128(y, Reverse(c)), Power(hash, 1));
        ctr = Counter(ctr, 1);
        const __m128i v = _mm_xor_si128(c, Encipher(rk, Rounds, Reverse(ctr)));
        Store(out + 16 * i, v);
        if (!decrypt) y = Multiply(_mm_xor_si128(y, Reverse(v)), Power(hash, 1));
    }
    const std::size_t rest = len % 16;
    if (rest == 0) return;
    unsigned char last[16] = {};
    ScopedWipe wipeLast(last);
    std::memcpy(last, in + 16 * blocks, rest);
    if (decrypt) HashBytes(hash, y, last, 16);
    ctr = Counter(ctr, 1);
    Store(last, _mm_xor_si128(Load(last), Encipher(rk, Rounds, Reverse(ctr))));
    std::memcpy(out + 16 * blocks, last, rest);
    if (!decrypt) HashBytes(hash, y, last, rest);
}

MG_CLMUL inline void Finish(RoundKeys rk, std::int32_t rounds, const HashKey& hash, const unsigned char* j0,
                            __m128i y, std::size_t aadLen, std::size_t len, unsigned char* tag)
{
    const __m128i lengths = _mm_set_epi64x(static_cast<long long>(std::uint64_t{aadLen} * 8),
                                           static_cast<long long>(std::uint64_t{len} * 8));
    y = Multiply(_mm_xor_si128(y, lengths), Power(hash, 1));
    Store(tag, _mm_xor_si128(Reverse(y), Encipher(rk, rounds, Load(j0))));
}

// SubWord of the key schedule: with the word in every column, the last
// round's ShiftRows moves nothing and leaves SubBytes of the word.
MG_CLMUL inline std::uint32_t SubWord(std::uint32_t w)
{
    const __m128i v = _mm_aesenclast_si128(_mm_set1_epi32(static_cast<int>(w)), _mm_setzero_si128());
    return static_cast<std::uint32_t>(_mm_cvtsi128_si32(v));
}

// The key expansion of FIPS 197 on little-endian words (byte 0 lowest), so
// that RotWord is a rotation right by 8 and the round constant goes into
// the low byte.
MG_CLMUL void ExpandNi(const unsigned char* key, std::size_t keyLength, KeySchedule& keys)
{
    const std::size_t nk = keyLength / 4, total = 4 * (nk + 7);
    std::uint32_t w[60];
    std::memcpy(w, key, keyLength);
    std::uint32_t rcon = 1;
    for (std::size_t i = nk; i < total; ++i) {
        std::uint32_t t = w[i - 1];
        if (i % nk == 0) {
            t = SubWord((t >> 8) | (t << 24)) ^ rcon;
            rcon = (rcon << 1) ^ ((rcon >> 7) * 0x11b);
        } else if (nk == 8 && i % nk == 4) {
            t = SubWord(t);
        }
        w[i] = w[i - nk] ^ t;
    }
    std::memcpy(keys, w, 4 * total);
    SecureWipeObject(w);
}

MG_CLMUL void PrepareNi(const KeySchedule& keys, std::int32_t rounds, HashKey& hash, std::size_t have,
                        std::size_t want)
{
    if (have == 0) {
        const __m128i h = Reverse(Encipher(keys, rounds, _mm_setzero_si128()));
        Store(hash.powers[kPowers - 1], h);
        Store(hash.folded[kPowers - 1], Fold(h));
        have = 1;
    }
    const Factor h = Power(hash, 1);
    for (__m128i power = Load(hash.powers[kPowers - have]); have < want && have < kPowers;) {
        power = Multiply(power, h);
        ++have;
        Store(hash.powers[kPowers - have], power);
        Store(hash.folded[kPowers - have], Fold(power));
    }
}

template <int Rounds>
MG_CLMUL void CryptNi(RoundKeys rk, const HashKey& hash, const unsigned char* j0, const unsigned char* aad,
                      std::size_t aadLen, const unsigned char* in, unsigned char* out, std::size_t len, bool decrypt,
                      unsigned char* tag)
{
    __m128i y = _mm_setzero_si128();
    HashBytes(hash, y, aad, aadLen);
    __m128i ctr = Reverse(Load(j0));
    Run<Rounds>(rk, hash, ctr, y, in, out, len, decrypt);
    Finish(rk, Rounds, hash, j0, y, aadLen, len, tag);
}

// ---------------------------------------------------------------------------
// VAES and VPCLMULQDQ on 256-bit registers with AVX2 only (processors
// without AVX-512): two blocks per register. The powers of the hash key are
// read straight from the key rows, two adjacent rows making one register's
// pair of factors, so that the sixteen registers hold only the counters, the
// round key and the three sums.

MG_VCLMUL256 inline __m256i Load256(const unsigned char* p)
{
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}
MG_VCLMUL256 inline void Store256(unsigned char* p, __m256i v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }
MG_VCLMUL256 inline __m256i Key256(const unsigned char* p) { return _mm256_broadcastsi128_si256(Load(p)); }
MG_VCLMUL256 inline __m256i Reverse256(__m256i v)
{
    return _mm256_shuffle_epi8(v, _mm256_broadcastsi128_si256(_mm_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15)));
}

struct Product256 {
    __m256i lo, mid, hi;
};

// Two blocks times the factors in rows `row` and row + 1.
MG_VCLMUL256 inline void MulAdd256(Product256& p, __m256i x, const HashKey& hash, std::size_t row)
{
    const __m256i h = Load256(hash.powers[row]);
    const __m256i xf = _mm256_xor_si256(x, _mm256_shuffle_epi32(x, 0x4e));
    p.lo = _mm256_xor_si256(p.lo, _mm256_clmulepi64_epi128(x, h, 0x00));
    p.hi = _mm256_xor_si256(p.hi, _mm256_clmulepi64_epi128(x, h, 0x11));
    p.mid = _mm256_xor_si256(p.mid, _mm256_clmulepi64_epi128(xf, Load256(hash.folded[row]), 0x00));
}

MG_VCLMUL256 inline __m128i Lanes256(__m256i v)
{
    return _mm_xor_si128(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
}

// As ReduceWithHash: y joins on its own, times the first block's factor.
MG_VCLMUL256 inline __m128i ReduceWithHash256(const Product256& p, __m128i y, const Factor& h)
{
    Product sum = {Lanes256(p.lo), Lanes256(p.mid), Lanes256(p.hi)};
    MulAdd(sum, y, h);
    return Reduce(sum);
}

// Q registers of two blocks, as Group does for N = 2Q. The group's first
// counter is a multiple of 2Q (CryptVaes256 sees to it), so that the blocks'
// counters differ from it only in the low bits: each block's first round
// input is then one XOR of that counter, the first round key folded in, and
// a constant, with no addition or byte reversal per register.
template <int Rounds, int Q>
MG_VCLMUL256 inline void GroupYmm(RoundKeys rk, const HashKey& hash, __m128i& ctr, __m128i& y,
                                  const unsigned char* in, unsigned char* out, const unsigned char* g)
{
    static_assert(Q < Rounds && 2 * Q <= 256);
    constexpr std::size_t first = kPowers - 2 * Q;
    const __m256i start = _mm256_xor_si256(_mm256_broadcastsi128_si256(Reverse(Counter(ctr, 1))), Key256(rk[0]));
    __m256i x[Q];
#pragma GCC unroll 8
    for (int j = 0; j < Q; ++j)
        x[j] = _mm256_xor_si256(start, _mm256_setr_epi8(0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, static_cast<char>(2 * j), 0, 0, 0,
                                                        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, static_cast<char>(2 * j + 1)));
    ctr = Counter(ctr, 2 * Q);
    Product256 p = {_mm256_setzero_si256(), _mm256_setzero_si256(), _mm256_setzero_si256()};
#pragma GCC unroll 14
    for (int r = 1; r < Rounds; ++r) {
        const __m256i k = Key256(rk[r]);
#pragma GCC unroll 8
        for (int j = 0; j < Q; ++j) x[j] = _mm256_aesenc_epi128(x[j], k);
        if (g != nullptr && r <= Q) {
            const int j = r - 1;
            MulAdd256(p, Reverse256(Load256(g + 32 * j)), hash, first + 2 * static_cast<std::size_t>(j));
        }
    }
    const __m256i kl = Key256(rk[Rounds]);
#pragma GCC unroll 8
    for (int j = 0; j < Q; ++j)
        Store256(out + 32 * j, _mm256_xor_si256(_mm256_aesenclast_epi128(x[j], kl), Load256(in + 32 * j)));
    if (g != nullptr) y = ReduceWithHash256(p, y, Power(hash, 2 * Q));
}

template <int Q>
MG_VCLMUL256 inline void HashGroupYmm(const HashKey& hash, __m128i& y, const unsigned char* g)
{
    constexpr std::size_t first = kPowers - 2 * Q;
    Product256 p = {_mm256_setzero_si256(), _mm256_setzero_si256(), _mm256_setzero_si256()};
#pragma GCC unroll 8
    for (int j = 0; j < Q; ++j) MulAdd256(p, Reverse256(Load256(g + 32 * j)), hash, first + 2 * static_cast<std::size_t>(j));
    y = ReduceWithHash256(p, y, Power(hash, 2 * Q));
}

template <int Rounds>
MG_VCLMUL256 void CryptVaes256(RoundKeys rk, const HashKey& hash, const unsigned char* j0, const unsigned char* aad,
                               std::size_t aadLen, const unsigned char* in, unsigned char* out, std::size_t len,
                               bool decrypt, unsigned char* tag)
{
    constexpr int Q = kYmmRegs;
    constexpr std::size_t step = 32 * Q;
    __m128i y = _mm_setzero_si128();
    std::size_t hashed = 0;
    for (; aadLen - hashed >= step; hashed += step) HashGroupYmm<Q>(hash, y, aad + hashed);
    HashBytes(hash, y, aad + hashed, aadLen - hashed);
    __m128i ctr = Reverse(Load(j0));
    // The blocks before the first counter that is a multiple of the group
    // take the 128-bit path, and so does all of a message too short for a
    // group after them.
    std::size_t done = 16 * ((0u - static_cast<std::uint32_t>(_mm_cvtsi128_si32(ctr)) - 1u) % (2 * Q));
    if (len < done + step) done = len;
    Run<Rounds>(rk, hash, ctr, y, in, out, done, decrypt);
    const unsigned char* pending = nullptr;
    for (; len - done >= step; done += step) {
        GroupYmm<Rounds, Q>(rk, hash, ctr, y, in + done, out + done, decrypt ? in + done : pending);
        if (!decrypt) pending = out + done;
    }
    if (pending != nullptr) HashGroupYmm<Q>(hash, y, pending);
    Run<Rounds>(rk, hash, ctr, y, in + done, out + done, len - done, decrypt);
    Finish(rk, Rounds, hash, j0, y, aadLen, len, tag);
}

// ---------------------------------------------------------------------------
// VAES and VPCLMULQDQ: four blocks per 512-bit register.

MG_VCLMUL inline __m512i Load512(const unsigned char* p) { return _mm512_loadu_si512(p); }
MG_VCLMUL inline void Store512(unsigned char* p, __m512i v) { _mm512_storeu_si512(p, v); }
MG_VCLMUL inline __m512i Key512(const unsigned char* p) { return _mm512_broadcast_i32x4(Load(p)); }
MG_VCLMUL inline __m512i Reverse512(__m512i v)
{
    return _mm512_shuffle_epi8(v, _mm512_broadcast_i32x4(_mm_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15)));
}

struct Product512 {
    __m512i lo, mid, hi;
};

// f: the folded factors of the four lanes, as HashKey::folded.
MG_VCLMUL inline void MulAdd512(Product512& p, __m512i x, __m512i h, __m512i f)
{
    const __m512i xf = _mm512_xor_si512(x, _mm512_shuffle_epi32(x, _MM_PERM_BADC));
    p.lo = _mm512_xor_si512(p.lo, _mm512_clmulepi64_epi128(x, h, 0x00));
    p.hi = _mm512_xor_si512(p.hi, _mm512_clmulepi64_epi128(x, h, 0x11));
    p.mid = _mm512_xor_si512(p.mid, _mm512_clmulepi64_epi128(xf, f, 0x00));
}

// The XOR of the four lanes.
MG_VCLMUL inline __m128i Lanes(__m512i v)
{
    const __m256i t = _mm256_xor_si256(_mm512_castsi512_si256(v), _mm512_extracti64x4_epi64(v, 1));
    return _mm_xor_si128(_mm256_castsi256_si128(t), _mm256_extracti128_si256(t, 1));
}

// The group's sum plus y times the first block's factor. y joins only here,
// multiplied on its own, so that the chain from one group's hash to the
// next is one product and a reduction, not the whole group's sum.
MG_VCLMUL inline __m128i ReduceWithHash(const Product512& p, __m128i y, const Factor& h)
{
    Product sum = {Lanes(p.lo), Lanes(p.mid), Lanes(p.hi)};
    MulAdd(sum, y, h);
    return Reduce(sum);
}

// Q registers of four blocks, as GroupYmm does for N = 4Q: the group's
// first counter is a multiple of 4Q.
template <int Rounds, int Q>
MG_VCLMUL inline void GroupWide(RoundKeys rk, const __m512i* powers, const __m512i* folded, __m128i& ctr, __m128i& y,
                                const unsigned char* in, unsigned char* out, const unsigned char* g)
{
    static_assert(Q < Rounds && 4 * Q <= 256);
    const __m512i start = _mm512_xor_si512(_mm512_broadcast_i32x4(Reverse(Counter(ctr, 1))), Key512(rk[0]));
    __m512i x[Q];
#pragma GCC unroll 8
    for (int j = 0; j < Q; ++j) {
        const int b = 4 * j;
        x[j] = _mm512_xor_si512(start, _mm512_setr_epi32(0, 0, 0, b << 24, 0, 0, 0, (b + 1) << 24, 0, 0, 0, (b + 2) << 24, 0,
                                                         0, 0, (b + 3) << 24));
    }
    ctr = Counter(ctr, 4 * Q);
    Product512 p = {_mm512_setzero_si512(), _mm512_setzero_si512(), _mm512_setzero_si512()};
#pragma GCC unroll 14
    for (int r = 1; r < Rounds; ++r) {
        const __m512i k = Key512(rk[r]);
#pragma GCC unroll 8
        for (int j = 0; j < Q; ++j) x[j] = _mm512_aesenc_epi128(x[j], k);
        if (g != nullptr && r <= Q) {
            const int j = r - 1;
            MulAdd512(p, Reverse512(Load512(g + 64 * j)), powers[j], folded[j]);
        }
    }
    const __m512i kl = Key512(rk[Rounds]);
#pragma GCC unroll 8
    for (int j = 0; j < Q; ++j)
        Store512(out + 64 * j, _mm512_xor_si512(_mm512_aesenclast_epi128(x[j], kl), Load512(in + 64 * j)));
    if (g != nullptr) y = ReduceWithHash(p, y, {_mm512_castsi512_si128(powers[0]), _mm512_castsi512_si128(folded[0])});
}

template <int Q>
MG_VCLMUL inline void HashGroupWide(const __m512i* powers, const __m512i* folded, __m128i& y, const unsigned char* g)
{
    Product512 p = {_mm512_setzero_si512(), _mm512_setzero_si512(), _mm512_setzero_si512()};
#pragma GCC unroll 8
    for (int j = 0; j < Q; ++j) MulAdd512(p, Reverse512(Load512(g + 64 * j)), powers[j], folded[j]);
    y = ReduceWithHash(p, y, {_mm512_castsi512_si128(powers[0]), _mm512_castsi512_si128(folded[0])});
}

template <int Rounds>
MG_VCLMUL void CryptVaes(RoundKeys rk, const HashKey& hash, const unsigned char* j0, const unsigned char* aad,
                         std::size_t aadLen, const unsigned char* in, unsigned char* out, std::size_t len,
                         bool decrypt, unsigned char* tag)
{
    constexpr int Q = kWideRegs;
    constexpr std::size_t step = 64 * Q;
    // A message without a whole group is the 128-bit code's, without the
    // loading of the wide factors.
    if (len < step && aadLen < step) return CryptNi<Rounds>(rk, hash, j0, aad, aadLen, in, out, len, decrypt, tag);
    __m512i powers[Q], folded[Q];
#pragma GCC unroll 8
    for (int j = 0; j < Q; ++j) {
        powers[j] = Load512(hash.powers[kPowers - 4 * Q + 4 * j]);
        folded[j] = Load512(hash.folded[kPowers - 4 * Q + 4 * j]);
    }
    __m128i y = _mm_setzero_si128();
    std::size_t hashed = 0;
    for (; aadLen - hashed >= step; hashed += step) HashGroupWide<Q>(powers, folded, y, aad + hashed);
    HashBytes(hash, y, aad + hashed, aadLen - hashed);
    __m128i ctr = Reverse(Load(j0));
    // As in CryptVaes256: the blocks before the first counter that is a
    // multiple of the group take the 128-bit path.
    std::size_t done = 16 * ((0u - static_cast<std::uint32_t>(_mm_cvtsi128_si32(ctr)) - 1u) % (4 * Q));
    if (len < done + step) done = len;
    Run<Rounds>(rk, hash, ctr, y, in, out, done, decrypt);
    const unsigned char* pending = nullptr;
    for (; len - done >= step; done += step) {
        GroupWide<Rounds, Q>(rk, powers, folded, ctr, y, in + done, out + done, decrypt ? in + done : pending);
        if (!decrypt) pending = out + done;
    }
    if (pending != nullptr) HashGroupWide<Q>(powers, folded, y, pending);
    Run<Rounds>(rk, hash, ctr, y, in + done, out + done, len - done, decrypt);
    Finish(rk, Rounds, hash, j0, y, aadLen, len, tag);
}

#define MG_GCM_ENTRY(Name, Target, Body)                                                                         \
    Target void Name(const KeySchedule& keys, std::int32_t rounds, const HashKey& hash,                 \
                     const unsigned char* j0, const unsigned char* aad, std::size_t aadLen,                      \
                     const unsigned char* in, unsigned char* out, std::size_t len, bool decrypt,                 \
                     unsigned char* tag)                                                                         \
    {                                                                                                            \
        switch (rounds) {                                                                                        \
        case 10:                                                                                                 \
            Body<10>(keys, hash, j0, aad, aadLen, in, out, len, decrypt, tag);                               \
            break;                                                                                               \
        case 12:                                                                                                 \
            Body<12>(keys, hash, j0, aad, aadLen, in, out, len, decrypt, tag);                               \
            break;                                                                                               \
        default:                                                                                                 \
            Body<14>(keys, hash, j0, aad, aadLen, in, out, len, decrypt, tag);                               \
            break;                                                                                               \
        }                                                                                                        \
    }

MG_GCM_ENTRY(SealNi, MG_CLMUL, CryptNi)
MG_GCM_ENTRY(SealVaes256, MG_VCLMUL256, CryptVaes256)
MG_GCM_ENTRY(SealVaes, MG_VCLMUL, CryptVaes)

#undef MG_GCM_ENTRY

constexpr Kernels kNi = {ExpandNi, PrepareNi, SealNi};
constexpr Kernels kVaes256 = {ExpandNi, PrepareNi, SealVaes256};
constexpr Kernels kVaes = {ExpandNi, PrepareNi, SealVaes};

}  // namespace

const Kernels* Select(std::int32_t limit, std::int32_t* level)
{
    const CpuFeatures& cpu = Cpu();
    const bool ni = cpu.aesni && cpu.pclmul && cpu.sse41 && cpu.ssse3;
    if (limit >= 3 && ni && cpu.avx2 && cpu.avx512f && cpu.avx512bw && cpu.vaes && cpu.vpclmul) {
        *level = 3;
        return &kVaes;
    }
    if (limit >= 2 && ni && cpu.avx2 && cpu.vaes && cpu.vpclmul) {
        *level = 2;
        return &kVaes256;
    }
    if (limit >= 1 && ni) {
        *level = 1;
        return &kNi;
    }
    *level = 0;
    return nullptr;
}

#else

const Kernels* Select(std::int32_t, std::int32_t* level)
{
    *level = 0;
    return nullptr;
}

#endif

}  // namespace mg::gcm_accel
