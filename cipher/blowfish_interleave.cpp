// Blowfish on many blocks at once; see cipher/blowfish_accel.h.
#include <cstring>

#include "cipher/block_cipher.h"
#include "cipher/blowfish_accel.h"
#include "cipher/accel_util.h"
#include "cpu/cpu_features.h"

#if defined(__i386__) || defined(__x86_64__)
#define MG_BLOWFISH_X86 1
#endif

namespace mg::blowfish_accel {

#if MG_BLOWFISH_X86

namespace {

inline std::uint32_t F(const std::uint32_t (*s)[256], std::uint32_t x)
{
    return ((s[0][x >> 24] + s[1][(x >> 16) & 0xFF]) ^ s[2][(x >> 8) & 0xFF]) + s[3][x & 0xFF];
}

// W blocks side by side. Decryption is encryption with the P-array reversed.
template <bool Decrypt, std::size_t W>
inline void Rounds(const Tables& t, std::uint32_t (&l)[W], std::uint32_t (&r)[W])
{
    const std::uint32_t* p = t.p;
    const auto key = [p](int i) { return Decrypt ? p[17 - i] : p[i]; };
#pragma GCC unroll 8
    for (std::size_t w = 0; w < W; ++w) l[w] ^= key(0);
#pragma GCC unroll 8
    for (int n = 1; n <= 16; n += 2) {
        const std::uint32_t kn = key(n), kn1 = key(n + 1);
#pragma GCC unroll 8
        for (std::size_t w = 0; w < W; ++w) r[w] ^= F(t.s, l[w]) ^ kn;
#pragma GCC unroll 8
        for (std::size_t w = 0; w < W; ++w) l[w] ^= F(t.s, r[w]) ^ kn1;
    }
    const std::uint32_t k17 = key(17);
#pragma GCC unroll 8
    for (std::size_t w = 0; w < W; ++w) {
        const std::uint32_t x = r[w] ^ k17;
        r[w] = l[w];
        l[w] = x;
    }
}

// Eight blocks keep the load and arithmetic units busiest, on 64-bit and
// 32-bit x86 alike (the register spills cost less than the idle cycles).
constexpr std::size_t kWays = 8;

template <bool Decrypt>
inline void GroupScalar(const Tables& t, const unsigned char* src, const unsigned char* mask, unsigned char* dst)
{
    std::uint32_t l[kWays], r[kWays];
    for (std::size_t w = 0; w < kWays; ++w) {
        l[w] = accel::LoadBe32(src + 8 * w);
        r[w] = accel::LoadBe32(src + 8 * w + 4);
    }
    Rounds<Decrypt, kWays>(t, l, r);
    if (mask != nullptr) {
        for (std::size_t w = 0; w < kWays; ++w) {
            l[w] ^= accel::LoadBe32(mask + 8 * w);
            r[w] ^= accel::LoadBe32(mask + 8 * w + 4);
        }
    }
    for (std::size_t w = 0; w < kWays; ++w) {
        accel::StoreBe32(dst + 8 * w, l[w]);
        accel::StoreBe32(dst + 8 * w + 4, r[w]);
    }
}

// Whole groups from the last block down; the first n mod group blocks go
// through one group in a local buffer.
template <std::size_t kGroupBlocks, class GroupFn>
inline void Batch(GroupFn group, const unsigned char* src, const unsigned char* mask, unsigned char* dst,
                  std::size_t n)
{
    while (n >= kGroupBlocks) {
        n -= kGroupBlocks;
        group(src + 8 * n, mask == nullptr ? nullptr : mask + 8 * n, dst + 8 * n);
    }
    if (n == 0) return;
    unsigned char in[8 * kGroupBlocks] = {};
    unsigned char with[8 * kGroupBlocks] = {};
    std::memcpy(in, src, 8 * n);
    if (mask != nullptr) std::memcpy(with, mask, 8 * n);
    group(in, mask == nullptr ? nullptr : with, in);
    std::memcpy(dst, in, 8 * n);
}

template <bool Decrypt>
__attribute__((noinline)) void BatchScalar(const Tables& t, const unsigned char* src, const unsigned char* mask,
                                           unsigned char* dst, std::size_t n)
{
    Batch<kWays>([&t](const unsigned char* s, const unsigned char* m,
                      unsigned char* d) { GroupScalar<Decrypt>(t, s, m, d); },
                 src, mask, dst, n);
}

using BatchFn = void (*)(const Tables&, const unsigned char*, const unsigned char*, unsigned char*, std::size_t);

template <BatchFn EncBatch, BatchFn DecBatch>
class Engine {
public:
    struct Block {
        std::uint32_t l, r;
    };
    static constexpr bool kBatched = true;

    explicit Engine(const Tables& t) : m_t(t) {}

    std::size_t BlockBytes() const { return 8; }
    Block Load(const unsigned char* p) const { return {accel::LoadBe32(p), accel::LoadBe32(p + 4)}; }
    void Store(unsigned char* p, const Block& b) const
    {
        accel::StoreBe32(p, b.l);
        accel::StoreBe32(p + 4, b.r);
    }
    Block Xor(const Block& a, const Block& b) const { return {a.l ^ b.l, a.r ^ b.r}; }
    Block Encipher(const Block& b) const { return Transform<false>(b); }
    Block Decipher(const Block& b) const { return Transform<true>(b); }
    void EncipherBatch(const unsigned char* src, const unsigned char* mask, unsigned char* dst, std::size_t n) const
    {
        EncBatch(m_t, src, mask, dst, n);
    }
    void DecipherBatch(const unsigned char* src, const unsigned char* mask, unsigned char* dst, std::size_t n) const
    {
        DecBatch(m_t, src, mask, dst, n);
    }

private:
    template <bool Decrypt>
    Block Transform(const Block& b) const
    {
        std::uint32_t l[1] = {b.l}, r[1] = {b.r};
        Rounds<Decrypt, 1>(m_t, l, r);
        return {l[0], r[0]};
    }

    const Tables& m_t;
};

template <BatchFn EncBatch, BatchFn DecBatch>
void RunEncrypt(const Tables& t, std::int32_t mode, unsigned char* chain, const unsigned char* in,
                unsigned char* out, std::size_t count)
{
    modes::Encrypt(Engine<EncBatch, DecBatch>(t), mode, chain, in, out, count);
}

template <BatchFn EncBatch, BatchFn DecBatch>
void RunDecrypt(const Tables& t, std::int32_t mode, unsigned char* chain, const unsigned char* in,
                unsigned char* out, std::size_t count)
{
    modes::Decrypt(Engine<EncBatch, DecBatch>(t), mode, chain, in, out, count);
}

constexpr Kernels kScalar = {RunEncrypt<BatchScalar<false>, BatchScalar<true>>,
                             RunDecrypt<BatchScalar<false>, BatchScalar<true>>};

}  // namespace

const Kernels* Select(std::int32_t limit, std::int32_t* level)
{
    const CpuFeatures& cpu = Cpu();
    // The interleaved code needs nothing beyond the base instruction set; it
    // counts as a tier so that MG_PORTABLE, which clears every feature,
    // leaves the reference code alone in charge.
    if (limit >= 1 && cpu.sse2) {
        *level = 1;
        return &kScalar;
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

}  // namespace mg::blowfish_accel
