#include <random>

#include <gtest/gtest.h>

#include "cipher/rc4.h"
#include "cipher_test_util.h"

namespace mg {
namespace {

using test::Bytes;
using test::ErrorOf;
using test::Hex;

Bytes Keystream(const Bytes& key, std::size_t n)
{
    Rc4State s;
    Rc4Setup(key.data(), static_cast<std::int32_t>(key.size()), s);
    Bytes out(n, 0);
    Rc4Crypt(out.data(), static_cast<std::int32_t>(n), s);
    return out;
}

// RFC 6229, section 2: keystream at selected offsets.
const struct {
    const char* key;
    std::size_t offset;
    const char* stream;
} kRfc6229[] = {
    {"0102030405", 0, "b2396305f03dc027ccc3524a0a1118a8"},
    {"0102030405", 16, "6982944f18fc82d589c403a47a0d0919"},
    {"0102030405", 240, "28cb1132c96ce286421dcaadb8b69eae"},
    {"0102030405", 4096, "ff25b58995996707e51fbdf08b34d875"},
    {"0102030405060708", 0, "97ab8a1bf0afb96132f2f67258da15a8"},
    {"0102030405060708", 256, "d0a990ff2c05fef5b90373c9ff4b870a"},
    {"0102030405060708090a0b0c0d0e0f10", 0, "9ac7cc9a609d1ef7b2932899cde41b97"},
    {"0102030405060708090a0b0c0d0e0f10", 4080, "ff38265c1642c1abe8d3c2fe5e572bf8"},
    {"833222772a", 0, "80ad97bdc973df8a2e879e92a497efda"},
    {"833222772a", 4096, "bf42c3018c2f7c66bfde524975768115"},
};

TEST(Rc4KnownAnswers, Rfc6229)
{
    for (const auto& v : kRfc6229) {
        const Bytes stream = Keystream(Hex(v.key), v.offset + 16);
        EXPECT_EQ(Bytes(stream.begin() + static_cast<std::ptrdiff_t>(v.offset), stream.end()), Hex(v.stream))
            << v.key << " @" << v.offset;
    }
}

TEST(Rc4, SuccessiveCallsContinueOneKeystream)
{
    const Bytes key = Hex("0102030405");
    Rc4State s;
    Rc4Setup(key.data(), 5, s);
    Bytes buf(8, 0);
    Rc4Crypt(buf.data(), 3, s);
    Rc4Crypt(buf.data() + 3, 0, s);
    Rc4Crypt(buf.data() + 3, -4, s);
    Rc4Crypt(buf.data() + 3, 5, s);
    EXPECT_EQ(buf, Hex("b2396305f03dc027"));
}

TEST(Rc4, EncryptionIsItsOwnInverse)
{
    std::mt19937 rng(4);
    const Bytes key = test::RandomBytes(rng, 13);
    const Bytes plain = test::RandomBytes(rng, 1000);
    Bytes buf = plain;
    Rc4State s;
    Rc4Setup(key.data(), 13, s);
    Rc4Crypt(buf.data(), 1000, s);
    EXPECT_NE(buf, plain);
    Rc4Setup(key.data(), 13, s);
    Rc4Crypt(buf.data(), 1000, s);
    EXPECT_EQ(buf, plain);
}

TEST(Rc4, KeyLengthsAtTheEdges)
{
    // One byte is used 256 times; beyond 256 bytes the key is not read.
    EXPECT_EQ(Keystream(Bytes{0x42}, 64), Keystream(Bytes(256, 0x42), 64));
    std::mt19937 rng(300);
    Bytes longKey = test::RandomBytes(rng, 300);
    const Bytes first = Keystream(longKey, 64);
    for (std::size_t i = 256; i < 300; ++i) longKey[i] ^= 0xFF;
    EXPECT_EQ(Keystream(longKey, 64), first);
    EXPECT_EQ(Keystream(Bytes(longKey.begin(), longKey.begin() + 256), 64), first);

    Rc4State s;
    const unsigned char key[1] = {1};
    EXPECT_EQ(ErrorOf([&] { Rc4Setup(key, 0, s); }), "FileCrypt ERROR: Key Data Length should be > 0!");
    EXPECT_EQ(ErrorOf([&] { Rc4Setup(key, -1, s); }), "FileCrypt ERROR: Key Data Length should be > 0!");
}

}  // namespace
}  // namespace mg
