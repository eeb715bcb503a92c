// TEA on vector registers; see cipher/tea_accel.h.
#include "cipher/tea_accel.h"

#include <cstring>

#include "cipher/block_cipher.h"
#include "cipher/accel_util.h"
#include "cpu/cpu_features.h"
#include "cpu/x86_intrinsics.h"

#if defined(__i386__) || defined(__x86_64__)
#define MG_TEA_X86 1
#endif

namespace mg::tea_accel {

namespace {
constexpr std::uint32_t kDelta = 0x9E3779B9u;
}  // namespace

void MakeSchedule(const std::uint32_t key[4], Schedule& schedule)
{
    std::uint32_t sum = 0;
    for (int i = 0; i < 32; ++i) {
        schedule.c[2 * i] = sum + key[sum & 3];
        sum += kDelta;
        schedule.c[2 * i + 1] = sum + key[(sum >> 11) & 3];
    }
}

#if MG_TEA_X86

namespace {

#define MG_SSE2 __attribute__((target("sse2")))
#define MG_AVX2 __attribute__((target("avx,avx2")))
#define MG_AVX512 __attribute__((target("avx,avx2,avx512f,avx512bw")))

// One block at a time, for the serial modes: the latency of the rounds is
// all there is, so only the key-word selection is taken out of it.
inline void EncipherWords(const Schedule& s, std::uint32_t& l, std::uint32_t& r)
{
#pragma GCC unroll 32
    for (int i = 0; i < 32; ++i) {
        l += (((r << 4) ^ (r >> 5)) + r) ^ s.c[2 * i];
        r += (((l << 4) ^ (l >> 5)) + l) ^ s.c[2 * i + 1];
    }
}

inline void DecipherWords(const Schedule& s, std::uint32_t& l, std::uint32_t& r)
{
#pragma GCC unroll 32
    for (int i = 31; i >= 0; --i) {
        r -= (((l << 4) ^ (l >> 5)) + l) ^ s.c[2 * i + 1];
        l -= (((r << 4) ^ (r >> 5)) + r) ^ s.c[2 * i];
    }
}

// Vector operations of one tier. They take and give their vectors by
// reference only: the templates below that call them are compiled without
// the tier's instruction set, and vectors passed by value would travel
// differently on the two sides of the call when nothing is inlined (-O0).
// Blocks come in pairs of registers; Split gathers their left and right
// words (in an order of lanes that Join undoes).
struct Sse2 {
    struct V {
        __m128i v;
    };
    static constexpr std::size_t kLanes = 4;
    MG_SSE2 static void Load(V& x, const unsigned char* p) { x.v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
    MG_SSE2 static void Store(unsigned char* p, const V& x) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), x.v); }
    MG_SSE2 static void Xor(V& a, const V& b) { a.v = _mm_xor_si128(a.v, b.v); }
    MG_SSE2 static void XorLoad(V& a, const unsigned char* p)
    {
        a.v = _mm_xor_si128(a.v, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
    }
    // a += (F(b) ^ c), a -= (F(b) ^ c) with F(x) = ((x << 4) ^ (x >> 5)) + x.
    MG_SSE2 static void AddRound(V& a, const V& b, std::uint32_t c)
    {
        const __m128i f = _mm_add_epi32(_mm_xor_si128(_mm_slli_epi32(b.v, 4), _mm_srli_epi32(b.v, 5)), b.v);
        a.v = _mm_add_epi32(a.v, _mm_xor_si128(f, _mm_set1_epi32(static_cast<int>(c))));
    }
    MG_SSE2 static void SubRound(V& a, const V& b, std::uint32_t c)
    {
        const __m128i f = _mm_add_epi32(_mm_xor_si128(_mm_slli_epi32(b.v, 4), _mm_srli_epi32(b.v, 5)), b.v);
        a.v = _mm_sub_epi32(a.v, _mm_xor_si128(f, _mm_set1_epi32(static_cast<int>(c))));
    }
    MG_SSE2 static void ByteSwap(V& x)
    {
        const __m128i h = _mm_or_si128(_mm_slli_epi16(x.v, 8), _mm_srli_epi16(x.v, 8));
        x.v = _mm_shufflehi_epi16(_mm_shufflelo_epi16(h, 0xB1), 0xB1);
    }
    MG_SSE2 static void Split(const V& a, const V& b, V& l, V& r)
    {
        const __m128 fa = _mm_castsi128_ps(a.v), fb = _mm_castsi128_ps(b.v);
        l.v = _mm_castps_si128(_mm_shuffle_ps(fa, fb, _MM_SHUFFLE(2, 0, 2, 0)));
        r.v = _mm_castps_si128(_mm_shuffle_ps(fa, fb, _MM_SHUFFLE(3, 1, 3, 1)));
    }
    MG_SSE2 static void Join(const V& l, const V& r, V& a, V& b)
    {
        a.v = _mm_unpacklo_epi32(l.v, r.v);
        b.v = _mm_unpackhi_epi32(l.v, r.v);
    }
};

struct Avx2 {
    struct V {
        __m256i v;
    };
    static constexpr std::size_t kLanes = 8;
    MG_AVX2 static void Load(V& x, const unsigned char* p)
    {
        x.v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    }
    MG_AVX2 static void Store(unsigned char* p, const V& x) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), x.v); }
    MG_AVX2 static void Xor(V& a, const V& b) { a.v = _mm256_xor_si256(a.v, b.v); }
    MG_AVX2 static void XorLoad(V& a, const unsigned char* p)
    {
        a.v = _mm256_xor_si256(a.v, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)));
    }
    MG_AVX2 static void AddRound(V& a, const V& b, std::uint32_t c)
    {
        const __m256i f = _mm256_add_epi32(_mm256_xor_si256(_mm256_slli_epi32(b.v, 4), _mm256_srli_epi32(b.v, 5)), b.v);
        a.v = _mm256_add_epi32(a.v, _mm256_xor_si256(f, _mm256_set1_epi32(static_cast<int>(c))));
    }
    MG_AVX2 static void SubRound(V& a, const V& b, std::uint32_t c)
    {
        const __m256i f = _mm256_add_epi32(_mm256_xor_si256(_mm256_slli_epi32(b.v, 4), _mm256_srli_epi32(b.v, 5)), b.v);
        a.v = _mm256_sub_epi32(a.v, _mm256_xor_si256(f, _mm256_set1_epi32(static_cast<int>(c))));
    }
    MG_AVX2 static void ByteSwap(V& x)
    {
        const __m256i order = _mm256_setr_epi8(3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12, 3, 2, 1, 0, 7,
                                               6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12);
        x.v = _mm256_shuffle_epi8(x.v, order);
    }
    MG_AVX2 static void Split(const V& a, const V& b, V& l, V& r)
    {
        const __m256 fa = _mm256_castsi256_ps(a.v), fb = _mm256_castsi256_ps(b.v);
        l.v = _mm256_castps_si256(_mm256_shuffle_ps(fa, fb, _MM_SHUFFLE(2, 0, 2, 0)));
        r.v = _mm256_castps_si256(_mm256_shuffle_ps(fa, fb, _MM_SHUFFLE(3, 1, 3, 1)));
    }
    MG_AVX2 static void Join(const V& l, const V& r, V& a, V& b)
    {
        a.v = _mm256_unpacklo_epi32(l.v, r.v);
        b.v = _mm256_unpackhi_epi32(l.v, r.v);
    }
};

