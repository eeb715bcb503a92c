// Differential tests against OpenSSL's libcrypto and, for RIPEMD-128 (which
// OpenSSL lacks), Crypto++.

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/provider.h>

#include <random>
#include <string>

#ifdef MG_HAVE_CRYPTOPP
#include <crypto++/ripemd.h>
#endif

#include "tests/digest/digest_test_support.h"

namespace mg::test {
namespace {

// RIPEMD-160 sits in the legacy provider on some OpenSSL 3 builds.
EVP_MD* FetchMd(const char* name) {
    EVP_MD* md = EVP_MD_fetch(nullptr, name, nullptr);
    if (md == nullptr) {
        OSSL_PROVIDER_load(nullptr, "legacy");
        OSSL_PROVIDER_load(nullptr, "default");
        md = EVP_MD_fetch(nullptr, name, nullptr);
    }
    return md;
}

std::string OpenSslHex(EVP_MD* md, const std::string& message) {
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int n = 0;
    if (EVP_Digest(message.data(), message.size(), out, &n, md, nullptr) != 1) return "(openssl failed)";
    return ToHex(out, n);
}

struct OracleCase {
    int type;
    const char* name;
};

const OracleCase kOpenSsl[] = {{kMd5, "MD5"},       {kSha1, "SHA1"},     {kSha256, "SHA256"},
                               {kSha384, "SHA384"}, {kSha512, "SHA512"}, {kRipemd160, "RIPEMD160"}};

// Every length up to three SHA-512 blocks, then random lengths up to 10 KiB,
// each message whole and then fed in random pieces (an empty one first).
template <class Oracle>
void CompareWithOracle(int type, const char* name, Oracle&& oracle, std::mt19937& random) {
    auto d = MakeDigest(type);
    for (std::size_t i = 0; i < 585; ++i) {
        const std::size_t n = i <= 384 ? i : random() % (10 * 1024 + 1);
        const std::string message = PseudoRandomBytes(n, static_cast<std::uint32_t>(random()));
        const std::string expected = oracle(message);
        ASSERT_EQ(DigestHex(*d, message), expected) << name << ", " << n << " bytes";
        d->AddData(U(message), 0);
        for (std::size_t pos = 0; pos < n;) {
            const std::size_t piece = std::min<std::size_t>(random() % 301, n - pos);
            d->AddData(U(message) + pos, static_cast<std::int32_t>(piece));
            pos += piece;
        }
        ASSERT_EQ(FinalHex(*d), expected) << name << ", " << n << " bytes in pieces";
    }
}

TEST(DigestOracle, MatchesOpenSsl) {
    std::mt19937 random(20240611);
    for (const OracleCase& c : kOpenSsl) {
        EVP_MD* md = FetchMd(c.name);
        ASSERT_NE(md, nullptr) << c.name;
        CompareWithOracle(c.type, c.name, [md](const std::string& m) { return OpenSslHex(md, m); }, random);
        EVP_MD_free(md);
    }
}

// More than 2^32 bits: the count must carry into its upper word.
TEST(DigestOracle, BitCountCarryLong) {
    const std::string piece = PseudoRandomBytes(1 << 20, 5);
    for (const OracleCase& c : {kOpenSsl[0], kOpenSsl[1]}) {
        EVP_MD* md = FetchMd(c.name);
        ASSERT_NE(md, nullptr);
        EVP_MD_CTX* ctx = EVP_MD_CTX_new();
        EVP_DigestInit_ex(ctx, md, nullptr);
        auto d = MakeDigest(c.type);
        for (int i = 0; i < 520; ++i) {
            EVP_DigestUpdate(ctx, piece.data(), piece.size());
            d->AddData(U(piece), static_cast<std::int32_t>(piece.size()));
        }
        unsigned char expected[EVP_MAX_MD_SIZE];
        unsigned int n = 0;
        EVP_DigestFinal_ex(ctx, expected, &n);
        EXPECT_EQ(FinalHex(*d), ToHex(expected, n)) << c.name;
        EVP_MD_CTX_free(ctx);
        EVP_MD_free(md);
    }
}

#ifdef MG_HAVE_CRYPTOPP
TEST(DigestOracle, Ripemd128MatchesCryptopp) {
    std::mt19937 random(77);
    const auto oracle = [](const std::string& m) {
        unsigned char expected[16];
        CryptoPP::RIPEMD128().CalculateDigest(expected, U(m), m.size());
        return ToHex(expected, 16);
    };
    CompareWithOracle(kRipemd128, "RIPEMD-128", oracle, random);
}
#endif

}  // namespace
}  // namespace mg::test
