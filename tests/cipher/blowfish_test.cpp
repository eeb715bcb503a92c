#include <random>

#include <gtest/gtest.h>

#include "cipher/blowfish.h"
#include "cipher_test_util.h"

namespace mg {
namespace {

using test::Bytes;
using test::ErrorOf;
using test::Hex;

const std::uint32_t kZeroIv[2] = {0, 0};

Bytes EncryptWith(CBlowfish& c, const Bytes& in)
{
    Bytes out(in.size());
    c.Encrypt(in.data(), out.data(), static_cast<std::int32_t>(in.size()));
    return out;
}

Bytes DecryptWith(CBlowfish& c, const Bytes& in)
{
    Bytes out(in.size());
    c.Decrypt(in.data(), out.data(), static_cast<std::int32_t>(in.size()));
    return out;
}

struct Vector {
    const char* key;
    const char* plain;
    const char* cipher;
};

// Eric Young's Blowfish test vectors (published with the algorithm on
// Schneier's site), ECB part and variable-key part, key bytes in order.
const Vector kEcb[] = {
    {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
    {"FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "51866FD5B85ECB8A"},
    {"3000000000000000", "1000000000000001", "7D856F9A613063F2"},
    {"1111111111111111", "1111111111111111", "2466DD878B963C9D"},
    {"0123456789ABCDEF", "1111111111111111", "61F9C3802281B096"},
    {"1111111111111111", "0123456789ABCDEF", "7D0CC630AFDA1EC7"},
    {"FEDCBA9876543210", "0123456789ABCDEF", "0ACEAB0FC6A0A28D"},
    {"7CA110454A1A6E57", "01A1D6D039776742", "59C68245EB05282B"},
    {"F0", "FEDCBA9876543210", "F9AD597C49DB005E"},
    {"F0E1D2", "FEDCBA9876543210", "E9C2B70A1BC65CF3"},
    {"F0E1D2C3B4A59687", "FEDCBA9876543210", "E87A244E2CC85E82"},
    {"F0E1D2C3B4A5968778695A", "FEDCBA9876543210", "3A833C9AFFC537F6"},
    {"F0E1D2C3B4A5968778695A4B3C2D1E0F", "FEDCBA9876543210", "93142887EE3BE15C"},
    {"F0E1D2C3B4A5968778695A4B3C2D1E0F00", "FEDCBA9876543210", "03429E838CE2D14B"},
    {"F0E1D2C3B4A5968778695A4B3C2D1E0F0011223344556677", "FEDCBA9876543210", "05044B62FA52D080"},
};

TEST(BlowfishKnownAnswers, EricYoungEcb)
{
    for (const auto& v : kEcb) {
        const Bytes key = Hex(v.key);
        CBlowfish c;
        c.Initialize(key.data(), static_cast<std::int32_t>(key.size()), kZeroIv, 0, 0);
        EXPECT_EQ(EncryptWith(c, Hex(v.plain)), Hex(v.cipher)) << v.key;
        EXPECT_EQ(DecryptWith(c, Hex(v.cipher)), Hex(v.plain)) << v.key;
    }
}

// Eric Young's CBC vector: the IV bytes FEDCBA9876543210 arrive as two
// big-endian words.
TEST(BlowfishKnownAnswers, EricYoungCbc)
{
    const Bytes key = Hex("0123456789ABCDEFF0E1D2C3B4A59687");
    const std::uint32_t iv[2] = {0xFEDCBA98u, 0x76543210u};
    Bytes plain(32, 0);
    const char text[] = "7654321 Now is the time for ";
    std::copy(text, text + sizeof text, plain.begin());
    const Bytes cipher = Hex("6B77B4D63006DEE605B156E27403979358DEB9E7154616D959F1652BD5FF92CC");
    CBlowfish c;
    c.Initialize(key.data(), 16, iv, 1, 0);
    EXPECT_EQ(EncryptWith(c, plain), cipher);
    EXPECT_EQ(DecryptWith(c, cipher), plain);
}

TEST(BlowfishKey, LongKeysCountWithTheirFirst56Bytes)
{
    std::mt19937 rng(56);
    const Bytes longKey = test::RandomBytes(rng, 70);
    const Bytes first56(longKey.begin(), longKey.begin() + 56);
    const Bytes block = test::RandomBytes(rng, 64);
    CBlowfish a, b;
    a.Initialize(longKey.data(), 70, kZeroIv, 0, 0);
    b.Initialize(first56.data(), 56, kZeroIv, 0, 0);
    EXPECT_EQ(Bytes(a.KeyStore(), a.KeyStore() + 56), first56);
    EXPECT_EQ(EncryptWith(a, block), EncryptWith(b, block));
}

TEST(BlowfishKey, RepeatedKeyGivesTheSameSchedule)
{
    const Bytes two = Hex("5AA5");
    const Bytes four = Hex("5AA55AA5");
    const Bytes block = Hex("0011223344556677");
    CBlowfish a, b;
    a.Initialize(two.data(), 2, kZeroIv, 0, 0);
    b.Initialize(four.data(), 4, kZeroIv, 0, 0);
    EXPECT_EQ(Bytes(a.KeyStore(), a.KeyStore() + 56), Bytes(b.KeyStore(), b.KeyStore() + 56));
    EXPECT_EQ(EncryptWith(a, block), EncryptWith(b, block));
}

TEST(BlowfishKey, ReinitialisingRebuildsWhenOnlyTheKeyLengthDiffers)
{
    // A 3-byte key and its own 56-byte expansion share the key store but not
    // the schedule, so a remembered schedule must not be reused between them.
    const Bytes shortKey = Hex("0A1B2C");
    const Bytes expanded = [&] {
        Bytes e(56);
        for (std::size_t i = 0; i < 56; ++i) e[i] = shortKey[i % 3];
        return e;
    }();
    const Bytes block = Hex("0123456789ABCDEF");
    CBlowfish reused, freshShort, freshLong;
    freshShort.Initialize(shortKey.data(), 3, kZeroIv, 0, 0);
    freshLong.Initialize(expanded.data(), 56, kZeroIv, 0, 0);
    ASSERT_NE(EncryptWith(freshShort, block), EncryptWith(freshLong, block));

    reused.Initialize(shortKey.data(), 3, kZeroIv, 0, 0);
    reused.Initialize(expanded.data(), 56, kZeroIv, 0, 0);
    EXPECT_EQ(EncryptWith(reused, block), EncryptWith(freshLong, block));
    reused.Initialize(shortKey.data(), 3, kZeroIv, 0, 0);
    EXPECT_EQ(EncryptWith(reused, block), EncryptWith(freshShort, block));

    // Same key again with new settings keeps working with the new IV and mode.
    const std::uint32_t iv[2] = {0x01020304u, 0x05060708u};
    reused.Initialize(shortKey.data(), 3, iv, 1, 2);
    freshShort.Initialize(shortKey.data(), 3, iv, 1, 2);
    EXPECT_EQ(EncryptWith(reused, block), EncryptWith(freshShort, block));
    EXPECT_EQ(reused.Mode(), 1);
    EXPECT_EQ(reused.Padding(), 2);
}

TEST(BlowfishInitialize, ChecksAndFailuresLeaveEarlierStateInForce)
{
    const Bytes key = Hex("0123456789ABCDEF");
    const std::uint32_t iv[2] = {0xFEDCBA98u, 0x76543210u};
    const std::uint32_t otherIv[2] = {1, 2};
    CBlowfish c;
    EXPECT_EQ(ErrorOf([&] { c.Initialize(nullptr, 8, iv, 9, 9); }), "FileCrypt ERROR: No Key DataSpecified!");
    EXPECT_EQ(ErrorOf([&] { c.Initialize(key.data(), 0, iv, 9, 9); }),
              "FileCrypt ERROR: Key Data Length should be > 0!");
    EXPECT_EQ(ErrorOf([&] { c.Initialize(key.data(), 8, iv, 4, 9); }), "FileCrypt ERROR: Illegal Operation Mode!");
    EXPECT_EQ(ErrorOf([&] { c.Initialize(key.data(), 8, iv, 3, 5); }), "FileCrypt ERROR: Illegal Padding Mode!");
    EXPECT_FALSE(c.IsInitialized());

    c.Initialize(key.data(), 8, iv, 1, 0);
    const Bytes plain = Hex("00112233445566778899AABBCCDDEEFF");
    const Bytes before = EncryptWith(c, plain);
    const Bytes otherKey = Hex("FFEEDDCCBBAA9988");
    EXPECT_NE(ErrorOf([&] { c.Initialize(otherKey.data(), 8, otherIv, 4, 0); }), "<no exception>");
    EXPECT_NE(ErrorOf([&] { c.Initialize(otherKey.data(), 8, otherIv, 2, 5); }), "<no exception>");
    EXPECT_EQ(c.Mode(), 1);
    EXPECT_EQ(EncryptWith(c, plain), before);
    EXPECT_EQ(c.BlockSize(), 8);
    EXPECT_EQ(c.KeySize(), 56);
}

TEST(BlowfishModes, EveryCallStartsAgainFromTheIv)
{
    std::mt19937 rng(8);
    const Bytes key = test::RandomBytes(rng, 16);
    const std::uint32_t iv[2] = {0x11223344u, 0x55667788u};
    const Bytes plain = test::RandomBytes(rng, 16);
    for (std::int32_t mode : {1, 2, 3}) {
        CBlowfish c;
        c.Initialize(key.data(), 16, iv, mode, 0);
        const Bytes whole = EncryptWith(c, plain);
        const Bytes first = EncryptWith(c, Bytes(plain.begin(), plain.begin() + 8));
        const Bytes second = EncryptWith(c, Bytes(plain.begin() + 8, plain.end()));
        EXPECT_EQ(first, Bytes(whole.begin(), whole.begin() + 8));
        EXPECT_NE(second, Bytes(whole.begin() + 8, whole.end())) << "mode " << mode;
        // A second call on the same data repeats the first exactly.
        EXPECT_EQ(EncryptWith(c, plain), whole);
        EXPECT_EQ(DecryptWith(c, whole), plain);
        EXPECT_EQ(DecryptWith(c, second), Bytes(plain.begin() + 8, plain.end()));
    }
}

TEST(BlowfishModes, ErrorsBeforeAndAfterInitialize)
{
    CBlowfish c;
    unsigned char buf[16] = {};
    EXPECT_EQ(ErrorOf([&] { c.Encrypt(buf, buf, 12); }),
              "FileCrypt ERROR: Encryption/Decryption Object not Initialized!");
    EXPECT_EQ(ErrorOf([&] { c.ResetChain(); }), "FileCrypt ERROR: Encryption/Decryption Object not Initialized!");
    const unsigned char key[1] = {1};
    c.Initialize(key, 1, kZeroIv, 0, 0);
    Bytes out(16, 0x77);
    EXPECT_EQ(ErrorOf([&] { c.Encrypt(buf, out.data(), 12); }), "Illegal Block Size!");
    EXPECT_EQ(ErrorOf([&] { c.Decrypt(buf, out.data(), 0); }), "Illegal Block Size!");
    EXPECT_EQ(out, Bytes(16, 0x77));
}

TEST(BlowfishModes, RoundTripsEveryModeInPlace)
{
    std::mt19937 rng(77);
    for (std::int32_t mode = 0; mode < 4; ++mode) {
        for (int round = 0; round < 8; ++round) {
            const auto keyLength = static_cast<std::int32_t>(1 + rng() % 72);
            const Bytes key = test::RandomBytes(rng, static_cast<std::size_t>(keyLength));
            const std::uint32_t iv[2] = {static_cast<std::uint32_t>(rng()), static_cast<std::uint32_t>(rng())};
            const Bytes plain = test::RandomBytes(rng, 8 * (1 + rng() % 50));
            CBlowfish c;
            c.Initialize(key.data(), keyLength, iv, mode, 0);
            const Bytes cipher = EncryptWith(c, plain);
            Bytes buf = plain;
            c.Encrypt(buf.data(), buf.data(), static_cast<std::int32_t>(buf.size()));
            EXPECT_EQ(buf, cipher);
            c.Decrypt(buf.data(), buf.data(), static_cast<std::int32_t>(buf.size()));
            EXPECT_EQ(buf, plain) << "mode " << mode << " key length " << keyLength;
        }
    }
}

}  // namespace
}  // namespace mg
