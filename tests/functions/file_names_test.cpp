// File names as the host passes them: bytes in the system's code page (the
// ANSI code page on Windows; on Linux, UTF-8 by convention), with spaces and
// accented letters, reach the right file in every file function.
#ifdef _WIN32
#include <windows.h>
#endif

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

#include "tests/functions/host_fixture.h"

namespace mg::testing {
namespace {

namespace fs = std::filesystem;

// One file name two ways: as the host spells it, and as this program opens it.
struct Name {
    std::string host;
    fs::path path;
};

class AccentedFileNames : public HostTest {
protected:
    TempDir dir;

    // "café <stem>.bin" in the folder, or nothing where the code page has no é.
    std::optional<Name> Accented(const std::string& stem) const {
        const std::string folder = dir.File("");
#ifdef _WIN32
        const std::wstring wide = L"caf\u00e9 " + std::wstring(stem.begin(), stem.end()) + L".bin";
        char bytes[MAX_PATH];
        BOOL lossy = FALSE;
        const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(), -1, bytes, sizeof bytes,
                                          nullptr, &lossy);
        if (n <= 0 || lossy) return std::nullopt;
        return Name{folder + bytes, fs::path(folder) / wide};
#else
        const std::string utf8 = "caf\xc3\xa9 " + stem + ".bin";
        return Name{folder + utf8, fs::path(folder) / utf8};
#endif
    }

    static void Put(const fs::path& path, const std::string& bytes) {
        std::ofstream out(path, std::ios::binary);
        out << bytes;
    }
    static std::string Get(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
};

TEST_F(AccentedFileNames, AccentedNamesWithSpacesReachTheirFiles) {
    const auto plain = Accented("plain"), sealed = Accented("encrypted"), back = Accented("decrypted");
    if (!plain || !sealed || !back) GTEST_SKIP() << "the ANSI code page has no letter e with acute accent";
    const std::string contents = Pattern(1000);
    Put(plain->path, contents);

    const std::vector<Value> cipher = {C("key"), I(1), I(1), I(2)};
    std::vector<Value> args = {C(plain->host), C(sealed->host)};
    args.insert(args.end(), cipher.begin(), cipher.end());
    ASSERT_TRUE(host.Call("ENCRYPTFILE", args).ok());
    EXPECT_EQ(Get(sealed->path).size(), 32u + 1024u) << "header and the body in 32-byte blocks";

    args = {C(sealed->host), C(back->host)};
    args.insert(args.end(), cipher.begin(), cipher.end());
    ASSERT_TRUE(host.Call("DECRYPTFILE", args).ok());
    EXPECT_EQ(Get(back->path), contents);

    EXPECT_EQ(Bytes("HASHFILE", {C(plain->host), I(2)}), Bytes("HASH", {C(contents), I(2)}));
    EXPECT_EQ(Returned("CRCFILE", {C(plain->host)}).number, Returned("CRC", {C(contents)}).number);
}

TEST_F(AccentedFileNames, AnAccentedNameThatOpensNothingIsReported) {
    const auto absent = Accented("absent"), out = Accented("out");
    if (!absent || !out) GTEST_SKIP() << "the ANSI code page has no letter e with acute accent";
    EXPECT_EQ(Error("ENCRYPTFILE", {C(absent->host), C(out->host), C("key")}),
              "FileCrypt ERROR: Cannot open File " + absent->host + "!");
    EXPECT_FALSE(fs::exists(out->path)) << "no output for an input that cannot be opened";
    EXPECT_NE(Error("HASHFILE", {C(absent->host)}).find("Cannot open File " + absent->host + "!"), std::string::npos);
    EXPECT_EQ(Returned("CRCFILE", {C(absent->host)}).number, 0.0);
}

}  // namespace
}  // namespace mg::testing