struct Avx512 {
    struct V {
        __m512i v;
    };
    static constexpr std::size_t kLanes = 16;
    MG_AVX512 static void Load(V& x, const unsigned char* p) { x.v = _mm512_loadu_si512(p); }
    MG_AVX512 static void Store(unsigned char* p, const V& x) { _mm512_storeu_si512(p, x.v); }
    MG_AVX512 static void Xor(V& a, const V& b) { a.v = _mm512_xor_si512(a.v, b.v); }
    MG_AVX512 static void XorLoad(V& a, const unsigned char* p) { a.v = _mm512_xor_si512(a.v, _mm512_loadu_si512(p)); }
    MG_AVX512 static void AddRound(V& a, const V& b, std::uint32_t c)
    {
        const __m512i f = _mm512_add_epi32(_mm512_xor_si512(_mm512_slli_epi32(b.v, 4), _mm512_srli_epi32(b.v, 5)), b.v);
        a.v = _mm512_add_epi32(a.v, _mm512_xor_si512(f, _mm512_set1_epi32(static_cast<int>(c))));
    }
    MG_AVX512 static void SubRound(V& a, const V& b, std::uint32_t c)
    {
        const __m512i f = _mm512_add_epi32(_mm512_xor_si512(_mm512_slli_epi32(b.v, 4), _mm512_srli_epi32(b.v, 5)), b.v);
        a.v = _mm512_sub_epi32(a.v, _mm512_xor_si512(f, _mm512_set1_epi32(static_cast<int>(c))));
    }
    MG_AVX512 static void ByteSwap(V& x)
    {
        const __m512i order = _mm512_broadcast_i32x4(_mm_setr_epi8(3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12));
        x.v = _mm512_shuffle_epi8(x.v, order);
    }
    MG_AVX512 static void Split(const V& a, const V& b, V& l, V& r)
    {
        const __m512 fa = _mm512_castsi512_ps(a.v), fb = _mm512_castsi512_ps(b.v);
        l.v = _mm512_castps_si512(_mm512_shuffle_ps(fa, fb, _MM_SHUFFLE(2, 0, 2, 0)));
        r.v = _mm512_castps_si512(_mm512_shuffle_ps(fa, fb, _MM_SHUFFLE(3, 1, 3, 1)));
    }
    MG_AVX512 static void Join(const V& l, const V& r, V& a, V& b)
    {
        a.v = _mm512_unpacklo_epi32(l.v, r.v);
        b.v = _mm512_unpackhi_epi32(l.v, r.v);
    }
};

