#include <random>

#include <gtest/gtest.h>

#include "cipher/rijndael.h"
#include "cipher_test_util.h"

namespace mg {
namespace {

using test::Bytes;
using test::ErrorOf;
using test::Hex;

const Bytes kZeroIv(32, 0);

Bytes EncryptWith(CRijndael& c, const Bytes& in)
{
    Bytes out(in.size());
    c.Encrypt(in.data(), out.data(), static_cast<std::int32_t>(in.size()));
    return out;
}

Bytes DecryptWith(CRijndael& c, const Bytes& in)
{
    Bytes out(in.size());
    c.Decrypt(in.data(), out.data(), static_cast<std::int32_t>(in.size()));
    return out;
}

struct Vector {
    const char* key;
    std::int32_t blockSize;
    const char* plain;
    const char* cipher;
};

// FIPS-197 Appendix C.1 to C.3 (AES-128, AES-192, AES-256).
const Vector kFips197[] = {
    {"000102030405060708090a0b0c0d0e0f", 16, "00112233445566778899aabbccddeeff", "69c4e0d86a7b0430d8cdb78070b4c55a"},
    {"000102030405060708090a0b0c0d0e0f1011121314151617", 16, "00112233445566778899aabbccddeeff",
     "dda97ca4864cdfe06eaf70a0ec0d7191"},
    {"000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f", 16, "00112233445566778899aabbccddeeff",
     "8ea2b7ca516745bfeafc49904b496089"},
};

// Rijndael with 192- and 256-bit blocks, produced with libmcrypt 2.5.8
// ("rijndael-192" and "rijndael-256", ECB): key bytes 00 01 02 ..., plaintext
// bytes 0x80 + 0x11 * i.
const Vector kMcryptWide[] = {
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

void CheckVectors(const Vector* begin, const Vector* end)
{
    for (const Vector* v = begin; v != end; ++v) {
        const Bytes key = Hex(v->key);
        CRijndael c;
        c.Initialize(key.data(), static_cast<std::int32_t>(key.size()), kZeroIv.data(),
                     static_cast<std::int32_t>(key.size()), v->blockSize, 0, 0);
        EXPECT_EQ(EncryptWith(c, Hex(v->plain)), Hex(v->cipher)) << v->key << " / " << v->blockSize;
        EXPECT_EQ(DecryptWith(c, Hex(v->cipher)), Hex(v->plain)) << v->key << " / " << v->blockSize;
    }
}

TEST(RijndaelKnownAnswers, Fips197)
{
    CheckVectors(std::begin(kFips197), std::end(kFips197));
}

TEST(RijndaelKnownAnswers, WideBlocksFromMcrypt)
{
    CheckVectors(std::begin(kMcryptWide), std::end(kMcryptWide));
}

// NIST SP 800-38A, F.1.1, F.2.1, F.3.13 and F.4.1: AES-128 in ECB, CBC,
// CFB-128 and OFB over the same four blocks.
TEST(RijndaelKnownAnswers, Sp800_38aModes)
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
        EXPECT_EQ(EncryptWith(c, plain), Hex(expected[mode])) << "mode " << mode;
        c.ResetChain();
        EXPECT_EQ(DecryptWith(c, Hex(expected[mode])), plain) << "mode " << mode;
    }
}

TEST(RijndaelInitialize, RoundsFollowTheLargerOfKeyAndBlock)
{
    const unsigned char key[1] = {7};
    const std::int32_t expected[3][3] = {{10, 12, 14}, {12, 12, 14}, {14, 14, 14}};
    for (int k = 0; k < 3; ++k) {
        for (int b = 0; b < 3; ++b) {
            CRijndael c;
            c.Initialize(key, 1, kZeroIv.data(), 16 + 8 * k, 16 + 8 * b, 0, 0);
            EXPECT_EQ(c.Rounds(), expected[k][b]) << k << "/" << b;
            EXPECT_EQ(c.KeySize(), 16 + 8 * k);
            EXPECT_EQ(c.BlockSize(), 16 + 8 * b);
        }
    }
}

TEST(RijndaelInitialize, KeyIsRepeatedOrCutToKeySize)
{
    const Bytes shortKey = Hex("a1b2c3");
    const Bytes repeated = Hex("a1b2c3a1b2c3a1b2c3a1b2c3a1b2c3a1");
    CRijndael a, b;
    a.Initialize(shortKey.data(), 3, kZeroIv.data(), 16, 16, 0, 0);
    b.Initialize(repeated.data(), 16, kZeroIv.data(), 16, 16, 0, 0);
    EXPECT_EQ(Bytes(a.KeyStore(), a.KeyStore() + 16), repeated);
    const Bytes block = Hex("00112233445566778899aabbccddeeff");
    EXPECT_EQ(EncryptWith(a, block), EncryptWith(b, block));

    std::mt19937 rng(40);
    const Bytes longKey = test::RandomBytes(rng, 40);
    const Bytes cut(longKey.begin(), longKey.begin() + 32);
    CRijndael c, d;
    c.Initialize(longKey.data(), 40, kZeroIv.data(), 32, 32, 0, 0);
    d.Initialize(cut.data(), 32, kZeroIv.data(), 32, 32, 0, 0);
    EXPECT_EQ(Bytes(c.KeyStore(), c.KeyStore() + 32), cut);
    const Bytes wide = test::RandomBytes(rng, 32);
    EXPECT_EQ(EncryptWith(c, wide), EncryptWith(d, wide));

    // The AES-128 vector keyed with its own key repeated is still AES-128.
    const Bytes fipsKey = Hex("000102030405060708090a0b0c0d0e0f");
    CRijndael e;
    e.Initialize(fipsKey.data(), 16, kZeroIv.data(), 16, 16, 0, 0);
    EXPECT_EQ(EncryptWith(e, Hex("00112233445566778899aabbccddeeff")), Hex("69c4e0d86a7b0430d8cdb78070b4c55a"));
}

TEST(RijndaelInitialize, ChecksRunInOrder)
{
    const unsigned char key[4] = {1, 2, 3, 4};
    CRijndael c;
    auto init = [&](const unsigned char* k, std::int32_t len, std::int32_t ks, std::int32_t bs, std::int32_t mode,
                    std::int32_t pad) { return ErrorOf([&] { c.Initialize(k, len, kZeroIv.data(), ks, bs, mode, pad); }); };
    EXPECT_EQ(init(nullptr, 0, 20, 20, 9, 9), "FileCrypt ERROR: No Key DataSpecified!");
    EXPECT_EQ(init(key, 0, 20, 20, 9, 9), "FileCrypt ERROR: Key Data Length should be > 0!");
    EXPECT_EQ(init(key, -4, 16, 16, 0, 0), "FileCrypt ERROR: Key Data Length should be > 0!");
    EXPECT_EQ(init(key, 4, 20, 20, 9, 9), "Illegal Key Length!");
    EXPECT_EQ(init(key, 4, 16, 20, 9, 9), "Illegal Block Size!");
    EXPECT_EQ(init(key, 4, 16, 8, 0, 0), "Illegal Block Size!");
    EXPECT_EQ(init(key, 4, 16, 16, 5, 9), "FileCrypt ERROR: Illegal Operation Mode!");
    EXPECT_EQ(init(key, 4, 16, 16, -1, 0), "FileCrypt ERROR: Illegal Operation Mode!");
    EXPECT_EQ(init(key, 4, 16, 16, 4, 5), "FileCrypt ERROR: Illegal Padding Mode!");
    EXPECT_FALSE(c.IsInitialized());
    EXPECT_EQ(init(key, 4, 16, 16, 4, 4), "<no exception>");
    EXPECT_TRUE(c.IsInitialized());
}

TEST(RijndaelInitialize, FailureLeavesKeyIvChainAndSettingsInForce)
{
    std::mt19937 rng(1);
    const Bytes key = test::RandomBytes(rng, 24);
    const Bytes iv = test::RandomBytes(rng, 32);
    const Bytes plain = test::RandomBytes(rng, 96);
    CRijndael tried, untouched;
    tried.Initialize(key.data(), 24, iv.data(), 24, 32, 1, 3);
    untouched.Initialize(key.data(), 24, iv.data(), 24, 32, 1, 3);
    const Bytes firstA = EncryptWith(tried, Bytes(plain.begin(), plain.begin() + 32));
    const Bytes firstB = EncryptWith(untouched, Bytes(plain.begin(), plain.begin() + 32));

    const Bytes otherKey = test::RandomBytes(rng, 16);
    const Bytes otherIv = test::RandomBytes(rng, 32);
    EXPECT_NE(ErrorOf([&] { tried.Initialize(otherKey.data(), 16, otherIv.data(), 16, 16, 2, 7); }), "<no exception>");
    EXPECT_NE(ErrorOf([&] { tried.Initialize(otherKey.data(), 16, otherIv.data(), 20, 16, 2, 0); }), "<no exception>");
    EXPECT_NE(ErrorOf([&] { tried.Initialize(otherKey.data(), 16, otherIv.data(), 16, 24, 9, 0); }), "<no exception>");
    EXPECT_EQ(tried.Mode(), 1);
    EXPECT_EQ(tried.Padding(), 3);
    EXPECT_EQ(tried.BlockSize(), 32);
    EXPECT_EQ(tried.KeySize(), 24);

    // The chain continues where it stood, and after a reset the old IV is back.
    const Bytes rest(plain.begin() + 32, plain.end());
    EXPECT_EQ(EncryptWith(tried, rest), EncryptWith(untouched, rest));
    tried.ResetChain();
    EXPECT_EQ(EncryptWith(tried, Bytes(plain.begin(), plain.begin() + 32)), firstA);
    EXPECT_EQ(firstA, firstB);
}

TEST(RijndaelModes, ModeFourRunsAsEcb)
{
    std::mt19937 rng(4);
    const Bytes key = test::RandomBytes(rng, 32);
    const Bytes iv = test::RandomBytes(rng, 32);
    const Bytes plain = test::RandomBytes(rng, 96);
    CRijndael four, ecb;
    four.Initialize(key.data(), 32, iv.data(), 32, 24, 4, 0);
    ecb.Initialize(key.data(), 32, kZeroIv.data(), 32, 24, 0, 0);
    EXPECT_EQ(EncryptWith(four, plain), EncryptWith(ecb, plain));
    EXPECT_EQ(DecryptWith(four, plain), DecryptWith(ecb, plain));
}

TEST(RijndaelModes, CbcChainsAcrossCallsAndRestartsOnReset)
{
    const Bytes key = Hex("2b7e151628aed2a6abf7158809cf4f3c");
    const Bytes iv = Hex("000102030405060708090a0b0c0d0e0f");
    const Bytes two = Hex("6bc1bee22e409f96e93d7e117393172a ae2d8a571e03ac9c9eb76fac45af8e51");
    CRijndael c;
    c.Initialize(key.data(), 16, iv.data(), 16, 16, 1, 0);
    Bytes out = EncryptWith(c, Bytes(two.begin(), two.begin() + 16));
    const Bytes second = EncryptWith(c, Bytes(two.begin() + 16, two.end()));
    out.insert(out.end(), second.begin(), second.end());
    EXPECT_EQ(out, Hex("7649abac8119b246cee98e9b12e9197d 5086cb9b507219ee95db113a917678b2"));
    c.ResetChain();
    EXPECT_EQ(EncryptWith(c, Bytes(two.begin(), two.begin() + 16)), Hex("7649abac8119b246cee98e9b12e9197d"));

    Bytes wrongLength(24);
    EXPECT_EQ(ErrorOf([&] { c.Encrypt(wrongLength.data(), wrongLength.data(), 24); }), "Illegal Block Size!");
}

TEST(RijndaelModes, RoundTripsEverySizeAndMode)
{
    std::mt19937 rng(2024);
    for (std::int32_t ks : {16, 24, 32}) {
        for (std::int32_t bs : {16, 24, 32}) {
            for (std::int32_t mode = 0; mode <= 4; ++mode) {
                const auto keyLength = static_cast<std::int32_t>(1 + rng() % 40);
                const Bytes key = test::RandomBytes(rng, static_cast<std::size_t>(keyLength));
                const Bytes iv = test::RandomBytes(rng, static_cast<std::size_t>(bs));
                const Bytes plain = test::RandomBytes(rng, static_cast<std::size_t>(bs) * (1 + rng() % 20));
                CRijndael c;
                c.Initialize(key.data(), keyLength, iv.data(), ks, bs, mode, 0);
                const Bytes cipher = EncryptWith(c, plain);
                EXPECT_NE(cipher, plain);
                c.ResetChain();
                EXPECT_EQ(DecryptWith(c, cipher), plain) << ks << "/" << bs << "/" << mode;
                Bytes inPlace = cipher;
                c.ResetChain();
                c.Decrypt(inPlace.data(), inPlace.data(), static_cast<std::int32_t>(inPlace.size()));
                EXPECT_EQ(inPlace, plain) << ks << "/" << bs << "/" << mode;
            }
        }
    }
}

}  // namespace
}  // namespace mg
