// Every accelerated tier of the block ciphers against the portable code, byte
// for byte: random keys, IVs, modes and lengths, calls split at random points,
// in place, between buffers and between buffers that partly overlap.
#include <algorithm>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "cipher_test_util.h"

namespace mg {
namespace {

using namespace test;

// The distinct tiers above the portable one that the shape reaches here.
std::vector<std::int32_t> AcceleratedTiers(const Config& shape)
{
    std::vector<std::int32_t> tiers;
    const Bytes probe(16, 1);
    for (std::int32_t limit = 1; limit <= IBlockCipher::kAccelBest; ++limit) {
        Ciphers c;
        const std::int32_t tier = c.Use(shape, probe, {}, limit).Accel();
        if (tier > 0 && std::find(tiers.begin(), tiers.end(), tier) == tiers.end()) tiers.push_back(tier);
    }
    return tiers;
}

// Lengths in blocks that reach every group size and remainder of the batches.
const std::size_t kBlockCounts[] = {1, 2, 3, 4, 5, 7, 8, 9, 15, 16, 17, 18, 31, 33, 63, 64, 65, 100};

// Runs the same calls through both ciphers (initialised alike), each on its own
// copy of one buffer. The output starts where the input does, one block before
// or after it (the strict block-by-block order must hold), or clear of it.
void CompareRuns(IBlockCipher& reference, IBlockCipher& candidate, std::mt19937& rng, std::size_t blocks,
                 bool decrypt, const std::string& what)
{
    const std::size_t bs = static_cast<std::size_t>(reference.BlockSize());
    const std::size_t layouts[][2] = {{0, 0}, {0, bs}, {bs, 0}, {0, (blocks + 1) * bs}};
    const auto [inAt, outAt] = layouts[rng() % 4];
    const Bytes start = RandomBytes(rng, (2 * blocks + 1) * bs);
    Bytes expected = start, actual = start;
    for (std::size_t done = 0, part; done < blocks; done += part) {  // calls of random lengths
        part = rng() % 3 == 0 ? blocks - done : 1 + rng() % (blocks - done);
        const std::size_t offset = done * bs;
        const auto len = static_cast<std::int32_t>(part * bs);
        for (auto [c, buf] : {std::pair<IBlockCipher*, Bytes*>{&reference, &expected}, {&candidate, &actual}}) {
            unsigned char* in = buf->data() + inAt + offset;
            unsigned char* out = buf->data() + outAt + offset;
            if (decrypt)
                c->Decrypt(in, out, len);
            else
                c->Encrypt(in, out, len);
        }
    }
    ASSERT_EQ(actual, expected) << what << (decrypt ? " decrypt" : " encrypt") << ", " << blocks
                                << " blocks, input at " << inAt << ", output at " << outAt;
}

TEST(AccelDifferential, EveryCipherTierShapeAndMode)
{
    std::mt19937 rng(97);
    bool any = false;
    for (Config c : Shapes()) {
        for (std::int32_t tier : AcceleratedTiers(c)) {
            any = true;
            for (c.mode = 0; c.mode <= c.HighestMode(); ++c.mode) {
                for (std::size_t blocks : kBlockCounts) {
                    const Bytes key = RandomBytes(rng, 1 + rng() % 64);
                    const Bytes iv = RandomBytes(rng, 32);
                    Ciphers reference, candidate;
                    IBlockCipher& r = reference.Use(c, key, iv, IBlockCipher::kAccelPortable);
                    IBlockCipher& x = candidate.Use(c, key, iv, tier);
                    ASSERT_EQ(r.Accel(), 0);
                    const std::string what = Describe(c) + ", tier " + std::to_string(tier);
                    CompareRuns(r, x, rng, blocks, false, what);
                    CompareRuns(r, x, rng, blocks, true, what);
                }
            }
        }
    }
    if (!any) GTEST_SKIP() << "no accelerated cipher on this CPU (or MG_PORTABLE is set)";
}

TEST(AccelDifferential, TeaKeepsItsScheduleAcrossReinitialisation)
{
    // The same key skips the key set-up; a new limit or key must still take effect.
    const Bytes a(16, 0x11), b(16, 0x22), iv(8, 0);
    const Bytes plain(8 * 40, 0x5A);
    CTea portable, accelerated;
    portable.SetAccelLimit(IBlockCipher::kAccelPortable);
    for (const Bytes* key : {&a, &a, &b}) {
        portable.Initialize(key->data(), 16, iv.data(), 0, 0);
        accelerated.Initialize(key->data(), 16, iv.data(), 0, 0);
        EXPECT_EQ(EncryptWith(portable, plain), EncryptWith(accelerated, plain));
    }
    accelerated.SetAccelLimit(IBlockCipher::kAccelPortable);
    accelerated.Initialize(b.data(), 16, iv.data(), 0, 0);
    EXPECT_EQ(accelerated.Accel(), 0);
}

}  // namespace
}  // namespace mg
