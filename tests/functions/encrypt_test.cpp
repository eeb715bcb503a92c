// ENCRYPT and DECRYPT as the host calls them: argument rules, defaults and the
// errors that argument values can cause.
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

TEST_F(Encrypt, IvIsCutOrZeroExtendedToTheBlock) {
    auto withIv = [&](const std::string& iv) {
        return Bytes("ENCRYPT", {C(std::string(64, 'd')), C("key"), I(2), I(1), I(0), I(32), I(32), C(iv)});
    };
    EXPECT_EQ(withIv("12345678"), withIv("12345678" + std::string(24, '\0')));
    EXPECT_EQ(withIv(std::string(40, 'v')), withIv(std::string(32, 'v')));
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

TEST_F(Encrypt, RoundTripsForEveryCipherModeAndPadding) {
    const std::string data = Pattern(301);
    for (int type : {0, 1, 2, 4, 8}) {
        for (int mode = 0; mode < 4; ++mode) {
            for (int padding = 0; padding < 5; ++padding) {
                for (int block : {16, 24, 32}) {
                    const int keySize = type == 0 ? 16 : type == 1 ? 24 : 32;
                    std::vector<Value> args = {C(data), C("a key"), I(type), I(mode), I(padding),
                                               I(keySize), I(block), C("an iv of some length")};
                    const std::string c = Bytes("ENCRYPT", args);
                    ASSERT_EQ(c.size() % ((type == 4 || type == 8) ? 8 : block), 0u);
                    args[0] = C(c);
                    const std::string p = Bytes("DECRYPT", args);
                    ASSERT_EQ(p.substr(0, data.size()), data) << type << " " << mode << " " << padding << " " << block;
                }
            }
        }
    }
}

}  // namespace
}  // namespace mg::testing
