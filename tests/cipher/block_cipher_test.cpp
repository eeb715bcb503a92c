// The shared mode loops, chain rules, padding and checks, exercised through a
// toy block function whose calls can be counted.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include <gtest/gtest.h>

#include "cipher/block_cipher.h"
#include "cipher_test_util.h"

namespace mg {
namespace {

using test::Bytes;
using test::ErrorOf;

const char* const kNotInitialized = "FileCrypt ERROR: Encryption/Decryption Object not Initialized!";

// Byte rotation plus a position-dependent offset: invertible, keyless, and
// different from its inverse, so a swapped direction shows.
class CToyCipher : public IBlockCipher {
public:
    CToyCipher(std::int32_t blockSize, bool chainRunsOn)
        : IBlockCipher(blockSize, 16), m_bChainRunsOn(chainRunsOn)
    {
    }

    void Initialize(const unsigned char* iv, std::int32_t mode, std::int32_t padding)
    {
        CheckMode(mode, kModeOfb);
        CheckPadding(padding);
        m_iMode = mode;
        m_iPadding = padding;
        SetIv(iv);
        m_bInitialized = true;
    }

    void GetSignature(unsigned char*) override {}
    void EncryptFile(const char*, const char*) override {}
    void DecryptFile(const char*, const char*) override {}

    void Encrypt(const unsigned char* in, unsigned char* out, std::int32_t len) override
    {
        EncryptBlocks(in, out, len, Rule(), [this](const unsigned char* s, unsigned char* d) { Enc(s, d); });
    }

    void Decrypt(const unsigned char* in, unsigned char* out, std::int32_t len) override
    {
        DecryptBlocks(
            in, out, len, Rule(), [this](const unsigned char* s, unsigned char* d) { Enc(s, d); },
            [this](const unsigned char* s, unsigned char* d) { Dec(s, d); });
    }

    int encCalls = 0;
    int decCalls = 0;

private:
    ChainRule Rule() const { return m_bChainRunsOn ? ChainRule::kRunsOn : ChainRule::kRestartsEachCall; }

    void Enc(const unsigned char* s, unsigned char* d)
    {
        ++encCalls;
        unsigned char t[kMaxBlockSize];
        const int bs = m_iBlockSize;
        for (int i = 0; i < bs; ++i) t[i] = static_cast<unsigned char>(s[(i + 1) % bs] + 0x5B + i);
        std::memcpy(d, t, static_cast<std::size_t>(bs));
    }

    void Dec(const unsigned char* s, unsigned char* d)
    {
        ++decCalls;
        unsigned char t[kMaxBlockSize];
        const int bs = m_iBlockSize;
        for (int i = 0; i < bs; ++i) t[(i + 1) % bs] = static_cast<unsigned char>(s[i] - 0x5B - i);
        std::memcpy(d, t, static_cast<std::size_t>(bs));
    }

