// RC4 in memory, and its file form: byte for byte against a model of the
// 385-byte keystream stride, and what its failures leave behind.
#include <algorithm>
#include <random>
#include <utility>

#include <gtest/gtest.h>

#include "cipher/rc4.h"
#include "cipher/rc4_file.h"
#include "cipher_test_util.h"

namespace mg {
namespace {

using namespace test;

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
        EXPECT_EQ(Slice(stream, v.offset), Hex(v.stream)) << v.key << " @" << v.offset;
    }
}

// The keystream one byte at a time, as the algorithm is published, against
// the library's word-wide loop: calls of every length split at random points,
// so that runs start and end at every position of i before and after it
// wraps, on data at odd addresses.
TEST(Rc4, WordLoopMatchesTheBytewiseModelOnEverySplit)
{
    std::mt19937 rng(6229);
    for (int trial = 0; trial < 60; ++trial) {
        Bytes key(1 + rng() % 40);
        for (auto& b : key) b = static_cast<unsigned char>(rng());
        const std::size_t n = rng() % 3000;
        Bytes data(n + 8);
        for (auto& b : data) b = static_cast<unsigned char>(rng());
        Rc4State model;
        Rc4Setup(key.data(), static_cast<std::int32_t>(key.size()), model);
        Bytes expected(data.begin() + 3, data.begin() + 3 + static_cast<std::ptrdiff_t>(n));
        unsigned i = model.i, j = model.j;
        for (auto& b : expected) {
            i = (i + 1) & 0xFF;
            j = (j + model.perm[i]) & 0xFF;
            std::swap(model.perm[i], model.perm[j]);
            b ^= model.perm[(model.perm[i] + model.perm[j]) & 0xFF];
        }
        Rc4State s;
        Rc4Setup(key.data(), static_cast<std::int32_t>(key.size()), s);
        for (std::size_t at = 0; at < n;) {
            const std::size_t piece = std::min<std::size_t>(n - at, rng() % 4 == 0 ? rng() % 9 : rng() % 700);
            Rc4Crypt(data.data() + 3 + at, static_cast<std::int32_t>(piece), s);
            at += piece;
        }
        ASSERT_EQ(Bytes(data.begin() + 3, data.begin() + 3 + static_cast<std::ptrdiff_t>(n)), expected)
            << "trial " << trial << ", " << n << " bytes";
        EXPECT_EQ(s.i, static_cast<unsigned char>(i));
        EXPECT_EQ(s.j, static_cast<unsigned char>(j));
        EXPECT_EQ(Bytes(s.perm, s.perm + 256), Bytes(model.perm, model.perm + 256));
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

TEST(Rc4, KeyLengthsAtTheEdges)
{
    // One byte is used 256 times; beyond 256 bytes the key is not read.
    EXPECT_EQ(Keystream(Bytes{0x42}, 64), Keystream(Bytes(256, 0x42), 64));
    std::mt19937 rng(300);
    const Bytes longKey = RandomBytes(rng, 300);
    EXPECT_EQ(Keystream(Slice(longKey, 0, 256), 64), Keystream(longKey, 64));

    Rc4State s;
    const unsigned char key[1] = {1};
    EXPECT_EQ(ErrorOf([&] { Rc4Setup(key, 0, s); }), "FileCrypt ERROR: Key Data Length should be > 0!");
    EXPECT_EQ(ErrorOf([&] { Rc4Setup(key, -1, s); }), "FileCrypt ERROR: Key Data Length should be > 0!");
}

TEST(Rc4File, EachChunkOf384BytesSkipsOneKeystreamByte)
{
    TempDir dir;
    // The widely published pair: key "Key", "Plaintext" -> bbf316e8d940af0ad3.
    WriteFile(dir / "plain", {'P', 'l', 'a', 'i', 'n', 't', 'e', 'x', 't'});
    Rc4EncryptFile((dir / "plain").c_str(), (dir / "enc").c_str(), "Key");
    EXPECT_EQ(ReadFile(dir / "enc"), Hex("bbf316e8d940af0ad3"));

    const std::string key = "a longer key";
    // The file is read 682 chunks (261,888 bytes) at a time: lengths around that edge too.
    for (std::size_t n : {0u, 1u, 384u, 385u, 768u, 1000u, 1920u, 70000u, 261887u, 261888u, 261889u, 523776u + 385u}) {
        const Bytes plain = Pattern(n);
        WriteFile(dir / "plain", plain);
        Rc4EncryptFile((dir / "plain").c_str(), (dir / "enc").c_str(), key.c_str());
        // Chunk c of at most 384 bytes is XORed with keystream bytes 385c onwards.
        const Bytes stream = Keystream(Bytes(key.begin(), key.end()), (n + 383) / 384 * 385);
        Bytes expected = plain;
        for (std::size_t i = 0; i < n; ++i) expected[i] ^= stream[(i / 384) * 385 + i % 384];
        ASSERT_EQ(ReadFile(dir / "enc"), expected) << n;
        // Decryption is the same procedure, so it restores the file.
        Rc4DecryptFile((dir / "enc").c_str(), (dir / "dec").c_str(), key.c_str());
        ASSERT_EQ(ReadFile(dir / "dec"), plain) << n;
    }
}

TEST(Rc4File, FailuresComeBeforeTheFilesAreTouched)
{
    TempDir dir;
    const std::string plain = dir / "plain";
    WriteFile(plain, Pattern(50));
    EXPECT_EQ(ErrorOf([&] { Rc4EncryptFile(plain.c_str(), (dir / "out").c_str(), ""); }),
              "FileCrypt ERROR: Key Data Length should be > 0!");
    EXPECT_EQ(ErrorOf([&] { Rc4DecryptFile(plain.c_str(), (dir / "out").c_str(), nullptr); }),
              "FileCrypt ERROR: Key Data Length should be > 0!");
    EXPECT_FALSE(Exists(dir / "out"));

    for (const std::string& other : {plain, dir / "./plain"}) {
        EXPECT_EQ(ErrorOf([&] { Rc4EncryptFile(plain.c_str(), other.c_str(), "k"); }),
                  "Input and Output files cannot be the same " + plain + "!");
        EXPECT_EQ(ReadFile(plain), Pattern(50));
    }
    const std::string missing = dir / "missing";
    EXPECT_EQ(ErrorOf([&] { Rc4DecryptFile(missing.c_str(), (dir / "out").c_str(), "k"); }),
              "Unable to open input file " + missing + "!");
    EXPECT_FALSE(Exists(dir / "out"));
    const std::string noFolder = dir / "nowhere/out";
    EXPECT_EQ(ErrorOf([&] { Rc4EncryptFile(plain.c_str(), noFolder.c_str(), "k"); }),
              "Unable to open output file " + noFolder + "!");
#ifndef _WIN32
    const std::string folder = dir / "folder";
    std::filesystem::create_directory(folder);
    EXPECT_EQ(ErrorOf([&] { Rc4EncryptFile(folder.c_str(), (dir / "out").c_str(), "k"); }),
              "Unable to read input file " + folder + "!");
#endif
}

}  // namespace
}  // namespace mg
