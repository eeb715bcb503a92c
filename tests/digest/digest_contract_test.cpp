// The incremental contract shared by the digests, and the file digest.

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/cipher/cipher_test_util.h"
#include "tests/digest/digest_test_support.h"
#include "tests/hostsim/temp_dir.h"

namespace mg::test {
namespace {

const int kAllTypes[] = {kSha1, kSha256, kSha384, kSha512, kMd5, kRipemd128, kRipemd160};

const char* const kClassOf[] = {"", "CSHA", "CSHA", "CSHA", "CSHA", "CMD5", "CRIPEMD", "CRIPEMD"};

// FinalDigest writes exactly the digest, resets, and refuses to finish a
// message no data was added to, leaving the output alone.
TEST(DigestContract, FinalDigestWritesOnceThenResets) {
    for (int type : kAllTypes) {
        auto d = MakeDigest(type);
        const std::string expected =
            std::string("FileDigest ERROR: in ") + kClassOf[type] + "::FinalDigest(), No data Added before call!";
        const auto n = static_cast<std::size_t>(d->DigestLength());
        unsigned char out[80];
        EXPECT_EQ(ErrorOf([&] { d->FinalDigest(out); }), expected) << HashName(type);
        std::memset(out, 0xEE, sizeof out);
        d->AddData(U(std::string("first message")), 13);
        d->FinalDigest(out);
        EXPECT_EQ(ToHex(out, n), DigestHex(type, "first message")) << HashName(type);
        for (std::size_t i = n; i < sizeof out; ++i) ASSERT_EQ(out[i], 0xEE) << HashName(type) << " byte " << i;
        // No explicit Reset between the two messages.
        d->AddData(U(std::string("second")), 6);
        EXPECT_EQ(FinalHex(*d), DigestHex(type, "second")) << HashName(type);
        std::memset(out, 0x5A, sizeof out);
        EXPECT_EQ(ErrorOf([&] { d->FinalDigest(out); }), expected) << HashName(type) << " second call";
        for (unsigned char b : out) ASSERT_EQ(b, 0x5A);
        // Reset drops added data, the empty AddData counts as data.
        d->AddData(U(std::string("x")), 1);
        d->Reset();
        EXPECT_EQ(ErrorOf([&] { d->FinalDigest(out); }), expected) << HashName(type) << " after Reset";
        d->AddData(nullptr, 0);
        EXPECT_EQ(FinalHex(*d), DigestHex(type, ""));
    }
}

TEST(DigestContract, NegativeLengthIsRefusedAndChangesNothing) {
    for (int type : kAllTypes) {
        auto d = MakeDigest(type);
        const std::string expected =
            std::string("FileDigest ERROR: in ") + kClassOf[type] + "::AddData(), Data Length should be >= 0!";
        const std::string data = PseudoRandomBytes(100, 3);
        // On a fresh object the refused call must not count as data.
        EXPECT_EQ(ErrorOf([&] { d->AddData(U(data), -1); }), expected) << HashName(type);
        EXPECT_FALSE(d->DataAdded());
        d->AddData(U(data), 70);
        EXPECT_EQ(ErrorOf([&] { d->AddData(U(data) + 70, -1); }), expected) << HashName(type);
        d->AddData(U(data) + 70, 30);
        EXPECT_EQ(FinalHex(*d), DigestHex(type, data)) << HashName(type);
    }
}

TEST(DigestContract, IllegalMethodsAreRefused) {
    EXPECT_EQ(ErrorOf([] { CSHA d(4); }), "FileDigest ERROR: in CSHA() Constructor, Illegal Method 4!");
    EXPECT_EQ(ErrorOf([] { CSHA d(-1); }), "FileDigest ERROR: in CSHA() Constructor, Illegal Method -1!");
    EXPECT_EQ(ErrorOf([] { CRIPEMD d(2); }), "FileDigest ERROR: in CRIPEMD() Constructor, Illegal Method 2!");
    EXPECT_EQ(ErrorOf([] { CRIPEMD d(-7); }), "FileDigest ERROR: in CRIPEMD() Constructor, Illegal Method -7!");
}

// DigestFile must equal AddData over the whole contents, across the reader's
// chunk (384) and half-buffer (512) boundaries.
TEST(DigestFile, MatchesDigestOfContents) {
    const std::size_t sizes[] = {0, 1, 383, 384, 385, 512, 767, 768, 1024, 1025, 1536, 1920, 3 * 1024 * 1024 + 7};
    mg::testing::TempDir dir;
    const std::string path = dir.File("contents.bin");
    for (std::size_t size : sizes) {
        const std::string contents = PseudoRandomBytes(size, static_cast<std::uint32_t>(size));
        mg::testing::Spill(path, contents);
        for (int type : kAllTypes) {
            auto d = MakeDigest(type);
            // Data left in the object must not leak into the file digest.
            d->AddData(U(std::string("stale")), 5);
            unsigned char out[64];
            d->DigestFile(path, out);
            EXPECT_EQ(ToHex(out, static_cast<std::size_t>(d->DigestLength())), DigestHex(type, contents))
                << HashName(type) << ", " << size << " bytes";
        }
    }
}

// Neither a missing file nor a folder (which opens on some systems and then
// fails on the first read) may give a digest, and the output stays as it was.
TEST(DigestFile, UnreadableIsAnErrorAndLeavesOutputUntouched) {
    mg::testing::TempDir dir;
    const std::string missing = dir.File("absent.bin");
    const std::string folder = dir.File("");
#ifdef _WIN32
    const std::string folderFailure = "Cannot open File ";
#else
    const std::string folderFailure = "Cannot read File ";
#endif
    const std::string prefix = "FileDigest ERROR: in IMessageDigest::DigestFile(): ";
    CMD5 d;
    unsigned char out[16];
    std::memset(out, 0x44, sizeof out);
    EXPECT_EQ(ErrorOf([&] { d.DigestFile(missing, out); }), prefix + "Cannot open File " + missing + "!");
    EXPECT_EQ(ErrorOf([&] { d.DigestFile(folder, out); }), prefix + folderFailure + folder + "!");
    for (unsigned char b : out) ASSERT_EQ(b, 0x44);
}

}  // namespace
}  // namespace mg::test
