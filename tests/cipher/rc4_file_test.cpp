// The RC4 file form: byte for byte against a model of its 385-byte keystream
// stride, and what its failures leave behind.
#include <gtest/gtest.h>

#include "cipher/rc4.h"
#include "cipher/rc4_file.h"
#include "file_test_util.h"

namespace mg {
namespace {

using test::Bytes;
using test::ErrorOf;
using test::Exists;
using test::Hex;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

Bytes Keystream(const std::string& key, std::size_t n) {
    Rc4State s;
    Rc4Setup(reinterpret_cast<const unsigned char*>(key.data()), static_cast<std::int32_t>(key.size()), s);
    Bytes out(n, 0);
    Rc4Crypt(out.data(), static_cast<std::int32_t>(n), s);
    return out;
}

// Chunk c of at most 384 bytes is XORed with keystream bytes 385c onwards.
Bytes FileFormModel(const Bytes& plain, const std::string& key) {
    const std::size_t chunks = (plain.size() + 383) / 384;
    const Bytes stream = Keystream(key, chunks * 385);
    Bytes out = plain;
    for (std::size_t i = 0; i < out.size(); ++i) out[i] ^= stream[(i / 384) * 385 + i % 384];
    return out;
}

Bytes Pattern(std::size_t n) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<unsigned char>(i * 37 + (i >> 8));
    return b;
}

TEST(Rc4File, ShortFilesEqualTheInMemoryCipher) {
    TempDir dir;
    // The widely published pair: key "Key", "Plaintext" -> bbf316e8d940af0ad3.
    WriteFile(dir / "plain", {'P', 'l', 'a', 'i', 'n', 't', 'e', 'x', 't'});
    Rc4EncryptFile((dir / "plain").c_str(), (dir / "enc").c_str(), "Key");
    EXPECT_EQ(ReadFile(dir / "enc"), Hex("bbf316e8d940af0ad3"));

    for (std::size_t n : {0u, 1u, 383u, 384u}) {
        const Bytes plain = Pattern(n);
        WriteFile(dir / "plain", plain);
        Rc4EncryptFile((dir / "plain").c_str(), (dir / "enc").c_str(), "secret");
        Bytes memory = plain;
        const Bytes stream = Keystream("secret", n);
        for (std::size_t i = 0; i < n; ++i) memory[i] ^= stream[i];
        EXPECT_EQ(ReadFile(dir / "enc"), memory) << n;
    }
}

TEST(Rc4File, EachChunkSkipsOneKeystreamByte) {
    TempDir dir;
    const Bytes plain = Pattern(385);
    WriteFile(dir / "plain", plain);
    Rc4EncryptFile((dir / "plain").c_str(), (dir / "enc").c_str(), "secret");
    const Bytes file = ReadFile(dir / "enc");
    const Bytes stream = Keystream("secret", 386);
    ASSERT_EQ(file.size(), 385u);
    for (std::size_t i = 0; i < 384; ++i) ASSERT_EQ(file[i], plain[i] ^ stream[i]) << i;
    EXPECT_EQ(file[384], plain[384] ^ stream[385]);
    EXPECT_NE(file[384], plain[384] ^ stream[384]);

    for (std::size_t n : {768u, 1000u, 1920u, 2049u, 70000u}) {
        const Bytes longer = Pattern(n);
        WriteFile(dir / "plain", longer);
        Rc4EncryptFile((dir / "plain").c_str(), (dir / "enc").c_str(), "a longer key");
        ASSERT_EQ(ReadFile(dir / "enc"), FileFormModel(longer, "a longer key")) << n;
        // Decryption is the same procedure, so it restores the file.
        Rc4DecryptFile((dir / "enc").c_str(), (dir / "dec").c_str(), "a longer key");
        ASSERT_EQ(ReadFile(dir / "dec"), longer) << n;
        Rc4EncryptFile((dir / "enc").c_str(), (dir / "twice").c_str(), "a longer key");
        ASSERT_EQ(ReadFile(dir / "twice"), longer) << n;
    }
}

TEST(Rc4File, OnlyTheFirst256KeyBytesCount) {
    TempDir dir;
    WriteFile(dir / "plain", Pattern(500));
    const std::string key(300, 'k');
    std::string other = key;
    other[299] = 'x';
    Rc4EncryptFile((dir / "plain").c_str(), (dir / "a").c_str(), key.c_str());
    Rc4EncryptFile((dir / "plain").c_str(), (dir / "b").c_str(), other.c_str());
    EXPECT_EQ(ReadFile(dir / "a"), ReadFile(dir / "b"));
    EXPECT_EQ(ReadFile(dir / "a"), FileFormModel(Pattern(500), key.substr(0, 256)));
}

TEST(Rc4File, FailuresComeBeforeTheFilesAreTouched) {
    TempDir dir;
    const std::string plain = dir / "plain";
    WriteFile(plain, Pattern(50));
    EXPECT_EQ(ErrorOf([&] { Rc4EncryptFile(plain.c_str(), (dir / "out").c_str(), ""); }),
              "FileCrypt ERROR: Key Data Length should be > 0!");
    EXPECT_EQ(ErrorOf([&] { Rc4DecryptFile(plain.c_str(), (dir / "out").c_str(), nullptr); }),
              "FileCrypt ERROR: Key Data Length should be > 0!");
    EXPECT_FALSE(Exists(dir / "out"));

    for (const std::string& other : {plain, (dir.Path() / "." / "plain").string()}) {
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
    if (Exists("/dev/full")) {
        EXPECT_EQ(ErrorOf([&] { Rc4EncryptFile(plain.c_str(), "/dev/full", "k"); }),
                  "Unable to write output file /dev/full!");
    }
#ifndef _WIN32
    const std::string folder = dir.Path().string();
    EXPECT_EQ(ErrorOf([&] { Rc4EncryptFile(folder.c_str(), (dir / "out").c_str(), "k"); }),
              "Unable to read input file " + folder + "!");
#endif
}

}  // namespace
}  // namespace mg
