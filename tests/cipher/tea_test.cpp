#include <random>

#include <gtest/gtest.h>

#include "cipher/tea.h"
#include "cipher_test_util.h"

namespace mg {
namespace {

using test::Bytes;
using test::ErrorOf;
using test::Hex;

const Bytes kZeroIv(8, 0);

Bytes EncryptWith(CTea& c, const Bytes& in)
{
    Bytes out(in.size());
    c.Encrypt(in.data(), out.data(), static_cast<std::int32_t>(in.size()));
    return out;
}

Bytes DecryptWith(CTea& c, const Bytes& in)
{
    Bytes out(in.size());
    c.Decrypt(in.data(), out.data(), static_cast<std::int32_t>(in.size()));
    return out;
}

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
    const Bytes five = Hex("0102030405");
    const Bytes asSixteen = Hex("01020304050102030405010203040501");
    CTea a, b;
    a.Initialize(five.data(), 5, kZeroIv.data(), 0, 0);
    b.Initialize(asSixteen.data(), 16, kZeroIv.data(), 0, 0);
    EXPECT_EQ(Bytes(a.KeyStore(), a.KeyStore() + 16), asSixteen);
    const Bytes block = Hex("4142434445464748");
    EXPECT_EQ(EncryptWith(a, block), EncryptWith(b, block));

    const Bytes forty = Hex("000102030405060708090A0B0C0D0E0F" "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF" "1234567812345678");
    CTea c;
    c.Initialize(forty.data(), 40, kZeroIv.data(), 0, 0);
    EXPECT_EQ(EncryptWith(c, block), Hex("497DF3D072612CB5"));

    const unsigned char one[1] = {0x41};
    CTea d, e;
    d.Initialize(one, 1, kZeroIv.data(), 0, 0);
    const Bytes sixteen(16, 0x41);
    e.Initialize(sixteen.data(), 16, kZeroIv.data(), 0, 0);
    EXPECT_EQ(EncryptWith(d, block), EncryptWith(e, block));
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

TEST(TeaInitialize, ChecksAndFailuresLeaveEarlierStateInForce)
{
    const Bytes key = Hex("000102030405060708090A0B0C0D0E0F");
    CTea c;
    EXPECT_EQ(ErrorOf([&] { c.Initialize(nullptr, 16, kZeroIv.data(), 9, 9); }),
              "FileCrypt ERROR: No Key DataSpecified!");
    EXPECT_EQ(ErrorOf([&] { c.Initialize(key.data(), -1, kZeroIv.data(), 9, 9); }),
              "FileCrypt ERROR: Key Data Length should be > 0!");
    EXPECT_EQ(ErrorOf([&] { c.Initialize(key.data(), 16, kZeroIv.data(), 4, 9); }),
              "FileCrypt ERROR: Illegal Operation Mode!");
    EXPECT_EQ(ErrorOf([&] { c.Initialize(key.data(), 16, kZeroIv.data(), 0, 5); }),
              "FileCrypt ERROR: Illegal Padding Mode!");

    const Bytes iv = Hex("0102030405060708");
    c.Initialize(key.data(), 16, iv.data(), 2, 1);
    const Bytes plain = Hex("4142434445464748 4142434445464748");
    const Bytes first = EncryptWith(c, Bytes(plain.begin(), plain.begin() + 8));
    const Bytes other(16, 0x99);
    EXPECT_NE(ErrorOf([&] { c.Initialize(other.data(), 16, other.data(), 5, 0); }), "<no exception>");
    EXPECT_EQ(c.Mode(), 2);
    EXPECT_EQ(c.Padding(), 1);
    // The chain runs on from the first call as if nothing had been tried.
    const Bytes second = EncryptWith(c, Bytes(plain.begin() + 8, plain.end()));
    CTea d;
    d.Initialize(key.data(), 16, iv.data(), 2, 1);
    Bytes whole = first;
    whole.insert(whole.end(), second.begin(), second.end());
    EXPECT_EQ(EncryptWith(d, plain), whole);
}

TEST(TeaModes, ChainRunsOnAcrossCalls)
{
    std::mt19937 rng(16);
    const Bytes key = test::RandomBytes(rng, 16);
    const Bytes iv = test::RandomBytes(rng, 8);
    const Bytes plain = test::RandomBytes(rng, 16);
    for (std::int32_t mode : {1, 2, 3}) {
        CTea c;
        c.Initialize(key.data(), 16, iv.data(), mode, 0);
        const Bytes whole = EncryptWith(c, plain);
        c.ResetChain();
        Bytes split = EncryptWith(c, Bytes(plain.begin(), plain.begin() + 8));
        const Bytes second = EncryptWith(c, Bytes(plain.begin() + 8, plain.end()));
        split.insert(split.end(), second.begin(), second.end());
        EXPECT_EQ(split, whole) << "mode " << mode;
        c.ResetChain();
        EXPECT_EQ(DecryptWith(c, whole), plain);
    }
}

TEST(TeaModes, BadLengthsWriteNothing)
{
    CTea c;
    Bytes out(16, 0x55);
    const Bytes in(16, 0);
    EXPECT_EQ(ErrorOf([&] { c.Encrypt(in.data(), out.data(), 0); }),
              "FileCrypt ERROR: Encryption/Decryption Object not Initialized!");
    c.Initialize(in.data(), 16, in.data(), 1, 0);
    EXPECT_EQ(ErrorOf([&] { c.Encrypt(in.data(), out.data(), 12); }), "Illegal Block Size!");
    EXPECT_EQ(ErrorOf([&] { c.Decrypt(in.data(), out.data(), 0); }), "Illegal Block Size!");
    EXPECT_EQ(out, Bytes(16, 0x55));
}

TEST(TeaModes, RoundTripsEveryMode)
{
    std::mt19937 rng(88);
    for (std::int32_t mode = 0; mode < 4; ++mode) {
        for (int round = 0; round < 8; ++round) {
            const auto keyLength = static_cast<std::int32_t>(1 + rng() % 40);
            const Bytes key = test::RandomBytes(rng, static_cast<std::size_t>(keyLength));
            const Bytes iv = test::RandomBytes(rng, 8);
            const Bytes plain = test::RandomBytes(rng, 8 * (1 + rng() % 50));
            CTea c;
            c.Initialize(key.data(), keyLength, iv.data(), mode, 0);
            const Bytes cipher = EncryptWith(c, plain);
            c.ResetChain();
            EXPECT_EQ(DecryptWith(c, cipher), plain) << "mode " << mode;
        }
    }
}

}  // namespace
}  // namespace mg
