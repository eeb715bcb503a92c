#include <random>

#include <gtest/gtest.h>

#include "cipher/blowfish.h"
#include "cipher_test_util.h"

namespace mg {
namespace {

using namespace test;

const std::uint32_t kZeroIv[2] = {0, 0};

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
    const Bytes longKey = RandomBytes(rng, 70);
    const Bytes block = RandomBytes(rng, 64);
    CBlowfish a, b;
    a.Initialize(longKey.data(), 70, kZeroIv, 0, 0);
    b.Initialize(longKey.data(), 56, kZeroIv, 0, 0);
    EXPECT_EQ(EncryptWith(a, block), EncryptWith(b, block));
}

TEST(BlowfishKey, ReinitialisingRebuildsWhenOnlyTheKeyLengthDiffers)
{
    // A 3-byte key and its own 56-byte expansion share the key store but not
    // the schedule, so a remembered schedule must not be reused between them.
    const Bytes shortKey = Hex("0A1B2C");
    Bytes expanded(56);
    for (std::size_t i = 0; i < 56; ++i) expanded[i] = shortKey[i % 3];
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
    EXPECT_EQ(reused.Padding(), 2);
}

}  // namespace
}  // namespace mg
