#include <gtest/gtest.h>

#include "cipher/tea.h"
#include "cipher_test_util.h"

namespace mg {
namespace {

using namespace test;

const Bytes kZeroIv(8, 0);

// Published XTEA test vectors (as collected in Botan's xtea.vec), key and
// block words written as big-endian bytes.
const struct {
    const char* key;
    const char* plain;
    const char* cipher;
} kXtea[] = {
    {"000102030405060708090A0B0C0D0E0F", "4142434445464748", "497DF3D072612CB5"},
    {"000102030405060708090A0B0C0D0E0F", "4141414141414141", "E78F2D13744341D8"},
    {"000102030405060708090A0B0C0D0E0F", "5A5B6E278948D77F", "4141414141414141"},
    {"00000000000000000000000000000000", "4142434445464748", "A0390589F8B8EFA5"},
    {"00000000000000000000000000000000", "4141414141414141", "ED23375A821A8C2D"},
    {"00000000000000000000000000000000", "70E1225D6E4E7655", "4141414141414141"},
};

TEST(TeaKnownAnswers, Xtea)
{
    for (const auto& v : kXtea) {
        const Bytes key = Hex(v.key);
        CTea c;
        c.Initialize(key.data(), 16, kZeroIv.data(), 0, 0);
        EXPECT_EQ(EncryptWith(c, Hex(v.plain)), Hex(v.cipher)) << v.key << " " << v.plain;
        EXPECT_EQ(DecryptWith(c, Hex(v.cipher)), Hex(v.plain)) << v.key << " " << v.plain;
    }
}

TEST(TeaKey, RepeatedOrCutToSixteenBytes)
{
    const Bytes block = Hex("4142434445464748");
    const Bytes five = Hex("0102030405");
    const Bytes asSixteen = Hex("01020304050102030405010203040501");
    CTea a, b;
    a.Initialize(five.data(), 5, kZeroIv.data(), 0, 0);
    b.Initialize(asSixteen.data(), 16, kZeroIv.data(), 0, 0);
    EXPECT_EQ(EncryptWith(a, block), EncryptWith(b, block));

    const Bytes forty = Hex("000102030405060708090A0B0C0D0E0F" "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF" "1234567812345678");
    CTea c;
    c.Initialize(forty.data(), 40, kZeroIv.data(), 0, 0);
    EXPECT_EQ(EncryptWith(c, block), Hex("497DF3D072612CB5"));
}

TEST(TeaKey, ReinitialisingChangesKeyOrOnlyTheIv)
{
    const Bytes k1 = Hex("000102030405060708090A0B0C0D0E0F");
    const Bytes k2(16, 0);
    const Bytes iv = Hex("0011223344556677");
    const Bytes block = Hex("4142434445464748");
    CTea c;
    c.Initialize(k1.data(), 16, kZeroIv.data(), 0, 0);
    c.Initialize(k2.data(), 16, kZeroIv.data(), 0, 0);
    EXPECT_EQ(EncryptWith(c, block), Hex("A0390589F8B8EFA5"));

    // Same key, new IV: the chain restarts from the new IV with the same key.
    c.Initialize(k2.data(), 16, iv.data(), 1, 4);
    Bytes x = block;
    for (int i = 0; i < 8; ++i) x[i] ^= iv[i];
    CTea ecb;
    ecb.Initialize(k2.data(), 16, kZeroIv.data(), 0, 0);
    EXPECT_EQ(EncryptWith(c, block), EncryptWith(ecb, x));
    EXPECT_EQ(c.Padding(), 4);
}

}  // namespace
}  // namespace mg
