// What the three block ciphers share: the checks and their order, what a
// failure leaves in force, each cipher's chain rule, buffers and padding.
#include <random>

#include <gtest/gtest.h>

#include "cipher_test_util.h"

namespace mg {
namespace {

using namespace test;

const char* const kNotInitialized = "FileCrypt ERROR: Encryption/Decryption Object not Initialized!";
const Kind kKinds[] = {Kind::kRijndael, Kind::kBlowfish, Kind::kTea};

TEST(BlockCipherChecks, EverythingFailsBeforeInitialize)
{
    for (Kind kind : kKinds) {
        Ciphers ciphers;
        IBlockCipher& c = ciphers.Of(kind);
        unsigned char buf[32] = {}, out[32] = {};
        EXPECT_EQ(ErrorOf([&] { c.Encrypt(buf, out, 8); }), kNotInitialized);
        EXPECT_EQ(ErrorOf([&] { c.Decrypt(buf, out, 8); }), kNotInitialized);
        // The initialisation check comes before the length check.
        EXPECT_EQ(ErrorOf([&] { c.Encrypt(buf, out, 5); }), kNotInitialized);
        EXPECT_EQ(ErrorOf([&] { c.Decrypt(buf, out, 0); }), kNotInitialized);
        EXPECT_EQ(ErrorOf([&] { c.ResetChain(); }), kNotInitialized);
        EXPECT_EQ(ErrorOf([&] { c.Pad(buf, 3); }), kNotInitialized);
    }
}

TEST(BlockCipherChecks, InitializeChecksRunInOrder)
{
    const unsigned char key[4] = {1, 2, 3, 4};
    // Every value after the one that fails is bad too, so the order shows.
    const struct {
        int only;  // 0: every cipher, 1: Rijndael alone, 2: Blowfish and TEA alone
        const unsigned char* key;
        std::int32_t keyLength, keySize, blockSize, mode, padding;
        const char* error;
    } cases[] = {
        {0, nullptr, 0, 20, 20, 9, 9, "FileCrypt ERROR: No Key DataSpecified!"},
        {0, key, 0, 20, 20, 9, 9, "FileCrypt ERROR: Key Data Length should be > 0!"},
        {0, key, -4, 16, 16, 0, 0, "FileCrypt ERROR: Key Data Length should be > 0!"},
        {1, key, 4, 20, 20, 9, 9, "Illegal Key Length!"},
        {1, key, 4, 16, 20, 9, 9, "Illegal Block Size!"},
        {1, key, 4, 16, 8, 0, 0, "Illegal Block Size!"},
        {1, key, 4, 16, 16, 5, 9, "FileCrypt ERROR: Illegal Operation Mode!"},
        {2, key, 4, 16, 16, 4, 9, "FileCrypt ERROR: Illegal Operation Mode!"},
        {0, key, 4, 16, 16, -1, 0, "FileCrypt ERROR: Illegal Operation Mode!"},
        {0, key, 4, 16, 16, 3, 5, "FileCrypt ERROR: Illegal Padding Mode!"},
        {0, key, 4, 16, 16, 0, -1, "FileCrypt ERROR: Illegal Padding Mode!"},
    };
    for (Kind kind : kKinds) {
        Ciphers ciphers;
        const int group = kind == Kind::kRijndael ? 1 : 2;
        for (const auto& k : cases) {
            if (k.only != 0 && k.only != group) continue;
            const Config c{kind, k.mode, k.padding, k.keySize, k.blockSize};
            EXPECT_EQ(ErrorOf([&] { ciphers.Use(c, k.key, k.keyLength); }), k.error) << Describe(c);
        }
        EXPECT_FALSE(ciphers.Of(kind).IsInitialized());
        const Config highest{kind, kind == Kind::kRijndael ? 4 : 3, 4, 16, 16};
        EXPECT_TRUE(ciphers.Use(highest, key, 4).IsInitialized());
    }
}

TEST(BlockCipherChecks, BadLengthsWriteNothingAndKeepTheChain)
{
    const Bytes key(16, 0x4B), iv(32, 0x1F), in(96, 0x33);
    for (const Config c : {Config{Kind::kRijndael, 1, 0, 16, 16}, Config{Kind::kBlowfish, 1}, Config{Kind::kTea, 1}}) {
        Ciphers tried, fresh;
        IBlockCipher& cipher = tried.Use(c, key, iv);
        const std::int32_t bs = c.Block();
        for (std::int32_t len : {0, -bs, bs / 2, bs + 1, 5 * bs / 2}) {
            Bytes out(96, 0xEE);
            EXPECT_EQ(ErrorOf([&] { cipher.Encrypt(in.data(), out.data(), len); }), "Illegal Block Size!") << len;
            EXPECT_EQ(ErrorOf([&] { cipher.Decrypt(in.data(), out.data(), len); }), "Illegal Block Size!") << len;
            EXPECT_EQ(out, Bytes(96, 0xEE)) << Describe(c);
        }
        const Bytes block = Slice(in, 0, static_cast<std::size_t>(bs));
        EXPECT_EQ(EncryptWith(cipher, block), EncryptWith(fresh.Use(c, key, iv), block)) << Describe(c);
    }
}

TEST(BlockCipherInitialize, FailureLeavesKeyIvChainAndSettingsInForce)
{
    std::mt19937 rng(1);
    for (const Config c : {Config{Kind::kRijndael, 1, 3, 24, 32}, Config{Kind::kBlowfish, 2, 3}, Config{Kind::kTea, 2, 3}}) {
        const Bytes key = RandomBytes(rng, 24), iv = RandomBytes(rng, 32), plain = RandomBytes(rng, 96);
        const Bytes head = Slice(plain, 0, static_cast<std::size_t>(c.Block()));
        const Bytes rest = Slice(plain, head.size());
        Ciphers tried, untouched;
        IBlockCipher& cipher = tried.Use(c, key, iv);
        IBlockCipher& reference = untouched.Use(c, key, iv);
        const Bytes first = EncryptWith(cipher, head);
        ASSERT_EQ(first, EncryptWith(reference, head));

        std::vector<Config> bad(2, c);
        bad[0].mode = 9;
        bad[1].padding = 7;
        if (c.kind == Kind::kRijndael) {
            bad.push_back({Kind::kRijndael, 2, 0, 20, 16});
            bad.push_back({Kind::kRijndael, 2, 0, 16, 8});
        }
        const Bytes otherKey = RandomBytes(rng, 16), otherIv = RandomBytes(rng, 32);
        for (const Config& b : bad)
            EXPECT_NE(ErrorOf([&] { tried.Use(b, otherKey, otherIv); }), "<no exception>") << Describe(b);
        EXPECT_EQ(cipher.Padding(), 3);

        // The chain continues where it stood, and after a reset the old IV is back.
        EXPECT_EQ(EncryptWith(cipher, rest), EncryptWith(reference, rest)) << Describe(c);
        cipher.ResetChain();
        EXPECT_EQ(EncryptWith(cipher, head), first) << Describe(c);
    }
}

// Rijndael and TEA let the chain run on from call to call; Blowfish starts
// every call from the IV (the file format depends on both).
TEST(BlockCipherModes, EachCipherKeepsItsChainRule)
{
    std::mt19937 rng(11);
    for (Kind kind : kKinds) {
        for (std::int32_t mode : {1, 2, 3}) {
            const Config c{kind, mode, 0, 16, 16};
            const std::size_t bs = static_cast<std::size_t>(c.Block());
            const Bytes key = RandomBytes(rng, 16), iv = RandomBytes(rng, bs);
            const Bytes block = RandomBytes(rng, bs);
            Bytes plain = block;
            plain.insert(plain.end(), block.begin(), block.end());  // two equal blocks
            Ciphers whole, split;
            const Bytes one = EncryptWith(whole.Use(c, key, iv), plain);
            IBlockCipher& cipher = split.Use(c, key, iv);
            const Bytes first = EncryptWith(cipher, block);
            const Bytes second = EncryptWith(cipher, block);
            EXPECT_EQ(first, Slice(one, 0, bs)) << Describe(c);
            EXPECT_NE(Slice(one, bs), first) << "blocks chain within a call";
            EXPECT_EQ(second, kind == Kind::kBlowfish ? first : Slice(one, bs)) << Describe(c);
            cipher.ResetChain();
            EXPECT_EQ(DecryptWith(cipher, first), block) << Describe(c);
            EXPECT_EQ(DecryptWith(cipher, second), block) << Describe(c);
        }
    }
}

// Every shape and mode round-trips, and in place gives what separate buffers give.
TEST(BlockCipherModes, InPlaceEqualsSeparateBuffers)
{
    std::mt19937 rng(2024);
    for (Config c : Shapes()) {
        for (c.mode = 0; c.mode <= c.HighestMode(); ++c.mode) {
            const Bytes key = RandomBytes(rng, 1 + rng() % 64), iv = RandomBytes(rng, 32);
            const Bytes plain = RandomBytes(rng, static_cast<std::size_t>(c.Block()) * (1 + rng() % 20));
            const auto len = static_cast<std::int32_t>(plain.size());
            Ciphers ciphers;
            IBlockCipher& cipher = ciphers.Use(c, key, iv);
            const Bytes separate = EncryptWith(cipher, plain);
            EXPECT_NE(separate, plain);
            Bytes inPlace = plain;
            cipher.ResetChain();
            cipher.Encrypt(inPlace.data(), inPlace.data(), len);
            EXPECT_EQ(inPlace, separate) << Describe(c);
            cipher.ResetChain();
            EXPECT_EQ(DecryptWith(cipher, separate), plain) << Describe(c);
            cipher.ResetChain();
            cipher.Decrypt(inPlace.data(), inPlace.data(), len);
            EXPECT_EQ(inPlace, plain) << Describe(c);
        }
    }
}

TEST(BlockCipherPad, WritesTheBytesOfEachMode)
{
    const Bytes key = {'p'};
    const struct {
        Config config;
        std::int32_t length;
        Bytes tail;
    } cases[] = {
        {{Kind::kRijndael, 0, 0, 16, 16}, 13, {0x00, 0x00, 0x00}},
        {{Kind::kRijndael, 0, 1, 16, 16}, 13, {0x20, 0x20, 0x20}},
        {{Kind::kRijndael, 0, 2, 16, 16}, 13, {0x03, 0x03, 0x03}},
        {{Kind::kRijndael, 0, 3, 16, 16}, 13, {0x00, 0x00, 0x03}},
        {{Kind::kTea, 0, 2}, 17, Bytes(7, 0x07)},
        {{Kind::kRijndael, 0, 3, 32, 32}, 100, [] { Bytes t(28, 0); t.back() = 28; return t; }()},
    };
    for (const auto& k : cases) {
        Ciphers ciphers;
        IBlockCipher& cipher = ciphers.Use(k.config, key);
        Bytes buf(160, 0xAB);
        const auto padded = static_cast<std::size_t>(k.length) + k.tail.size();
        EXPECT_EQ(cipher.Pad(buf.data(), k.length), static_cast<std::int32_t>(padded));
        EXPECT_EQ(Slice(buf, 0, static_cast<std::size_t>(k.length)), Bytes(static_cast<std::size_t>(k.length), 0xAB));
        EXPECT_EQ(Slice(buf, static_cast<std::size_t>(k.length), k.tail.size()), k.tail) << Describe(k.config);
        EXPECT_EQ(Slice(buf, padded), Bytes(160 - padded, 0xAB)) << Describe(k.config);
    }
    // Random filler (mode 4) never draws 0xFF, and the count ends it.
    Ciphers ciphers;
    IBlockCipher& random = ciphers.Use({Kind::kRijndael, 0, 4, 16, 16}, key);
    Bytes buf(32, 0xFF);
    EXPECT_EQ(random.Pad(buf.data(), 3), 16);
    for (int i = 3; i < 15; ++i) EXPECT_LT(buf[i], 0xFF) << i;
    EXPECT_EQ(buf[15], 13);
    EXPECT_EQ(Slice(buf, 16), Bytes(16, 0xFF));
}

TEST(BlockCipherPad, WholeBlocksGetNoneAndNegativeLengthsAreRefused)
{
    for (std::int32_t padding = 0; padding <= 4; ++padding) {
        Ciphers ciphers;
        IBlockCipher& cipher = ciphers.Use({Kind::kRijndael, 0, padding, 16, 16}, {'k'});
        Bytes buf(48, 0xAB);
        EXPECT_EQ(cipher.Pad(buf.data(), 0), 0);
        EXPECT_EQ(cipher.Pad(buf.data(), 32), 32);
        EXPECT_EQ(ErrorOf([&] { cipher.Pad(buf.data() + 16, -3); }), "Illegal Block Size!");
        EXPECT_EQ(buf, Bytes(48, 0xAB)) << "padding " << padding;
    }
}

}  // namespace
}  // namespace mg
