// The shared mode loops with a batched engine: whatever the CPU, the loops'
// batched branches (ECB both ways, CBC and CFB decryption) must give what the
// block-by-block branches give, in place, between buffers and across calls.
// A toy engine stands in for the accelerated ones, with the same contract:
// groups from the last block down, each read whole before it is written.
#include <cstring>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "cipher/block_cipher.h"
#include "cipher_test_util.h"

namespace mg {
namespace {

using test::Bytes;
using test::RandomBytes;

constexpr std::size_t kBlock = 12;  // no power of two, so that no offset lines up by chance

// An invertible keyless block function: a byte rotation plus position-dependent offsets.
struct ToyEngine {
    struct Block {
        unsigned char b[kBlock];
    };
    static constexpr bool kBatched = false;

    std::size_t BlockBytes() const { return kBlock; }
    Block Load(const unsigned char* p) const
    {
        Block x;
        std::memcpy(x.b, p, kBlock);
        return x;
    }
    void Store(unsigned char* p, const Block& x) const { std::memcpy(p, x.b, kBlock); }
    Block Xor(const Block& a, const Block& b) const
    {
        Block x;
        for (std::size_t i = 0; i < kBlock; ++i) x.b[i] = static_cast<unsigned char>(a.b[i] ^ b.b[i]);
        return x;
    }
    Block Encipher(const Block& x) const
    {
        Block y;
        for (std::size_t i = 0; i < kBlock; ++i) y.b[i] = static_cast<unsigned char>(x.b[(i + 5) % kBlock] + 0x3D + 7 * i);
        return y;
    }
    Block Decipher(const Block& y) const
    {
        Block x;
        for (std::size_t i = 0; i < kBlock; ++i) x.b[(i + 5) % kBlock] = static_cast<unsigned char>(y.b[i] - 0x3D - 7 * i);
        return x;
    }
};

// The same engine with batches of up to three blocks, done as the
// accelerated kernels do them; it counts the blocks that went through batches.
struct BatchedToyEngine : ToyEngine {
    static constexpr bool kBatched = true;
    mutable std::size_t batchedBlocks = 0;

