#include <random>

#include <gtest/gtest.h>

#include "cipher/rijndael.h"
#include "cipher_test_util.h"

namespace mg {
namespace {

using namespace test;

const Bytes kZeroIv(32, 0);

const struct {
    const char* key;
    std::int32_t blockSize;
    const char* plain;
    const char* cipher;
} kVectors[] = {
    // FIPS-197 Appendix C.1 to C.3 (AES-128, AES-192, AES-256).
    {"000102030405060708090a0b0c0d0e0f", 16, "00112233445566778899aabbccddeeff", "69c4e0d86a7b0430d8cdb78070b4c55a"},
    {"000102030405060708090a0b0c0d0e0f1011121314151617", 16, "00112233445566778899aabbccddeeff",
     "dda97ca4864cdfe06eaf70a0ec0d7191"},
    {"000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f", 16, "00112233445566778899aabbccddeeff",
     "8ea2b7ca516745bfeafc49904b496089"},
    // Rijndael with 192- and 256-bit blocks, produced with libmcrypt 2.5.8
    // ("rijndael-192" and "rijndael-256", ECB): key bytes 00 01 02 ...,
    // plaintext bytes 0x80 + 0x11 * i.
    {"000102030405060708090a0b0c0d0e0f", 24, "8091a2b3c4d5e6f708192a3b4c5d6e7f90a1b2c3d4e5f607",
     "5736520a88c5a902d904affa24f8af7f9c6f57e1a8912fd7"},
    {"000102030405060708090a0b0c0d0e0f1011121314151617", 24, "8091a2b3c4d5e6f708192a3b4c5d6e7f90a1b2c3d4e5f607",
     "9b634550a659f619dddb405ecb39aec15709328301bfd43e"},
    {"000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f", 24,
     "8091a2b3c4d5e6f708192a3b4c5d6e7f90a1b2c3d4e5f607", "a77fd56219dbee1ada811a192a70eb0e9fbfaa143bf87210"},
    {"000102030405060708090a0b0c0d0e0f", 32, "8091a2b3c4d5e6f708192a3b4c5d6e7f90a1b2c3d4e5f60718293a4b5c6d7e8f",
     "8b4858ac12bb5a3154fe51971695b889aac515dbb0d485596add76a1a1d561f0"},
    {"000102030405060708090a0b0c0d0e0f1011121314151617", 32,
     "8091a2b3c4d5e6f708192a3b4c5d6e7f90a1b2c3d4e5f60718293a4b5c6d7e8f",
     "f66110867bf81a630b850c48856ba9fbfb58e403fd0dc01b60d08681c3f7c74c"},
    {"000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f", 32,
     "8091a2b3c4d5e6f708192a3b4c5d6e7f90a1b2c3d4e5f60718293a4b5c6d7e8f",
     "5f99707ab6471530221056259bd3da83ed3ee9713b96af67564e39d8dd34b9cd"},
};

TEST(RijndaelKnownAnswers, Fips197AndWideBlocksOnEveryTier)
{
    for (std::int32_t limit = 0; limit <= IBlockCipher::kAccelBest; ++limit) {
        for (const auto& v : kVectors) {
            const Bytes key = Hex(v.key);
            const Bytes plain = Hex(v.plain);
            const Bytes cipher = Hex(v.cipher);
            // The block repeated 19 times runs through the batches and their remainders.
            Bytes many;
            for (int i = 0; i < 19; ++i) many.insert(many.end(), plain.begin(), plain.end());
            CRijndael c;
            c.SetAccelLimit(limit);
            c.Initialize(key.data(), static_cast<std::int32_t>(key.size()), kZeroIv.data(),
                         static_cast<std::int32_t>(key.size()), v.blockSize, 0, 0);
            const Bytes out = EncryptWith(c, many);
            for (std::size_t at = 0; at < out.size(); at += plain.size())
                ASSERT_EQ(Slice(out, at, plain.size()), cipher)
                    << "tier " << c.Accel() << ", key " << v.key << ", block " << v.blockSize << ", at " << at;
            EXPECT_EQ(DecryptWith(c, out), many) << "tier " << c.Accel() << ", key " << v.key;
        }
    }
}

// NIST SP 800-38A, F.1.1, F.2.1, F.3.13 and F.4.1: AES-128 in ECB, CBC,
// CFB-128 and OFB over the same four blocks, split over two calls each way
// (the chain runs on).
TEST(RijndaelKnownAnswers, Sp800_38aModesAcrossCalls)
{
    const Bytes key = Hex("2b7e151628aed2a6abf7158809cf4f3c");
    const Bytes iv = Hex("000102030405060708090a0b0c0d0e0f");
    const Bytes plain = Hex(
        "6bc1bee22e409f96e93d7e117393172a ae2d8a571e03ac9c9eb76fac45af8e51"
        "30c81c46a35ce411e5fbc1191a0a52ef f69f2445df4f9b17ad2b417be66c3710");
    const char* const expected[] = {
        "3ad77bb40d7a3660a89ecaf32466ef97 f5d3d58503b9699de785895a96fdbaaf"
        "43b1cd7f598ece23881b00e3ed030688 7b0c785e27e8ad3f8223207104725dd4",
        "7649abac8119b246cee98e9b12e9197d 5086cb9b507219ee95db113a917678b2"
        "73bed6b8e3c1743b7116e69e22229516 3ff1caa1681fac09120eca307586e1a7",
        "3b3fd92eb72dad20333449f8e83cfb4a c8a64537a0b3a93fcde3cdad9f1ce58b"
        "26751f67a3cbb140b1808cf187a4f4df c04b05357c5d1c0eeac4c66f9ff7f2e6",
        "3b3fd92eb72dad20333449f8e83cfb4a 7789508d16918f03f53c52dac54ed825"
        "9740051e9c5fecf64344f7a82260edcc 304c6528f659c77866a510d9c1d6ae5e",
    };
    for (std::int32_t mode = 0; mode < 4; ++mode) {
        CRijndael c;
        c.Initialize(key.data(), 16, iv.data(), 16, 16, mode, 0);
        Bytes out = EncryptWith(c, Slice(plain, 0, 16));
        const Bytes rest = EncryptWith(c, Slice(plain, 16));
        out.insert(out.end(), rest.begin(), rest.end());
        EXPECT_EQ(out, Hex(expected[mode])) << "mode " << mode;
        c.ResetChain();
        Bytes back = DecryptWith(c, Slice(out, 0, 48));
        const Bytes last = DecryptWith(c, Slice(out, 48));
        back.insert(back.end(), last.begin(), last.end());
        EXPECT_EQ(back, plain) << "mode " << mode;
    }
}

TEST(RijndaelModes, ModeFourRunsAsEcb)
{
    std::mt19937 rng(4);
    const Bytes key = RandomBytes(rng, 32);
    const Bytes iv = RandomBytes(rng, 32);
    const Bytes plain = RandomBytes(rng, 96);
    CRijndael four, ecb;
    four.Initialize(key.data(), 32, iv.data(), 32, 24, 4, 0);
    ecb.Initialize(key.data(), 32, kZeroIv.data(), 32, 24, 0, 0);
    EXPECT_EQ(EncryptWith(four, plain), EncryptWith(ecb, plain));
    EXPECT_EQ(DecryptWith(four, plain), DecryptWith(ecb, plain));
}

}  // namespace
}  // namespace mg
