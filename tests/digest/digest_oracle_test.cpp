// Differential tests against OpenSSL's libcrypto and, for RIPEMD-128 (which
// OpenSSL lacks), Crypto++.

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/provider.h>

#include <random>
#include <string>
#include <vector>

#ifdef MG_HAVE_CRYPTOPP
#include <crypto++/ripemd.h>
#endif

#include "tests/digest/digest_test_support.h"

namespace mg::test {
namespace {

const unsigned char* U(const std::string& s) { return reinterpret_cast<const unsigned char*>(s.data()); }

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
// each fed in random pieces.
std::vector<std::size_t> Lengths(std::mt19937& random) {
    std::vector<std::size_t> lengths;
    for (std::size_t n = 0; n <= 384; ++n) lengths.push_back(n);
    std::uniform_int_distribution<std::size_t> pick(0, 10 * 1024);
    for (int i = 0; i < 200; ++i) lengths.push_back(pick(random));
    return lengths;
}

std::string DigestInPieces(IMessageDigest& d, const std::string& message, std::mt19937& random) {
    std::uniform_int_distribution<std::size_t> piece(0, 300);
    std::size_t pos = 0;
    d.Reset();
    do {
        const std::size_t n = std::min(piece(random), message.size() - pos);
        d.AddData(U(message) + pos, static_cast<std::int32_t>(n));
        pos += n;
    } while (pos < message.size());
    unsigned char out[64];
    d.FinalDigest(out);
    return ToHex(out, static_cast<std::size_t>(d.DigestLength()));
}

TEST(DigestOracle, MatchesOpenSsl) {
    std::mt19937 random(20240611);
    const std::vector<std::size_t> lengths = Lengths(random);
    for (const OracleCase& c : kOpenSsl) {
        EVP_MD* md = FetchMd(c.name);
        ASSERT_NE(md, nullptr) << c.name;
        auto d = MakeDigest(c.type);
        for (std::size_t n : lengths) {
            const std::string message = PseudoRandomBytes(n, static_cast<std::uint32_t>(random()));
            const std::string expected = OpenSslHex(md, message);
            ASSERT_EQ(DigestHex(*d, message), expected) << c.name << ", " << n << " bytes";
            ASSERT_EQ(DigestInPieces(*d, message, random), expected) << c.name << ", " << n << " bytes in pieces";
        }
        EVP_MD_free(md);
    }
}

TEST(DigestOracle, FileDigestMatchesOpenSsl) {
    const std::string contents = PseudoRandomBytes(5 * 1024 * 1024 + 123, 99);
    ScratchFile file(contents);
    for (const OracleCase& c : kOpenSsl) {
        EVP_MD* md = FetchMd(c.name);
        ASSERT_NE(md, nullptr) << c.name;
        auto d = MakeDigest(c.type);
        unsigned char out[64];
        d->DigestFile(file.Path(), out);
        EXPECT_EQ(ToHex(out, static_cast<std::size_t>(d->DigestLength())), OpenSslHex(md, contents)) << c.name;
        EVP_MD_free(md);
    }
}

// More than 2^32 bits: the count must carry into its upper word.
TEST(DigestOracle, BitCountCarryLong) {
    const std::string piece = PseudoRandomBytes(1 << 20, 5);
    const int pieces = 520;
    for (const OracleCase& c : {kOpenSsl[0], kOpenSsl[1]}) {
        EVP_MD* md = FetchMd(c.name);
        ASSERT_NE(md, nullptr);
        EVP_MD_CTX* ctx = EVP_MD_CTX_new();
        EVP_DigestInit_ex(ctx, md, nullptr);
        auto d = MakeDigest(c.type);
        for (int i = 0; i < pieces; ++i) {
            EVP_DigestUpdate(ctx, piece.data(), piece.size());
            d->AddData(U(piece), static_cast<std::int32_t>(piece.size()));
        }
        unsigned char expected[EVP_MAX_MD_SIZE];
        unsigned int n = 0;
        EVP_DigestFinal_ex(ctx, expected, &n);
        unsigned char out[64];
        d->FinalDigest(out);
        EXPECT_EQ(ToHex(out, static_cast<std::size_t>(d->DigestLength())), ToHex(expected, n)) << c.name;
        EVP_MD_CTX_free(ctx);
        EVP_MD_free(md);
    }
}

#ifdef MG_HAVE_CRYPTOPP
TEST(DigestOracle, Ripemd128MatchesCryptopp) {
    std::mt19937 random(77);
    CRIPEMD d(0);
    for (std::size_t n : Lengths(random)) {
        const std::string message = PseudoRandomBytes(n, static_cast<std::uint32_t>(random()));
        CryptoPP::RIPEMD128 oracle;
        unsigned char expected[16];
        oracle.CalculateDigest(expected, U(message), message.size());
        ASSERT_EQ(DigestHex(d, message), ToHex(expected, 16)) << n << " bytes";
        ASSERT_EQ(DigestInPieces(d, message, random), ToHex(expected, 16)) << n << " bytes in pieces";
    }
}
#endif

}  // namespace
}  // namespace mg::test