// G register pairs of blocks, all read before any is written. Compiled into
// the tier's own functions below, never on its own.
template <class T, bool Decrypt, std::size_t G>
inline void Group(const Schedule& s, const unsigned char* src, const unsigned char* mask, unsigned char* dst)
{
    using V = typename T::V;
    constexpr std::size_t kBytes = 8 * T::kLanes;  // one register pair
    V l[G], r[G], a[G], b[G];
#pragma GCC unroll 4
    for (std::size_t g = 0; g < G; ++g) {
        T::Load(a[g], src + kBytes * g);
        T::Load(b[g], src + kBytes * g + kBytes / 2);
        T::ByteSwap(a[g]);
        T::ByteSwap(b[g]);
        T::Split(a[g], b[g], l[g], r[g]);
    }
    if (Decrypt) {
        for (int i = 31; i >= 0; --i) {
#pragma GCC unroll 4
            for (std::size_t g = 0; g < G; ++g) T::SubRound(r[g], l[g], s.c[2 * i + 1]);
#pragma GCC unroll 4
            for (std::size_t g = 0; g < G; ++g) T::SubRound(l[g], r[g], s.c[2 * i]);
        }
    } else {
        for (int i = 0; i < 32; ++i) {
#pragma GCC unroll 4
            for (std::size_t g = 0; g < G; ++g) T::AddRound(l[g], r[g], s.c[2 * i]);
#pragma GCC unroll 4
            for (std::size_t g = 0; g < G; ++g) T::AddRound(r[g], l[g], s.c[2 * i + 1]);
        }
    }
#pragma GCC unroll 4
    for (std::size_t g = 0; g < G; ++g) {
        T::Join(l[g], r[g], a[g], b[g]);
        T::ByteSwap(a[g]);
        T::ByteSwap(b[g]);
    }
    if (mask != nullptr) {
#pragma GCC unroll 4
        for (std::size_t g = 0; g < G; ++g) {
            T::XorLoad(a[g], mask + kBytes * g);
            T::XorLoad(b[g], mask + kBytes * g + kBytes / 2);
        }
    }
#pragma GCC unroll 4
    for (std::size_t g = 0; g < G; ++g) {
        T::Store(dst + kBytes * g, a[g]);
        T::Store(dst + kBytes * g + kBytes / 2, b[g]);
    }
}

// Whole groups from the last block down; the first n mod group blocks go
// through one group in a local buffer.
template <class T, bool Decrypt, std::size_t G>
inline void Batch(const Schedule& s, const unsigned char* src, const unsigned char* mask, unsigned char* dst,
                  std::size_t n)
{
    constexpr std::size_t kGroupBlocks = G * T::kLanes;
    while (n >= kGroupBlocks) {
        n -= kGroupBlocks;
        Group<T, Decrypt, G>(s, src + 8 * n, mask == nullptr ? nullptr : mask + 8 * n, dst + 8 * n);
    }
    if (n == 0) return;
    unsigned char in[8 * kGroupBlocks] = {};
    unsigned char with[8 * kGroupBlocks] = {};
    std::memcpy(in, src, 8 * n);
    if (mask != nullptr) std::memcpy(with, mask, 8 * n);
    Group<T, Decrypt, G>(s, in, mask == nullptr ? nullptr : with, in);
    std::memcpy(dst, in, 8 * n);
}

using BatchFn = void (*)(const Schedule&, const unsigned char*, const unsigned char*, unsigned char*, std::size_t);

