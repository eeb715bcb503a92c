// Every accelerated tier of the block ciphers and RC4 against the portable
// reference code, byte for byte: random keys, IVs, modes and lengths, calls
// split at random points (the chain runs on), in place and between buffers.
// Under MG_PORTABLE=1 no tier is available and these tests skip.
#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "cipher/blowfish.h"
#include "cipher/rc4.h"
#include "cipher/rijndael.h"
#include "cipher/tea.h"
#include "cipher_test_util.h"

namespace mg {
namespace {

using test::Bytes;
using test::Hex;
using test::RandomBytes;

// The distinct tiers above the portable one that `make` (a fresh object
// with a given limit, initialised) reaches on this machine.
template <class Make>
std::vector<std::int32_t> AcceleratedTiers(Make make)
{
    std::vector<std::int32_t> tiers;
    for (std::int32_t limit = 1; limit <= IBlockCipher::kAccelBest; ++limit) {
        const std::int32_t tier = make(limit);
        if (tier > 0 && std::find(tiers.begin(), tiers.end(), tier) == tiers.end()) tiers.push_back(tier);
    }
    return tiers;
}

// Lengths in blocks that reach every group size and remainder of the batches.
const std::size_t kBlockCounts[] = {1, 2, 3, 4, 5, 7, 8, 9, 15, 16, 17, 18, 31, 33, 63, 64, 65, 100};

// Cuts n blocks into random call lengths.
std::vector<std::size_t> RandomSplit(std::mt19937& rng, std::size_t n)
{
    std::vector<std::size_t> parts;
    while (n > 0) {
        const std::size_t k = rng() % 3 == 0 ? n : 1 + rng() % n;
        parts.push_back(k);
        n -= k;
    }
    return parts;
}

// Runs the same calls through `reference` and `candidate` and compares every
// output; both objects must be initialised alike.
void CompareRuns(IBlockCipher& reference, IBlockCipher& candidate, std::mt19937& rng, std::size_t blocks,
                 bool decrypt, const std::string& what)
{
    const std::size_t bs = static_cast<std::size_t>(reference.BlockSize());
    const Bytes input = RandomBytes(rng, blocks * bs);
    const bool inPlace = rng() % 2 == 0;
    Bytes expected(input.size()), actual = inPlace ? input : Bytes(input.size());
    std::size_t offset = 0;
    for (std::size_t part : RandomSplit(rng, blocks)) {
        const auto len = static_cast<std::int32_t>(part * bs);
        const unsigned char* in = input.data() + offset;
        unsigned char* ref = expected.data() + offset;
        unsigned char* out = actual.data() + offset;
        const unsigned char* candidateIn = inPlace ? out : in;
        if (decrypt) {
            reference.Decrypt(in, ref, len);
            candidate.Decrypt(candidateIn, out, len);
        } else {
            reference.Encrypt(in, ref, len);
            candidate.Encrypt(candidateIn, out, len);
        }
        offset += part * bs;
    }
    ASSERT_EQ(actual, expected) << what << (decrypt ? " decrypt" : " encrypt") << ", " << blocks << " blocks"
                                << (inPlace ? ", in place" : "");
}

// A buffer whose output starts one block after its input: the strict
// block-by-block order must hold.
void ComparePartialOverlap(IBlockCipher& reference, IBlockCipher& candidate, std::mt19937& rng, bool decrypt,
                           const std::string& what)
{
    const std::size_t bs = static_cast<std::size_t>(reference.BlockSize());
    const std::size_t blocks = 20;
    const Bytes start = RandomBytes(rng, (blocks + 1) * bs);
    Bytes a = start, b = start;
    const auto len = static_cast<std::int32_t>(blocks * bs);
    if (decrypt) {
        reference.Decrypt(a.data(), a.data() + bs, len);
        candidate.Decrypt(b.data(), b.data() + bs, len);
    } else {
        reference.Encrypt(a.data() + bs, a.data(), len);
        candidate.Encrypt(b.data() + bs, b.data(), len);
    }
    ASSERT_EQ(b, a) << what << " with overlapping buffers";
}

TEST(AccelDifferential, RijndaelEveryTierSizeAndMode)
{
    const Bytes probeKey(16, 1);
    const auto tiers = AcceleratedTiers([&](std::int32_t limit) {
        CRijndael c;
        c.SetAccelLimit(limit);
        c.Initialize(probeKey.data(), 16, probeKey.data(), 16, 16, 0, 0);
        return c.Accel();
    });
    if (tiers.empty()) GTEST_SKIP() << "no accelerated Rijndael on this CPU (or MG_PORTABLE is set)";

    std::mt19937 rng(97);
    for (std::int32_t tier : tiers) {
        for (std::int32_t blockSize : {16, 24, 32}) {
            for (std::int32_t keySize : {16, 24, 32}) {
                for (std::int32_t mode = 0; mode <= CRijndael::kHighestMode; ++mode) {
                    for (std::size_t blocks : kBlockCounts) {
                        const Bytes key = RandomBytes(rng, 1 + rng() % 40);
                        const Bytes iv = RandomBytes(rng, 32);
                        CRijndael reference, candidate;
                        reference.SetAccelLimit(IBlockCipher::kAccelPortable);
                        candidate.SetAccelLimit(tier);
                        for (CRijndael* c : {&reference, &candidate})
                            c->Initialize(key.data(), static_cast<std::int32_t>(key.size()), iv.data(), keySize,
                                          blockSize, mode, 0);
                        ASSERT_EQ(reference.Accel(), 0);
                        ASSERT_EQ(candidate.Accel(), tier);
                        const std::string what = "tier " + std::to_string(tier) + ", block " +
                                                 std::to_string(blockSize) + ", key " + std::to_string(keySize) +
                                                 ", mode " + std::to_string(mode);
                        CompareRuns(reference, candidate, rng, blocks, false, what);
                        CompareRuns(reference, candidate, rng, blocks, true, what);
                    }
                }
            }
        }
    }
}

TEST(AccelDifferential, RijndaelOverlappingBuffersKeepTheBlockOrder)
{
    const Bytes key = Hex("000102030405060708090a0b0c0d0e0f");
    const Bytes iv(32, 0x3C);
    std::mt19937 rng(5);
    for (std::int32_t tier = 1; tier <= IBlockCipher::kAccelBest; ++tier) {
        for (std::int32_t blockSize : {16, 24, 32}) {
            for (std::int32_t mode = 0; mode <= 3; ++mode) {
                CRijndael reference, candidate;
                reference.SetAccelLimit(IBlockCipher::kAccelPortable);
                candidate.SetAccelLimit(tier);
                for (CRijndael* c : {&reference, &candidate})
                    c->Initialize(key.data(), 16, iv.data(), 16, blockSize, mode, 0);
                const std::string what = "tier " + std::to_string(candidate.Accel()) + ", block " +
                                         std::to_string(blockSize) + ", mode " + std::to_string(mode);
                ComparePartialOverlap(reference, candidate, rng, false, what);
                ComparePartialOverlap(reference, candidate, rng, true, what);
            }
        }
    }
}

TEST(AccelDifferential, TeaEveryTierAndMode)
{
    const Bytes probeKey(16, 1);
    const auto tiers = AcceleratedTiers([&](std::int32_t limit) {
        CTea c;
        c.SetAccelLimit(limit);
        c.Initialize(probeKey.data(), 16, probeKey.data(), 0, 0);
        return c.Accel();
    });
    if (tiers.empty()) GTEST_SKIP() << "no accelerated TEA on this CPU (or MG_PORTABLE is set)";

    std::mt19937 rng(41);
    for (std::int32_t tier : tiers) {
        for (std::int32_t mode = 0; mode <= IBlockCipher::kModeOfb; ++mode) {
            for (std::size_t blocks : kBlockCounts) {
                const Bytes key = RandomBytes(rng, 1 + rng() % 24);
                const Bytes iv = RandomBytes(rng, 8);
                CTea reference, candidate;
                reference.SetAccelLimit(IBlockCipher::kAccelPortable);
                candidate.SetAccelLimit(tier);
                for (CTea* c : {&reference, &candidate})
                    c->Initialize(key.data(), static_cast<std::int32_t>(key.size()), iv.data(), mode, 0);
                ASSERT_EQ(candidate.Accel(), tier);
                const std::string what = "tier " + std::to_string(tier) + ", mode " + std::to_string(mode);
                CompareRuns(reference, candidate, rng, blocks, false, what);
                CompareRuns(reference, candidate, rng, blocks, true, what);
                ComparePartialOverlap(reference, candidate, rng, rng() % 2 == 0, what);
            }
        }
    }
}

TEST(AccelDifferential, TeaKeepsItsScheduleAcrossReinitialisation)
{
    // Re-initialising with the same key skips the key set-up; a new limit
    // must still take effect, and a new key must reach every tier.
    const Bytes a(16, 0x11), b(16, 0x22), iv(8, 0);
    const Bytes plain(8 * 40, 0x5A);
    CTea portable, accelerated;
    portable.SetAccelLimit(IBlockCipher::kAccelPortable);
    for (const Bytes* key : {&a, &a, &b}) {
        portable.Initialize(key->data(), 16, iv.data(), 0, 0);
        accelerated.Initialize(key->data(), 16, iv.data(), 0, 0);
        Bytes x(plain.size()), y(plain.size());
        portable.Encrypt(plain.data(), x.data(), static_cast<std::int32_t>(plain.size()));
        accelerated.Encrypt(plain.data(), y.data(), static_cast<std::int32_t>(plain.size()));
        EXPECT_EQ(x, y);
    }
    accelerated.SetAccelLimit(IBlockCipher::kAccelPortable);
    accelerated.Initialize(b.data(), 16, iv.data(), 0, 0);
    EXPECT_EQ(accelerated.Accel(), 0);
}

TEST(AccelDifferential, BlowfishEveryTierAndMode)
{
    const Bytes probeKey(16, 1);
    const auto tiers = AcceleratedTiers([&](std::int32_t limit) {
        CBlowfish c;
        c.SetAccelLimit(limit);
        c.Initialize(probeKey.data(), 16, nullptr, 0, 0);
        return c.Accel();
    });
    if (tiers.empty()) GTEST_SKIP() << "no accelerated Blowfish on this CPU (or MG_PORTABLE is set)";

    std::mt19937 rng(43);
    for (std::int32_t tier : tiers) {
        for (std::int32_t mode = 0; mode <= IBlockCipher::kModeOfb; ++mode) {
            for (std::size_t blocks : kBlockCounts) {
                const Bytes key = RandomBytes(rng, 1 + rng() % 64);
                const std::uint32_t iv[2] = {static_cast<std::uint32_t>(rng()), static_cast<std::uint32_t>(rng())};
                CBlowfish reference, candidate;
                reference.SetAccelLimit(IBlockCipher::kAccelPortable);
                candidate.SetAccelLimit(tier);
                for (CBlowfish* c : {&reference, &candidate})
                    c->Initialize(key.data(), static_cast<std::int32_t>(key.size()), iv, mode, 0);
                ASSERT_EQ(candidate.Accel(), tier);
                const std::string what = "tier " + std::to_string(tier) + ", mode " + std::to_string(mode);
                CompareRuns(reference, candidate, rng, blocks, false, what);
                CompareRuns(reference, candidate, rng, blocks, true, what);
                ComparePartialOverlap(reference, candidate, rng, rng() % 2 == 0, what);
            }
        }
    }
}

// RC4 written the plain way, one byte per step.
void ReferenceRc4(unsigned char* buf, std::size_t n, Rc4State& s)
{
    for (std::size_t k = 0; k < n; ++k) {
        s.i = static_cast<unsigned char>(s.i + 1);
        const unsigned char ti = s.perm[s.i];
        s.j = static_cast<unsigned char>(s.j + ti);
        const unsigned char tj = s.perm[s.j];
        s.perm[s.i] = tj;
        s.perm[s.j] = ti;
        buf[k] ^= s.perm[static_cast<unsigned char>(ti + tj)];
    }
}

TEST(AccelDifferential, Rc4AgreesWithTheByteByByteLoopAcrossCalls)
{
    std::mt19937 rng(47);
    for (int trial = 0; trial < 200; ++trial) {
        const Bytes key = RandomBytes(rng, 1 + rng() % 300);
        Rc4State fast, plain;
        Rc4Setup(key.data(), static_cast<std::int32_t>(key.size()), fast);
        plain = fast;
        const std::size_t total = rng() % 2000;
        Bytes a = RandomBytes(rng, total), b = a;
        std::size_t at = 0;
        while (at < total) {
            // Odd call lengths leave the eight-byte steps at every phase.
            const std::size_t part = std::min<std::size_t>(total - at, rng() % 40);
            Rc4Crypt(a.data() + at, static_cast<std::int32_t>(part), fast);
            ReferenceRc4(b.data() + at, part, plain);
            at += part;
        }
        ASSERT_EQ(a, b) << "trial " << trial;
        ASSERT_EQ(0, std::memcmp(&fast, &plain, sizeof fast)) << "state after trial " << trial;
    }
}

struct RijndaelVector {
    const char* key;
    std::int32_t blockSize;
    const char* plain;
    const char* cipher;
};

// FIPS-197 Appendix C.1 and C.3, and Rijndael with 192- and 256-bit blocks
// as produced by libmcrypt 2.5.8 ("rijndael-192", "rijndael-256", ECB; key
// bytes 00 01 02 ..., plaintext bytes 0x80 + 0x11 * i).
const RijndaelVector kKnownAnswers[] = {
    {"000102030405060708090a0b0c0d0e0f", 16, "00112233445566778899aabbccddeeff", "69c4e0d86a7b0430d8cdb78070b4c55a"},
    {"000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f", 16, "00112233445566778899aabbccddeeff",
     "8ea2b7ca516745bfeafc49904b496089"},
    {"000102030405060708090a0b0c0d0e0f", 24, "8091a2b3c4d5e6f708192a3b4c5d6e7f90a1b2c3d4e5f607",
     "5736520a88c5a902d904affa24f8af7f9c6f57e1a8912fd7"},
    {"000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f", 24,
     "8091a2b3c4d5e6f708192a3b4c5d6e7f90a1b2c3d4e5f607", "a77fd56219dbee1ada811a192a70eb0e9fbfaa143bf87210"},
    {"000102030405060708090a0b0c0d0e0f", 32, "8091a2b3c4d5e6f708192a3b4c5d6e7f90a1b2c3d4e5f60718293a4b5c6d7e8f",
     "8b4858ac12bb5a3154fe51971695b889aac515dbb0d485596add76a1a1d561f0"},
};

TEST(AccelDifferential, RijndaelKnownAnswersOnEveryTier)
{
    for (std::int32_t limit = 0; limit <= IBlockCipher::kAccelBest; ++limit) {
        for (const RijndaelVector& v : kKnownAnswers) {
            const Bytes key = Hex(v.key);
            const Bytes plain = Hex(v.plain);
            const Bytes cipher = Hex(v.cipher);
            // The block repeated 19 times runs through the batches and their remainders.
            Bytes many;
            for (int i = 0; i < 19; ++i) many.insert(many.end(), plain.begin(), plain.end());
            CRijndael c;
            c.SetAccelLimit(limit);
            c.Initialize(key.data(), static_cast<std::int32_t>(key.size()), nullptr,
                         static_cast<std::int32_t>(key.size()), v.blockSize, 0, 0);
            Bytes out(many.size()), back(many.size());
            c.Encrypt(many.data(), out.data(), static_cast<std::int32_t>(many.size()));
            c.Decrypt(out.data(), back.data(), static_cast<std::int32_t>(out.size()));
            for (std::size_t at = 0; at < out.size(); at += plain.size())
                ASSERT_EQ(Bytes(out.begin() + at, out.begin() + at + plain.size()), cipher)
                    << "tier " << c.Accel() << ", block " << v.blockSize << ", at " << at;
            EXPECT_EQ(back, many) << "tier " << c.Accel();
        }
    }
}

}  // namespace
}  // namespace mg
