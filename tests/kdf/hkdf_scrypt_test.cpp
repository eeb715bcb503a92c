// HKDF-SHA-256 against RFC 5869 and scrypt against RFC 7914.
#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>

#include "kdf/hkdf.h"
#include "kdf/scrypt.h"
#include "kdf_test_support.h"

namespace mg::test {
namespace {

TEST(Hkdf, Rfc5869Sha256Cases) {
    struct Case {
        std::string ikm, salt, info;  // hex
        std::size_t length;
        const char* okm;
    };
    std::string ikm2, salt2, info2;
    for (int i = 0; i < 0x50; ++i) {
        ikm2 += Hex(std::string(1, static_cast<char>(i)));
        salt2 += Hex(std::string(1, static_cast<char>(0x60 + i)));
        info2 += Hex(std::string(1, static_cast<char>(0xb0 + i)));
    }
    const Case cases[] = {
        // A.1: the basic case.
        {"0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b", "000102030405060708090a0b0c",
         "f0f1f2f3f4f5f6f7f8f9", 42,
         "3cb25f25faacd57a90434f64d0362f2a2d2d0a90cf1a5a4c5db02d56ecc4c5bf34007208d5b887185865"},
        // A.2: long inputs and three output blocks.
        {ikm2, salt2, info2, 82,
         "b11e398dc80327a1c8e7f78c596a49344f012eda2d4efad8a050cc4c19afa97c59045a99cac7827271cb41c65e590e09da3275600c2f"
         "09b8367793a9aca3db71cc30c58179ec3e87c14c01d5c1f3434f1d87"},
        // A.3: empty salt and info.
        {"0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b", "", "", 42,
         "8da4e775a563c18f715f802a063c5a31b8a11f5c5ee1879ec3454e5f3c738d2d9d201395faa4b61a96c8"},
    };
    for (const Case& c : cases) {
        const std::string ikm = Unhex(c.ikm), salt = Unhex(c.salt), info = Unhex(c.info);
        std::string out(c.length, '\0');
        HkdfSha256(U(ikm), ikm.size(), U(salt), salt.size(), U(info), info.size(),
                   reinterpret_cast<unsigned char*>(out.data()), out.size());
        EXPECT_EQ(Hex(out), c.okm);
    }
    unsigned char big[1];
    EXPECT_THROW(HkdfSha256(nullptr, 0, nullptr, 0, nullptr, 0, big, 255 * 32 + 1), std::invalid_argument);
}

TEST(Scrypt, Rfc7914Section12Vectors) {
    struct Case {
        std::string password, salt;
        unsigned logN;
        std::uint32_t r, p;
        const char* dk;
    };
    const Case cases[] = {
        {"", "", 4, 1, 1,
         "77d6576238657b203b19ca42c18a0497f16b4844e3074ae8dfdffa3fede21442fcd0069ded0948f8326a753a0fc81f17e8d3e0fb2e0d36"
         "28cf35e20c38d18906"},
        {"password", "NaCl", 10, 8, 16,
         "fdbabe1c9d3472007856e7190d01e9fe7c6ad7cbc8237830e77376634b3731622eaf30d92e22a3886ff109279d9830dac727afb94a83ee"
         "6d8360cbdfa2cc0640"},
        // 16 MiB of table: several pieces.
        {"pleaseletmein", "SodiumChloride", 14, 8, 1,
         "7023bdcb3afd7348461c06cd81fd38ebfda8fbba904f8e3ea9b543f6545da1f2d5432955613f0fcf62d49705242a9af9e61e85dc0d651e"
         "40dfcf017b45575887"},
    };
    for (const Case& c : cases) {
        unsigned char out[64];
        Scrypt(U(c.password), c.password.size(), U(c.salt), c.salt.size(), c.logN, c.r, c.p, out, sizeof out);
        EXPECT_EQ(Hex(out, sizeof out), c.dk) << c.password;
    }
}

TEST(Scrypt, ParametersOutsideTheAlgorithmAreRefused) {
    unsigned char out[32];
    EXPECT_THROW(Scrypt(nullptr, 0, nullptr, 0, 0, 8, 1, out, 32), std::invalid_argument);
    EXPECT_THROW(Scrypt(nullptr, 0, nullptr, 0, 10, 0, 1, out, 32), std::invalid_argument);
    EXPECT_THROW(Scrypt(nullptr, 0, nullptr, 0, 10, 1u << 15, 1u << 15, out, 32), std::invalid_argument);
    EXPECT_THROW(Scrypt(nullptr, 0, nullptr, 0, 32, 8, 1, out, 32), std::invalid_argument);
}

}  // namespace
}  // namespace mg::test
