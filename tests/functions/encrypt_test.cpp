// ENCRYPT, DECRYPT and their file forms as the host calls them: argument rules,
// defaults, names used as given, and the errors that arguments can cause.
#include <cstdint>
#include <filesystem>

#include "host_fixture.h"

namespace mg::testing {
namespace {

using Encrypt = HostTest;

const std::string kFipsKey = Unhex("000102030405060708090a0b0c0d0e0f");
const std::string kFipsPlain = Unhex("00112233445566778899aabbccddeeff");

TEST_F(Encrypt, Aes128KnownAnswerThroughTheWholeStack) {
    // FIPS-197 Appendix C.1: type 0 gives a 16-byte key, the block must be asked for.
    const std::string c = Bytes("ENCRYPT", {C(kFipsPlain), C(kFipsKey), I(0), I(0), I(0), I(16), I(16)});
    EXPECT_EQ(Hex(c), "69c4e0d86a7b0430d8cdb78070b4c55a");
    EXPECT_EQ(Bytes("DECRYPT", {C(c), C(kFipsKey), I(0), I(0), I(0), I(16), I(16)}), kFipsPlain);
    // Without nBlockSize the block is 32 bytes; without nKeySize type 0 means a 16-byte key.
    const std::string twoBlocks = kFipsPlain + kFipsPlain;
    const std::string alone = Bytes("ENCRYPT", {C(twoBlocks), C(kFipsKey), I(0)});
    EXPECT_EQ(alone.size(), 32u);
    EXPECT_EQ(alone, Bytes("ENCRYPT", {C(twoBlocks), C(kFipsKey), I(0), I(0), I(0), I(16), I(32)}));
}

TEST_F(Encrypt, PaddingIsAddedOnlyToPartialBlocks) {
    EXPECT_EQ(Bytes("ENCRYPT", {C(std::string(32, 'a')), C("key")}).size(), 32u);
    // 100 bytes, one-byte key, type 2, CBC, count padding: 128 bytes ending in 28 bytes of 28.
    const std::string data = Pattern(100);
    const std::string c = Bytes("ENCRYPT", {C(data), C("K"), I(2), I(1), I(2)});
    ASSERT_EQ(c.size(), 128u);
    EXPECT_EQ(Bytes("DECRYPT", {C(c), C("K"), I(2), I(1), I(2)}), data + std::string(28, '\x1c'));
    // Blowfish and TEA ignore key and block size and work on 8-byte blocks.
    for (int type : {4, 8}) {
        const std::string c8 = Bytes("ENCRYPT", {C("hello"), C("key"), I(type), I(1), I(2), I(16), I(16)});
        ASSERT_EQ(c8.size(), 8u) << type;
        EXPECT_EQ(c8, Bytes("ENCRYPT", {C("hello"), C("key"), I(type), I(1), I(2), I(32), I(32)}));
        EXPECT_EQ(Bytes("DECRYPT", {C(c8), C("key"), I(type), I(1), I(2)}), std::string("hello\3\3\3", 8))
            << "DECRYPT returns the padding bytes as they are";
    }
}

TEST_F(Encrypt, IvIsZeroExtendedToTheBlock) {
    auto withIv = [&](const std::string& iv) {
        return Bytes("ENCRYPT", {C(std::string(64, 'd')), C("key"), I(2), I(1), I(0), I(32), I(32), C(iv)});
    };
    EXPECT_EQ(withIv("12345678"), withIv("12345678" + std::string(24, '\0')));
    EXPECT_EQ(withIv(""), Bytes("ENCRYPT", {C(std::string(64, 'd')), C("key"), I(2), I(1)})) << "an empty IV is all zeros";
}

TEST_F(Encrypt, Rc4WorksInPlaceAndIsItsOwnInverse) {
    const std::string data = "Plaintext";
    const std::string c = Bytes("ENCRYPT", {C(data), C("Key"), I(1024)});
    EXPECT_EQ(Hex(c), "bbf316e8d940af0ad3");  // the widely published pair: key "Key", "Plaintext"
    EXPECT_EQ(Bytes("DECRYPT", {C(data), C("Key"), I(1024)}), c);
    EXPECT_EQ(Bytes("DECRYPT", {C(c), C("Key"), I(1024), I(3), I(4), I(7), I(9), C("iv")}), data);
    EXPECT_EQ(Bytes("ENCRYPT", {C(""), C("Key"), I(1024)}), "");
}

TEST_F(Encrypt, ErrorsThatArgumentsCanCause) {
    EXPECT_EQ(Error("ENCRYPT", {C("data"), C("")}), "FileCrypt ERROR: Key Data Length should be > 0!");
    EXPECT_EQ(Error("DECRYPT", {C("data"), C(""), I(4)}), "FileCrypt ERROR: Key Data Length should be > 0!");
    EXPECT_EQ(Error("ENCRYPT", {C(""), C("key")}), "Illegal Block Size!");
    EXPECT_EQ(Error("DECRYPT", {C(""), C("key"), I(4)}), "Illegal Block Size!");
    EXPECT_EQ(Error("DECRYPT", {C(std::string(33, 'x')), C("key")}), "Illegal Block Size!");
    EXPECT_EQ(Error("DECRYPT", {C(std::string(12, 'x')), C("key"), I(8)}), "Illegal Block Size!");
    // An empty RC4 key is refused instead of running the key schedule over nothing.
    EXPECT_EQ(Error("ENCRYPT", {C("data"), C(""), I(1024)}), "FileCrypt ERROR: Key Data Length should be > 0!");
    EXPECT_EQ(Error("DECRYPT", {C("data"), C(""), I(1024)}), "FileCrypt ERROR: Key Data Length should be > 0!");
}

class EncryptFile : public HostTest {
protected:
    TempDir dir;