// In 32-bit mode, with eight vector registers, three register pairs on
// 512-bit registers measured 1.3 times two, while on 256-bit registers three
// ran slower than two (measured on an AMD Zen 4).
#if defined(__x86_64__)
constexpr std::size_t kSse2Group = 4;
constexpr std::size_t kAvx512Group = 2;
#else
constexpr std::size_t kSse2Group = 2;
constexpr std::size_t kAvx512Group = 3;
#endif

template <bool Decrypt>
MG_SSE2 __attribute__((noinline, flatten)) void BatchSse2(const Schedule& s, const unsigned char* src,
                                                           const unsigned char* mask, unsigned char* dst,
                                                           std::size_t n)
{
    Batch<Sse2, Decrypt, kSse2Group>(s, src, mask, dst, n);
}

template <bool Decrypt>
MG_AVX2 __attribute__((noinline, flatten)) void BatchAvx2(const Schedule& s, const unsigned char* src,
                                                           const unsigned char* mask, unsigned char* dst,
                                                           std::size_t n)
{
    Batch<Avx2, Decrypt, 2>(s, src, mask, dst, n);
}

template <bool Decrypt>
MG_AVX512 __attribute__((noinline, flatten)) void BatchAvx512(const Schedule& s, const unsigned char* src,
                                                               const unsigned char* mask, unsigned char* dst,
                                                               std::size_t n)
{
    Batch<Avx512, Decrypt, kAvx512Group>(s, src, mask, dst, n);
}

template <BatchFn EncBatch, BatchFn DecBatch>
class Engine {
public:
    struct Block {
        std::uint32_t l, r;
    };
    static constexpr bool kBatched = true;

    explicit Engine(const Schedule& s) : m_s(s) {}

    std::size_t BlockBytes() const { return 8; }
    Block Load(const unsigned char* p) const { return {accel::LoadBe32(p), accel::LoadBe32(p + 4)}; }
    void Store(unsigned char* p, const Block& b) const
    {
        accel::StoreBe32(p, b.l);
        accel::StoreBe32(p + 4, b.r);
    }
    Block Xor(const Block& a, const Block& b) const { return {a.l ^ b.l, a.r ^ b.r}; }
    Block Encipher(Block b) const
    {
        EncipherWords(m_s, b.l, b.r);
        return b;
    }
    Block Decipher(Block b) const
    {
        DecipherWords(m_s, b.l, b.r);
        return b;
    }
    void EncipherBatch(const unsigned char* src, const unsigned char* mask, unsigned char* dst, std::size_t n) const
    {
        EncBatch(m_s, src, mask, dst, n);
    }
    void DecipherBatch(const unsigned char* src, const unsigned char* mask, unsigned char* dst, std::size_t n) const
    {
        DecBatch(m_s, src, mask, dst, n);
    }

private:
    const Schedule& m_s;
};

template <BatchFn EncBatch, BatchFn DecBatch>
void RunEncrypt(const Schedule& s, std::int32_t mode, unsigned char* chain, const unsigned char* in,
                unsigned char* out, std::size_t count)
{
    modes::Encrypt(Engine<EncBatch, DecBatch>(s), mode, chain, in, out, count);
}

template <BatchFn EncBatch, BatchFn DecBatch>
void RunDecrypt(const Schedule& s, std::int32_t mode, unsigned char* chain, const unsigned char* in,
                unsigned char* out, std::size_t count)
{
    modes::Decrypt(Engine<EncBatch, DecBatch>(s), mode, chain, in, out, count);
}

constexpr Kernels kSse2 = {RunEncrypt<BatchSse2<false>, BatchSse2<true>>, RunDecrypt<BatchSse2<false>, BatchSse2<true>>};
constexpr Kernels kAvx2 = {RunEncrypt<BatchAvx2<false>, BatchAvx2<true>>, RunDecrypt<BatchAvx2<false>, BatchAvx2<true>>};
constexpr Kernels kAvx512 = {RunEncrypt<BatchAvx512<false>, BatchAvx512<true>>,
                             RunDecrypt<BatchAvx512<false>, BatchAvx512<true>>};

}  // namespace

const Kernels* Select(std::int32_t limit, std::int32_t* level)
{
    const CpuFeatures& cpu = Cpu();
    if (limit >= 3 && cpu.avx512f && cpu.avx512bw) {
        *level = 3;
        return &kAvx512;
    }
    if (limit >= 2 && cpu.avx2) {
        *level = 2;
        return &kAvx2;
    }
    if (limit >= 1 && cpu.sse2) {
        *level = 1;
        return &kSse2;
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

}  // namespace mg::tea_accel