    bool m_bChainRunsOn;
};

Bytes Sample(std::size_t n, unsigned char seed)
{
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<unsigned char>(seed + 37 * i + (i >> 3));
    return b;
}

const Bytes kIv = Sample(32, 0xA5);

TEST(BlockCipherChecks, EverythingFailsBeforeInitialize)
{
    CToyCipher c(8, true);
    unsigned char buf[32] = {};
    unsigned char out[32] = {};
    EXPECT_EQ(ErrorOf([&] { c.Encrypt(buf, out, 8); }), kNotInitialized);
    EXPECT_EQ(ErrorOf([&] { c.Decrypt(buf, out, 8); }), kNotInitialized);
    // The initialisation check comes before the length check.
    EXPECT_EQ(ErrorOf([&] { c.Encrypt(buf, out, 5); }), kNotInitialized);
    EXPECT_EQ(ErrorOf([&] { c.Decrypt(buf, out, 0); }), kNotInitialized);
    EXPECT_EQ(ErrorOf([&] { c.ResetChain(); }), kNotInitialized);
    EXPECT_EQ(ErrorOf([&] { c.Pad(buf, 3); }), kNotInitialized);
    EXPECT_EQ(ErrorOf([&] { c.XorBlock(buf, out); }), kNotInitialized);
    EXPECT_FALSE(c.IsInitialized());
}

TEST(BlockCipherChecks, BadLengthsWriteNothingAndKeepTheChain)
{
    for (bool runsOn : {true, false}) {
        CToyCipher c(16, runsOn);
        c.Initialize(kIv.data(), IBlockCipher::kModeCbc, 0);
        const Bytes in = Sample(48, 1);
        for (std::int32_t len : {0, -16, 12, 17, 40}) {
            Bytes out(48, 0xEE);
            EXPECT_EQ(ErrorOf([&] { c.Encrypt(in.data(), out.data(), len); }), "Illegal Block Size!") << len;
            EXPECT_EQ(ErrorOf([&] { c.Decrypt(in.data(), out.data(), len); }), "Illegal Block Size!") << len;
            EXPECT_EQ(out, Bytes(48, 0xEE));
        }
        Bytes afterFailures(16), fresh(16);
        c.Encrypt(in.data(), afterFailures.data(), 16);
        CToyCipher d(16, runsOn);
        d.Initialize(kIv.data(), IBlockCipher::kModeCbc, 0);
        d.Encrypt(in.data(), fresh.data(), 16);
        EXPECT_EQ(afterFailures, fresh);
    }
}

TEST(BlockCipherChecks, InitializeRejectsModeAndPaddingOutOfRange)
{
    CToyCipher c(8, true);
    EXPECT_EQ(ErrorOf([&] { c.Initialize(kIv.data(), 4, 0); }), "FileCrypt ERROR: Illegal Operation Mode!");
    EXPECT_EQ(ErrorOf([&] { c.Initialize(kIv.data(), -1, 0); }), "FileCrypt ERROR: Illegal Operation Mode!");
    EXPECT_EQ(ErrorOf([&] { c.Initialize(kIv.data(), 0, 5); }), "FileCrypt ERROR: Illegal Padding Mode!");
    EXPECT_EQ(ErrorOf([&] { c.Initialize(kIv.data(), 0, -1); }), "FileCrypt ERROR: Illegal Padding Mode!");
    // The mode is checked first.
    EXPECT_EQ(ErrorOf([&] { c.Initialize(kIv.data(), 9, 9); }), "FileCrypt ERROR: Illegal Operation Mode!");
}

TEST(BlockCipherModes, FeedbackModesNeverCallTheDecipherFunction)
{
    for (std::int32_t mode : {IBlockCipher::kModeCfb, IBlockCipher::kModeOfb}) {
        for (bool runsOn : {true, false}) {
            CToyCipher enc(16, runsOn), dec(16, runsOn);
            enc.Initialize(kIv.data(), mode, 0);
            dec.Initialize(kIv.data(), mode, 0);
            const Bytes plain = Sample(64, 7);
            Bytes cipher(64), back(64);
            enc.Encrypt(plain.data(), cipher.data(), 64);
            dec.Decrypt(cipher.data(), back.data(), 64);
            EXPECT_EQ(back, plain);
            EXPECT_EQ(enc.decCalls + dec.decCalls, 0);
            EXPECT_EQ(enc.encCalls, 4);
            EXPECT_EQ(dec.encCalls, 4);
        }
    }
}

TEST(BlockCipherModes, OutOfRangeModeHeldInTheObjectRunsAsEcb)
{
    CToyCipher ecb(8, true);
    ecb.Initialize(kIv.data(), IBlockCipher::kModeEcb, 0);
    const Bytes plain = Sample(24, 3);
    Bytes expected(24);
    ecb.Encrypt(plain.data(), expected.data(), 24);
    EXPECT_EQ(ecb.decCalls, 0);

    Bytes back(24);
    ecb.Decrypt(expected.data(), back.data(), 24);
    EXPECT_EQ(back, plain);
    EXPECT_EQ(ecb.decCalls, 3);
    // Ciphertext depends on each block alone.
    EXPECT_NE(Bytes(expected.begin(), expected.begin() + 8), Bytes(expected.begin() + 8, expected.begin() + 16));
}

TEST(BlockCipherModes, ChainRunsOnAcrossCallsUntilReset)
{
    for (std::int32_t mode : {1, 2, 3}) {
        CToyCipher whole(8, true), split(8, true);
        whole.Initialize(kIv.data(), mode, 0);
        split.Initialize(kIv.data(), mode, 0);
        const Bytes plain = Sample(32, 11);
        Bytes one(32), two(32);
        whole.Encrypt(plain.data(), one.data(), 32);
        split.Encrypt(plain.data(), two.data(), 8);
        split.Encrypt(plain.data() + 8, two.data() + 8, 24);
        EXPECT_EQ(one, two) << "mode " << mode;

        Bytes back(32);
        split.ResetChain();
        split.Decrypt(one.data(), back.data(), 16);
        split.Decrypt(one.data() + 16, back.data() + 16, 16);
        EXPECT_EQ(back, plain) << "mode " << mode;

        split.ResetChain();
        Bytes again(8);
        split.Encrypt(plain.data(), again.data(), 8);
        EXPECT_EQ(again, Bytes(one.begin(), one.begin() + 8)) << "mode " << mode;
    }
}

TEST(BlockCipherModes, RestartingChainBeginsEveryCallAtTheIv)
{
    for (std::int32_t mode : {1, 2, 3}) {
        CToyCipher whole(8, false), split(8, false);
        whole.Initialize(kIv.data(), mode, 0);
        split.Initialize(kIv.data(), mode, 0);
        Bytes plain = Sample(16, 5);
        std::copy(plain.begin(), plain.begin() + 8, plain.begin() + 8);  // two equal blocks
        Bytes one(16), two(16);
        whole.Encrypt(plain.data(), one.data(), 16);
        split.Encrypt(plain.data(), two.data(), 8);
        split.Encrypt(plain.data() + 8, two.data() + 8, 8);
        EXPECT_EQ(Bytes(one.begin(), one.begin() + 8), Bytes(two.begin(), two.begin() + 8));
        EXPECT_NE(Bytes(one.begin() + 8, one.end()), Bytes(two.begin() + 8, two.end())) << "mode " << mode;
        EXPECT_EQ(Bytes(two.begin(), two.begin() + 8), Bytes(two.begin() + 8, two.end())) << "mode " << mode;

        // Decryption restarts the same way, so the split ciphertext reads back per call.
        Bytes back(16);
        split.Decrypt(two.data(), back.data(), 8);
        split.Decrypt(two.data() + 8, back.data() + 8, 8);
        EXPECT_EQ(back, plain);
    }
}

TEST(BlockCipherModes, InPlaceEqualsSeparateBuffers)
{
    for (std::int32_t bs : {8, 16, 24, 32}) {
        for (std::int32_t mode : {0, 1, 2, 3}) {
            CToyCipher a(bs, true), b(bs, true);
            a.Initialize(kIv.data(), mode, 0);
            b.Initialize(kIv.data(), mode, 0);
            const Bytes plain = Sample(static_cast<std::size_t>(bs) * 3, 9);
            Bytes separate(plain.size());
            Bytes inPlace = plain;
            const auto len = static_cast<std::int32_t>(plain.size());
            a.Encrypt(plain.data(), separate.data(), len);
            b.Encrypt(inPlace.data(), inPlace.data(), len);
            EXPECT_EQ(inPlace, separate) << bs << "/" << mode;
            a.ResetChain();
            b.ResetChain();
            Bytes back(plain.size());
            a.Decrypt(separate.data(), back.data(), len);
            b.Decrypt(inPlace.data(), inPlace.data(), len);
            EXPECT_EQ(back, plain) << bs << "/" << mode;
            EXPECT_EQ(inPlace, plain) << bs << "/" << mode;
        }
    }
}

TEST(BlockCipherPad, WritesTheBytesOfEachMode)
{
    struct Case {
        std::int32_t padding;
        Bytes tail;
    };
    const Case cases[] = {
        {0, {0x00, 0x00, 0x00}},
        {1, {0x20, 0x20, 0x20}},
        {2, {0x03, 0x03, 0x03}},
        {3, {0x00, 0x00, 0x03}},
    };
    for (const auto& k : cases) {
        CToyCipher c(16, true);
        c.Initialize(kIv.data(), 0, k.padding);
        Bytes buf(32, 0xAB);
        EXPECT_EQ(c.Pad(buf.data(), 13), 16);
        EXPECT_EQ(Bytes(buf.begin() + 13, buf.begin() + 16), k.tail) << "padding " << k.padding;
        EXPECT_EQ(Bytes(buf.begin() + 16, buf.end()), Bytes(16, 0xAB));
        EXPECT_EQ(Bytes(buf.begin(), buf.begin() + 13), Bytes(13, 0xAB));
    }

    CToyCipher eight(8, true);
    eight.Initialize(kIv.data(), 0, IBlockCipher::kPadCount);
    Bytes buf(8, 0xAB);
    EXPECT_EQ(eight.Pad(buf.data(), 1), 8);
    EXPECT_EQ(Bytes(buf.begin() + 1, buf.end()), Bytes(7, 0x07));

    CToyCipher wide(32, true);
    wide.Initialize(kIv.data(), 0, IBlockCipher::kPadZerosCount);
    Bytes big(128, 0xAB);
    EXPECT_EQ(wide.Pad(big.data(), 100), 128);
    EXPECT_EQ(Bytes(big.begin() + 100, big.begin() + 127), Bytes(27, 0x00));
    EXPECT_EQ(big[127], 28);
}

TEST(BlockCipherPad, WholeBlocksGetNoPadding)
{
    for (std::int32_t padding = 0; padding <= 4; ++padding) {
        CToyCipher c(16, true);
        c.Initialize(kIv.data(), 0, padding);
        Bytes buf(48, 0xAB);
        EXPECT_EQ(c.Pad(buf.data(), 0), 0);
        EXPECT_EQ(c.Pad(buf.data(), 32), 32);
        EXPECT_EQ(buf, Bytes(48, 0xAB));
    }
}

TEST(BlockCipherPad, NegativeLengthIsRefused)
{
    CToyCipher c(16, true);
    c.Initialize(kIv.data(), 0, 2);
    Bytes buf(16, 0xAB);
    EXPECT_EQ(ErrorOf([&] { c.Pad(buf.data() + 8, -3); }), "Illegal Block Size!");
    EXPECT_EQ(buf, Bytes(16, 0xAB));
}

TEST(BlockCipherPad, RandomPaddingDrawsFromTheClockSeededRuntimeGenerator)
{
    CToyCipher c(16, true);
    c.Initialize(kIv.data(), 0, IBlockCipher::kPadRandomCount);
    // Retry until the clock stands still over the call, so the seed is known.
    for (int attempt = 0; attempt < 100; ++attempt) {
        Bytes buf(32, 0xFF);
        const std::time_t before = std::time(nullptr);
        const std::int32_t n = c.Pad(buf.data(), 3);
        const std::time_t after = std::time(nullptr);
        ASSERT_EQ(n, 16);
        EXPECT_EQ(buf[15], 13);
        for (int i = 3; i < 15; ++i) EXPECT_LT(buf[i], 0xFF);
        EXPECT_EQ(buf[16], 0xFF);
        if (before != after) continue;
        std::srand(static_cast<unsigned>(before));
        for (int i = 3; i < 15; ++i) EXPECT_EQ(buf[i], std::rand() % 255) << i;
        return;
    }
    FAIL() << "clock never stood still";
}

TEST(BlockCipherXor, CoversExactlyOneBlock)
{
    CToyCipher c(24, true);
    c.Initialize(kIv.data(), 0, 0);
    Bytes target(32, 0x0F);
    const Bytes source(32, 0xF1);
    c.XorBlock(target.data(), source.data());
    EXPECT_EQ(Bytes(target.begin(), target.begin() + 24), Bytes(24, 0xFE));
    EXPECT_EQ(Bytes(target.begin() + 24, target.end()), Bytes(8, 0x0F));
}

}  // namespace
}  // namespace mg
