// ENCRYPTFILE and DECRYPTFILE as the host calls them: argument positions, the
// settings rules they share with ENCRYPT, names used as given, no value back.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "host_fixture.h"

namespace mg::testing {
namespace {

class EncryptFile : public HostTest {
protected:
    std::filesystem::path dir;

    void SetUp() override {
        std::random_device rd;
        do {
            dir = std::filesystem::temp_directory_path() / ("mg_encryptfile_" + std::to_string(rd()) + std::to_string(rd()));
        } while (!std::filesystem::create_directory(dir));
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
        HostTest::TearDown();
    }

    std::string Name(const std::string& file) const { return (dir / file).string(); }
    void Write(const std::string& file, const std::string& bytes) const {
        std::ofstream(Name(file), std::ios::binary) << bytes;
    }
    std::string Read(const std::string& file) const {
        std::ifstream in(Name(file), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
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

std::string Data(std::size_t n) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>(i * 29 + 3);
    return s;
}

TEST_F(EncryptFile, BodyIsWhatEncryptGivesWithTheSameArguments) {
    // Below one chunk and with count padding (mode 2), the body is ENCRYPT's
    // result: this pins every argument position, the IV's included.
    const std::string data = Data(100);
    Write("plain", data);
    const std::vector<std::vector<Value>> argumentSets = {
        {C("key"), I(2), I(1), I(2), I(24), I(16), C("an iv given here")},
        {C("key"), I(0), I(2), I(2)},
        {C("key"), I(4), I(1), I(2), I(16), I(16), C("iv:8byte")},
        {C("key"), I(8), I(3), I(2), I(0), I(0), C("tea iv..")},
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

TEST_F(EncryptFile, SettingsFollowTheRulesOfEncrypt) {
    Write("plain", Data(33));
    // Seven arguments: no block size, so a 32-byte block.
    Run("ENCRYPTFILE", "plain", "enc", {C("k"), I(0), I(1), I(2), I(16)});
    EXPECT_EQ(Read("enc").size(), 32u + 64u);
    Run("ENCRYPTFILE", "plain", "enc16", {C("k"), I(0), I(1), I(2), I(16), I(16)});
    EXPECT_EQ(Read("enc16").size(), 32u + 48u);
    // Out-of-range numbers become the defaults, so the files are identical.
    Run("ENCRYPTFILE", "plain", "base", {C("k")});
    Run("ENCRYPTFILE", "plain", "odd", {C("k"), I(3), I(9), I(-1), I(7), I(20)});
    EXPECT_EQ(Read("odd"), Read("base"));
    // Blowfish and TEA ignore key and block size.
    Run("ENCRYPTFILE", "plain", "bf1", {C("k"), I(4), I(1), I(0), I(16), I(16)});
    Run("ENCRYPTFILE", "plain", "bf2", {C("k"), I(4), I(1), I(0), I(32), I(24)});
    EXPECT_EQ(Read("bf1"), Read("bf2"));
    EXPECT_EQ(Read("bf1").size(), 32u + 40u);
}

TEST_F(EncryptFile, Rc4KeepsTheLengthAndTakesTheKeyUpToItsFirstZero) {
    const std::string data = Data(1000);
    Write("plain", data);
    Run("ENCRYPTFILE", "plain", "enc", {C(std::string("ab\0cd", 5)), I(1024), I(3), I(4)});
    EXPECT_EQ(Read("enc").size(), data.size());
    Run("DECRYPTFILE", "enc", "dec", {C("ab"), I(1024)});
    EXPECT_EQ(Read("dec"), data);
    // Up to one chunk the file form is the in-memory cipher.
    Write("short", data.substr(0, 384));
    Run("ENCRYPTFILE", "short", "short.enc", {C("ab"), I(1024)});
    EXPECT_EQ(Read("short.enc"), Bytes("ENCRYPT", {C(data.substr(0, 384)), C("ab"), I(1024)}));
}

TEST_F(EncryptFile, NamesAreTakenExactly) {
    Write("plain", Data(50));
    // Trailing blanks belong to the name (Windows itself drops them).
    Run("ENCRYPTFILE", "plain", "enc ", {C("k")});
    EXPECT_TRUE(Exists("enc "));
#ifndef _WIN32
    EXPECT_FALSE(Exists("enc"));
#endif
    Run("DECRYPTFILE", "enc ", "dec  ", {C("k")});
    EXPECT_EQ(Read("dec  "), Data(50));
}

TEST_F(EncryptFile, ErrorsReachTheHostWithTheirTexts) {
    Write("plain", Data(50));
    const std::string plain = Name("plain");
    EXPECT_EQ(Error("ENCRYPTFILE", {C(plain), C(Name("out")), C("")}), "FileCrypt ERROR: Key Data Length should be > 0!");
    EXPECT_EQ(Error("ENCRYPTFILE", {C(plain), C(Name("out")), C(""), I(1024)}),
              "FileCrypt ERROR: Key Data Length should be > 0!");
    EXPECT_EQ(Error("DECRYPTFILE", {C(plain), C(Name("out")), C(std::string(3, '\0')), I(1024)}),
              "FileCrypt ERROR: Key Data Length should be > 0!")
        << "a key text that starts with a zero byte is empty";
    EXPECT_FALSE(Exists("out"));

    EXPECT_EQ(Error("ENCRYPTFILE", {C(plain), C(plain), C("k"), I(8)}),
              "FileCrypt ERROR: The same File for Input and Output " + plain + "!");
    EXPECT_EQ(Error("ENCRYPTFILE", {C(plain), C(Name("./plain")), C("k"), I(1024)}),
              "Input and Output files cannot be the same " + plain + "!");
    EXPECT_EQ(Read("plain"), Data(50));

    const std::string missing = Name("missing");
    EXPECT_EQ(Error("DECRYPTFILE", {C(missing), C(Name("out")), C("k"), I(4)}),
              "FileCrypt ERROR: Cannot open File " + missing + "!");

    Run("ENCRYPTFILE", "plain", "enc", {C("right")});
    Write("existing", "keep me");
    EXPECT_EQ(Error("DECRYPTFILE", {C(Name("enc")), C(Name("existing")), C("wrong")}),
              "FileCrypt ERROR: File " + Name("enc") + " cannot be Correctly Decrypted!");
    EXPECT_EQ(Read("existing"), "keep me");
}

}  // namespace
}  // namespace mg::testing