    void EncipherBatch(const unsigned char* src, const unsigned char* mask, unsigned char* dst, std::size_t n) const
    {
        Batch(src, mask, dst, n, false);
    }
    void DecipherBatch(const unsigned char* src, const unsigned char* mask, unsigned char* dst, std::size_t n) const
    {
        Batch(src, mask, dst, n, true);
    }

private:
    void Batch(const unsigned char* src, const unsigned char* mask, unsigned char* dst, std::size_t n,
               bool decipher) const
    {
        batchedBlocks += n;
        while (n > 0) {
            const std::size_t g = n >= 3 ? 3 : n;
            n -= g;
            Block x[3];
            for (std::size_t k = 0; k < g; ++k) {
                const Block in = Load(src + kBlock * (n + k));
                x[k] = decipher ? Decipher(in) : Encipher(in);
                if (mask != nullptr) x[k] = Xor(x[k], Load(mask + kBlock * (n + k)));
            }
            for (std::size_t k = 0; k < g; ++k) Store(dst + kBlock * (n + k), x[k]);
        }
    }
};

enum class Layout { kSeparate, kInPlace, kOutAhead, kOutBehind };

// Runs `calls` through both engines with the chain running on, and compares
// the outputs and the final chains.
void Compare(std::int32_t mode, bool decrypt, Layout layout, const std::vector<std::size_t>& calls,
             std::mt19937& rng)
{
    std::size_t total = 0;
    for (std::size_t c : calls) total += c;
    const Bytes input = RandomBytes(rng, total * kBlock);
    const Bytes iv = RandomBytes(rng, kBlock);
    // Room for an output one block ahead of or behind the input.
    const std::size_t shift = layout == Layout::kOutAhead || layout == Layout::kOutBehind ? kBlock : 0;
    Bytes serial(input.size() + shift), batched(input.size() + shift);
    unsigned char chainSerial[kBlock], chainBatched[kBlock];
    std::memcpy(chainSerial, iv.data(), kBlock);
    std::memcpy(chainBatched, iv.data(), kBlock);
    const ToyEngine plain;
    const BatchedToyEngine fast;

    Bytes separateOut(input.size());
    std::size_t at = 0;
    for (std::size_t blocks : calls) {
        const std::size_t bytes = blocks * kBlock;
        for (int which = 0; which < 2; ++which) {
            Bytes& buffer = which == 0 ? serial : batched;
            unsigned char* chain = which == 0 ? chainSerial : chainBatched;
            const unsigned char* in;
            unsigned char* out;
            switch (layout) {
            case Layout::kSeparate:
                in = input.data() + at;
                out = buffer.data() + at;
                break;
            case Layout::kInPlace:
                std::memcpy(buffer.data() + at, input.data() + at, bytes);
                in = out = buffer.data() + at;
                break;
            case Layout::kOutAhead:  // out starts one block after in
                std::memcpy(buffer.data() + at, input.data() + at, bytes);
                in = buffer.data() + at;
                out = buffer.data() + at + kBlock;
                break;
            default:  // out starts one block before in
                std::memcpy(buffer.data() + at + kBlock, input.data() + at, bytes);
                in = buffer.data() + at + kBlock;
                out = buffer.data() + at;
                break;
            }
            if (which == 0) {
                if (decrypt)
                    modes::Decrypt(plain, mode, chain, in, out, blocks);
                else
                    modes::Encrypt(plain, mode, chain, in, out, blocks);
            } else {
                if (decrypt)
                    modes::Decrypt(fast, mode, chain, in, out, blocks);
                else
                    modes::Encrypt(fast, mode, chain, in, out, blocks);
            }
        }
        ASSERT_EQ(batched, serial) << "mode " << mode << (decrypt ? " decrypt" : " encrypt") << ", layout "
                                   << static_cast<int>(layout) << ", call of " << blocks << " blocks at " << at;
        at += bytes;
    }
    EXPECT_EQ(0, std::memcmp(chainSerial, chainBatched, kBlock)) << "chain after mode " << mode;
}

TEST(ModeLoop, BatchedBranchesMatchTheBlockByBlockOnesEverywhere)
{
    std::mt19937 rng(2024);
    const std::vector<std::vector<std::size_t>> callPatterns = {
        {1}, {2}, {3}, {4}, {7}, {1, 1, 5}, {10, 1, 2}, {6, 6, 6}, {31}};
    for (std::int32_t mode : {0, 1, 2, 3, 4})
        for (bool decrypt : {false, true})
            for (Layout layout : {Layout::kSeparate, Layout::kInPlace, Layout::kOutAhead, Layout::kOutBehind})
                for (const auto& calls : callPatterns) Compare(mode, decrypt, layout, calls, rng);
}

TEST(ModeLoop, ParallelModesUseTheBatchesAndSerialModesDoNot)
{
    const Bytes input(kBlock * 9, 0x42);
    Bytes out(input.size());
    unsigned char chain[kBlock] = {};
    struct Case {
        std::int32_t mode;
        bool decrypt;
        std::size_t batched;  // blocks expected through the batches
    };
    // CBC and CFB decryption do their first block alone, from the chain.
    const Case cases[] = {{0, false, 9}, {0, true, 9}, {1, true, 8}, {2, true, 8},
                          {1, false, 0}, {2, false, 0}, {3, false, 0}, {3, true, 0}};
    for (const Case& c : cases) {
        const BatchedToyEngine e;
        if (c.decrypt)
            modes::Decrypt(e, c.mode, chain, input.data(), out.data(), 9);
        else
            modes::Encrypt(e, c.mode, chain, input.data(), out.data(), 9);
        EXPECT_EQ(e.batchedBlocks, c.batched) << "mode " << c.mode << (c.decrypt ? " decrypt" : " encrypt");
    }
    // Buffers that overlap without being one keep to the block-by-block order.
    Bytes shared(kBlock * 10, 0x42);
    const BatchedToyEngine e;
    modes::Decrypt(e, 1, chain, shared.data(), shared.data() + kBlock, 9);
    EXPECT_EQ(e.batchedBlocks, 0u);
}

}  // namespace
}  // namespace mg
