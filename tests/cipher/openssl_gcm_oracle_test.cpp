// AES-GCM against OpenSSL's EVP AES-GCM, both ways: what we seal OpenSSL
// opens, and what OpenSSL seals with a 96-bit nonce we open, on every tier.
#include <openssl/evp.h>

#include <algorithm>
#include <random>
#include <stdexcept>

#include <gtest/gtest.h>

#include "cipher/aes_gcm.h"
#include "cipher_test_util.h"

namespace mg {
namespace {

using namespace test;

const EVP_CIPHER* Type(std::size_t keyLength)
{
    return keyLength == 16 ? EVP_aes_128_gcm() : keyLength == 24 ? EVP_aes_192_gcm() : EVP_aes_256_gcm();
}

// Seals (tag written) or opens (false when OpenSSL refuses the tag).
bool EvpGcm(bool seal, const Bytes& key, const Bytes& nonce, const Bytes& aad, const Bytes& in, Bytes& out,
            Bytes& tag)
{
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    out.assign(in.size(), 0);
    int n = 0;
    bool ok = EVP_CipherInit_ex(ctx, Type(key.size()), nullptr, key.data(), nonce.data(), seal ? 1 : 0) == 1 &&
              (aad.empty() || EVP_CipherUpdate(ctx, nullptr, &n, aad.data(), static_cast<int>(aad.size())) == 1) &&
              (in.empty() || EVP_CipherUpdate(ctx, out.data(), &n, in.data(), static_cast<int>(in.size())) == 1);
    if (!ok) {
        EVP_CIPHER_CTX_free(ctx);
        throw std::runtime_error("OpenSSL refused the request");
    }
    if (!seal) EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_GCM_SET_TAG, 16, tag.data());
    unsigned char end[16];
    ok = EVP_CipherFinal_ex(ctx, end, &n) == 1;
    if (seal && ok) EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_GCM_GET_TAG, 16, tag.data());
    EVP_CIPHER_CTX_free(ctx);
    return ok;
}

TEST(OpenSslOracle, AesGcmBothWaysOnEveryTier)
{
    std::mt19937 rng(1996);
    std::vector<std::size_t> lengths;
    // Every length from 0 to a few blocks past the widest step (32 blocks), then a mebibyte.
    for (std::size_t n = 0; n <= 16 * 37; ++n) lengths.push_back(n);
    for (int i = 0; i < 20; ++i) lengths.push_back(rng() % 20000);
    lengths.push_back(std::size_t{1} << 20);
    for (std::int32_t limit : {0, 1, 3}) {
        for (std::size_t len : lengths) {
            const Bytes key = RandomBytes(rng, 16 + 8 * (rng() % 3)), nonce = RandomBytes(rng, 12);
            const Bytes aad = RandomBytes(rng, rng() % 3 == 0 ? 0 : rng() % 300);
            const Bytes plain = RandomBytes(rng, len);
            CAesGcm gcm;
            gcm.SetAccelLimit(limit);
            gcm.Initialize(key.data(), key.size());
            const std::string what = "tier " + std::to_string(gcm.Accel()) + ", " + std::to_string(len) +
                                     " bytes, aad " + std::to_string(aad.size()) + ", key " +
                                     std::to_string(key.size());

            Bytes ours(len), tag(16), opened;
            gcm.Seal(nonce.data(), aad.data(), aad.size(), plain.data(), len, ours.data(), tag.data());
            ASSERT_TRUE(EvpGcm(false, key, nonce, aad, ours, opened, tag)) << what;
            ASSERT_EQ(opened, plain) << what;

            Bytes theirs, theirTag(16), back(len);
            ASSERT_TRUE(EvpGcm(true, key, nonce, aad, plain, theirs, theirTag));
            ASSERT_TRUE(gcm.Open(nonce.data(), aad.data(), aad.size(), theirs.data(), len, theirTag.data(),
                                 back.data()))
                << what;
            ASSERT_EQ(back, plain) << what;
        }
    }
}

}  // namespace
}  // namespace mg
