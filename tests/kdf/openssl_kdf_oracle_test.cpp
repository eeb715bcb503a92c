// PBKDF2 and HMAC against OpenSSL for every digest OpenSSL has.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <random>
#include <string>
#include <vector>

#include "digest/hmac.h"
#include "kdf/pbkdf2.h"
#include "tests/kdf/kdf_test_support.h"

namespace mg::test {
namespace {

struct OracleDigest {
    int hashType;
    const char* name;
};

// RIPEMD-128 is not in OpenSSL.
const OracleDigest kDigests[] = {{1, "SHA1"}, {2, "SHA256"}, {3, "SHA384"}, {4, "SHA512"}, {5, "MD5"}, {7, "RIPEMD160"}};

std::string RandomBytes(std::mt19937& rng, std::size_t n) {
    std::string s(n, '\0');
    for (auto& c : s) c = static_cast<char>(rng());
    return s;
}

TEST(OpenSslKdfOracle, Pbkdf2EveryDigest) {
    std::mt19937 rng(17);
    for (const auto& d : kDigests) {
        const EVP_MD* md = EVP_get_digestbyname(d.name);
        if (md == nullptr) {
            ADD_FAILURE() << d.name << " missing from OpenSSL";
            continue;
        }
        for (int round = 0; round < 12; ++round) {
            const std::string password = RandomBytes(rng, rng() % 200);
            const std::string salt = RandomBytes(rng, rng() % 40);
            const std::uint32_t iterations = 1 + rng() % 300;
            const std::size_t length = 1 + rng() % 200;
            std::vector<unsigned char> ours(length), theirs(length);
            Pbkdf2(d.hashType, U(password), password.size(), U(salt), salt.size(), iterations, ours.data(), length);
            ASSERT_EQ(PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()), U(salt),
                                        static_cast<int>(salt.size()), static_cast<int>(iterations), md,
                                        static_cast<int>(length), theirs.data()),
                      1);
            EXPECT_EQ(Hex(ours.data(), length), Hex(theirs.data(), length))
                << d.name << " password " << password.size() << " salt " << salt.size() << " c " << iterations;
        }
    }
}

TEST(OpenSslKdfOracle, HmacEveryDigestAndKeyLength) {
    std::mt19937 rng(18);
    for (const auto& d : kDigests) {
        const EVP_MD* md = EVP_get_digestbyname(d.name);
        if (md == nullptr) continue;
        CHmac hmac(d.hashType);
        for (std::size_t keyLength : {0, 1, 63, 64, 65, 127, 128, 129, 300}) {
            const std::string key = RandomBytes(rng, keyLength);
            const std::string message = RandomBytes(rng, rng() % 500);
            hmac.SetKey(U(key), key.size());
            unsigned char ours[64], theirs[64];
            unsigned int theirLength = 0;
            hmac.Update(U(message), message.size());
            hmac.Final(ours);
            HMAC(md, key.data(), static_cast<int>(key.size()), U(message), message.size(), theirs, &theirLength);
            ASSERT_EQ(hmac.Length(), theirLength);
            EXPECT_EQ(Hex(ours, theirLength), Hex(theirs, theirLength)) << d.name << " key " << keyLength;
        }
    }
}

}  // namespace
}  // namespace mg::test