    std::string Name(const std::string& file) const { return dir.File(file); }
    void Write(const std::string& file, const std::string& bytes) const { WriteFile(Name(file), bytes); }
    std::string Read(const std::string& file) const { return ReadFile(Name(file)); }
    bool Exists(const std::string& file) const { return std::filesystem::exists(Name(file)); }

    // Runs a file function that must succeed and return nothing.
    void Run(const std::string& function, const std::string& in, const std::string& out, std::vector<Value> tail) {
        std::vector<Value> args = {C(Name(in)), C(Name(out))};
        args.insert(args.end(), tail.begin(), tail.end());
        const CallResult r = host.Call(function, args);
        ASSERT_TRUE(r.ok()) << function << ": error " << r.error << " " << r.message;
        EXPECT_EQ(r.value.kind, Value::Kind::None) << function << " returned a value";
    }
};

TEST_F(EncryptFile, BodyIsWhatEncryptGivesWithTheSameArguments) {
    // Below one chunk and with count padding, the body is ENCRYPT's result: this
    // pins every argument position and makes ENCRYPT's settings rules theirs.
    const std::string data = Pattern(100);
    Write("plain", data);
    const std::vector<std::vector<Value>> argumentSets = {
        {C("key"), I(2), I(1), I(2), I(24), I(16), C("an iv given here")},
        {C("key"), I(0), I(2), I(2)},
        {C("key"), I(4), I(1), I(2), I(16), I(16), C("iv:8byte")},
        {C("key"), I(8), I(3), I(2), I(0), I(0), C("tea iv..")},
        {C("key"), I(INT32_MIN), I(9), I(2), I(INT32_MAX), I(20)},
    };
    for (const auto& tail : argumentSets) {
        Run("ENCRYPTFILE", "plain", "enc", tail);
        std::vector<Value> args = {C(data)};
        args.insert(args.end(), tail.begin(), tail.end());
        const std::string file = Read("enc");
        ASSERT_GE(file.size(), 32u);
        EXPECT_EQ(file.substr(32), Bytes("ENCRYPT", args));
        Run("DECRYPTFILE", "enc", "dec", tail);
        EXPECT_EQ(Read("dec"), data);
    }
}

TEST_F(EncryptFile, Rc4KeepsTheLengthAndTakesTheKeyUpToItsFirstZero) {
    const std::string data = Pattern(1000);
    Write("plain", data);
    Run("ENCRYPTFILE", "plain", "enc", {C(std::string("ab\0cd", 5)), I(1024), I(3), I(4)});
    EXPECT_EQ(Read("enc").size(), data.size());
    Run("DECRYPTFILE", "enc", "dec", {C("ab"), I(1024)});
    EXPECT_EQ(Read("dec"), data);
}

TEST_F(EncryptFile, NamesAreTakenExactly) {
    Write("plain", Pattern(50));
    // Trailing blanks belong to the name (Windows itself drops them).
    Run("ENCRYPTFILE", "plain", "enc ", {C("k")});
    EXPECT_TRUE(Exists("enc "));
#ifndef _WIN32
    EXPECT_FALSE(Exists("enc"));
#endif
    Run("DECRYPTFILE", "enc ", "dec  ", {C("k")});
    EXPECT_EQ(Read("dec  "), Pattern(50));
}

// The file errors' texts are pinned in tests/cipher; this one comes from the arguments.
TEST_F(EncryptFile, AnEmptyKeyIsRefused) {
    Write("plain", Pattern(50));
    const std::string message = "FileCrypt ERROR: Key Data Length should be > 0!";
    EXPECT_EQ(Error("ENCRYPTFILE", {C(Name("plain")), C(Name("out")), C("")}), message);
    EXPECT_EQ(Error("ENCRYPTFILE", {C(Name("plain")), C(Name("out")), C(""), I(1024)}), message);
    EXPECT_EQ(Error("DECRYPTFILE", {C(Name("plain")), C(Name("out")), C(std::string(3, '\0')), I(1024)}), message)
        << "a key text that starts with a zero byte is empty";
    EXPECT_FALSE(Exists("out"));
}

}  // namespace
}  // namespace mg::testing
