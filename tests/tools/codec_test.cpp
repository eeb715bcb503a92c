#include <gtest/gtest.h>

#include "tools/codec.h"

namespace mg::tool {
namespace {

// RFC 4648 section 10.
const struct {
    const char* plain;
    const char* base64;
} kRfc4648[] = {
    {"", ""},         {"f", "Zg=="},         {"fo", "Zm8="},         {"foo", "Zm9v"},
    {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
};

TEST(Codec, Base64Rfc4648VectorsAndBinaryRoundTrips) {
    for (const auto& v : kRfc4648) {
        EXPECT_EQ(ToBase64(v.plain), v.base64);
        EXPECT_EQ(FromBase64(v.base64), std::optional<std::string>(v.plain)) << v.base64;
    }
    std::string all;
    for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
    EXPECT_EQ(FromBase64(ToBase64(all)), std::optional<std::string>(all));
    EXPECT_EQ(FromHex(ToHex(all)), std::optional<std::string>(all));
    EXPECT_EQ(FromHex(ToHex(all, true)), std::optional<std::string>(all));
}

TEST(Codec, Base64RejectsWhatIsNotBase64) {
    EXPECT_EQ(FromBase64("Zm9v\nYmFy"), std::optional<std::string>("foobar"));
    for (const char* bad : {"Zm9", "Zm9v=", "Zg==Zg==", "Zm-v", "Z===", "===="}) {
        EXPECT_FALSE(FromBase64(bad).has_value()) << bad;
    }
}

TEST(Codec, HexAcceptsBlanksBetweenPairsOnly) {
    EXPECT_EQ(FromHex("00 ff\n0A"), std::optional<std::string>(std::string("\x00\xff\x0a", 3)));
    EXPECT_FALSE(FromHex("0 0").has_value());
    EXPECT_FALSE(FromHex("abc").has_value());
    EXPECT_FALSE(FromHex("0x00").has_value());
    EXPECT_EQ(FromHex(""), std::optional<std::string>(""));
}

}  // namespace
}  // namespace mg::tool
