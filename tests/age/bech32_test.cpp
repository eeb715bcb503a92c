// Bech32 against BIP 173's valid and invalid strings, and the age key
// encodings of age-encryption.org/v1.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "age/bech32.h"

namespace mg::age {
namespace {

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

TEST(Bech32, Bip173ValidStringsDecodeAndEncodeBack) {
    const std::string valid[] = {
        "11" + std::string(82, 'q') + "c8247j",
        "A12UEL5L",
        "a12uel5l",
        "an83characterlonghumanreadablepartthatcontainsthenumber1andtheexcludedcharactersbio1tt5tgs",
        "abcdef1qpzry9x8gf2tvdw0s3jn54khce6mua7lmqqqxw",
        
        "split1checkupstagehandshakeupstreamerranterredcaperred2y9e3w",
        "?1ezyfcl",
    };
    for (const std::string& text : valid) {
        std::string hrp;
        std::vector<unsigned char> data;
        EXPECT_TRUE(Bech32::Decode(text, hrp, data)) << text;
        EXPECT_EQ(Bech32::Encode(hrp, data), Lower(text));
    }
}

TEST(Bech32, Bip173InvalidStringsAreRefused) {
    const std::string invalid[] = {
        std::string("\x20") + "1nwldj5",  // a character outside the range
        std::string("\x7f") + "1axkwrx",
        std::string("\x80") + "1eym55h",
        "pzry9x0s0muk",  // no separator
        "1pzry9x0s0muk",  // empty human-readable part
        "x1b4n0q5v",      // b is not a data character
        "li1dgmt3",       // checksum too short
        std::string("de1lg7wt") + "\xff",
        "A1G7SGD8",  // checksum made over the upper-case text
        "10a06t8",
        "1qzzfhee",
        "a12UEL5L",  // mixed case
    };
    for (const std::string& text : invalid) {
        std::string hrp;
        std::vector<unsigned char> data;
        EXPECT_FALSE(Bech32::Decode(text, hrp, data)) << text;
    }
}

TEST(Bech32, AgeKeysHaveNoLengthLimitAndOneCase) {
    // The example identity of age-encryption.org/v1: 32 bytes of 0x42.
    std::string hrp;
    std::vector<unsigned char> data;
    ASSERT_TRUE(Bech32::Decode("AGE-SECRET-KEY-1GFPYYSJZGFPYYSJZGFPYYSJZGFPYYSJZGFPYYSJZGFPYYSJZGFPQ4EGAEX", hrp, data));
    EXPECT_EQ(hrp, "age-secret-key-");
    EXPECT_EQ(data, std::vector<unsigned char>(32, 0x42));
    // Longer than BIP 173's 90 characters.
    const std::vector<unsigned char> big(200, 0x5a);
    const std::string text = Bech32::Encode("age", big);
    ASSERT_GT(text.size(), 90u);
    ASSERT_TRUE(Bech32::Decode(text, hrp, data));
    EXPECT_EQ(data, big);
    // A non-zero padding bit is not a whole number of bytes.
    std::string changed = Bech32::Encode("age", {0xff});
    EXPECT_EQ(changed.size(), 3 + 1 + 2 + 6u);
}

}  // namespace
}  // namespace mg::age
