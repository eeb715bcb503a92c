// ENCRYPTFILE and DECRYPTFILE as the host calls them: argument positions, the
// settings rules they share with ENCRYPT, names used as given, no value back.
#include <filesystem>
#include <limits>

#include "host_fixture.h"

namespace mg::testing {
namespace {

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
    // Below one chunk and with count padding (mode 2), the body is ENCRYPT's
    // result: this pins every argument position, the IV's included, and makes
    // the settings rules of ENCRYPT (defaults, ranges, sizes ignored by
    // Blowfish and TEA) those of the file functions.
    constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
    constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
    const std::string data = Pattern(100);
    Write("plain", data);
    const std::vector<std::vector<Value>> argumentSets = {
        {C("key"), I(2), I(1), I(2), I(24), I(16), C("an iv given here")},
        {C("key"), I(0), I(2), I(2)},
        {C("key"), I(4), I(1), I(2), I(16), I(16), C("iv:8byte")},
        {C("key"), I(8), I(3), I(2), I(0), I(0), C("tea iv..")},
        {C("key"), I(kMin), I(9), I(2), I(kMax), I(20)},
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
    // Up to one chunk the file form is the in-memory cipher.
    Write("short", data.substr(0, 384));
    Run("ENCRYPTFILE", "short", "short.enc", {C("ab"), I(1024)});
    EXPECT_EQ(Read("short.enc"), Bytes("ENCRYPT", {C(data.substr(0, 384)), C("ab"), I(1024)}));
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

TEST_F(EncryptFile, ErrorsReachTheHostWithTheirTexts) {
    Write("plain", Pattern(50));
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
    EXPECT_EQ(Read("plain"), Pattern(50));

    Run("ENCRYPTFILE", "plain", "enc", {C("right")});
    Write("existing", "keep me");
    EXPECT_EQ(Error("DECRYPTFILE", {C(Name("enc")), C(Name("existing")), C("wrong")}),
              "FileCrypt ERROR: File " + Name("enc") + " cannot be Correctly Decrypted!");
    EXPECT_EQ(Read("existing"), "keep me");
}

}  // namespace
}  // namespace mg::testing
