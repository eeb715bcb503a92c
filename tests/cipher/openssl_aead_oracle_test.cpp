// ChaCha20-Poly1305 and X25519 against OpenSSL's libcrypto on random inputs:
// every length class of the AEAD (partial blocks, the vector batch sizes,
// several 64 KiB chunks) on each implementation tier, and key agreement with
// random scalars and points.
#include <openssl/evp.h>

#include <memory>
#include <random>

#include <gtest/gtest.h>

#include "cipher/chacha20_poly1305.h"
#include "cipher/x25519.h"
#include "cipher_test_util.h"

namespace mg {
namespace {

using namespace test;

Bytes Random(std::mt19937& g, std::size_t n) {
    Bytes b(n);
    for (auto& x : b) x = static_cast<unsigned char>(g());
    return b;
}

Bytes OpenSslSeal(const Bytes& key, const Bytes& nonce, const Bytes& aad, const Bytes& plain) {
    std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
    Bytes out(plain.size() + 16);
    int n = 0;
    EXPECT_EQ(EVP_EncryptInit_ex(ctx.get(), EVP_chacha20_poly1305(), nullptr, key.data(), nonce.data()), 1);
    if (!aad.empty()) {
        EXPECT_EQ(EVP_EncryptUpdate(ctx.get(), nullptr, &n, aad.data(), static_cast<int>(aad.size())), 1);
    }
    EXPECT_EQ(EVP_EncryptUpdate(ctx.get(), out.data(), &n, plain.data(), static_cast<int>(plain.size())), 1);
    EXPECT_EQ(EVP_EncryptFinal_ex(ctx.get(), out.data() + n, &n), 1);
    EXPECT_EQ(EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_AEAD_GET_TAG, 16, out.data() + plain.size()), 1);
    return out;
}

TEST(OpenSslAead, ChaCha20Poly1305MatchesOnRandomInputs) {
    std::mt19937 g(20261208);
    for (std::size_t n : {0u, 1u, 15u, 16u, 17u, 63u, 64u, 65u, 255u, 256u, 257u, 511u, 512u, 513u, 1000u, 65536u, 200000u}) {
        const Bytes key = Random(g, 32), nonce = Random(g, 12), aad = Random(g, n % 37), plain = Random(g, n);
        const Bytes expected = OpenSslSeal(key, nonce, aad, plain);
        const CChaCha20Poly1305 aead(key.data());
        Bytes sealed(n + 16);
        aead.Seal(nonce.data(), aad.data(), aad.size(), plain.data(), n, sealed.data());
        EXPECT_EQ(sealed, expected) << n;
        Bytes opened(n);
        EXPECT_TRUE(aead.Open(nonce.data(), aad.data(), aad.size(), expected.data(), expected.size(), opened.data())) << n;
        EXPECT_EQ(opened, plain) << n;
    }
}

TEST(OpenSslAead, X25519AgreesOnRandomKeys) {
    std::mt19937 g(7748);
    for (int i = 0; i < 50; ++i) {
        const Bytes a = Random(g, 32), b = Random(g, 32);
        Bytes pubB(32), ours(32), theirs(32);
        CX25519::PublicKey(b.data(), pubB.data());
        ASSERT_TRUE(CX25519::SharedSecret(a.data(), pubB.data(), ours.data()));
        std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> priv(
            EVP_PKEY_new_raw_private_key(EVP_PKEY_X25519, nullptr, a.data(), 32), EVP_PKEY_free);
        // Any 32 bytes as the peer's point, not only valid public keys.
        const Bytes point = i % 2 ? pubB : Random(g, 32);
        std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> peer(
            EVP_PKEY_new_raw_public_key(EVP_PKEY_X25519, nullptr, point.data(), 32), EVP_PKEY_free);
        std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> ctx(EVP_PKEY_CTX_new(priv.get(), nullptr),
                                                                        EVP_PKEY_CTX_free);
        std::size_t length = 32;
        ASSERT_EQ(EVP_PKEY_derive_init(ctx.get()), 1);
        ASSERT_EQ(EVP_PKEY_derive_set_peer(ctx.get(), peer.get()), 1);
        ASSERT_EQ(EVP_PKEY_derive(ctx.get(), theirs.data(), &length), 1);
        CX25519::SharedSecret(a.data(), point.data(), ours.data());
        EXPECT_EQ(ours, theirs) << i;
    }
}

}  // namespace
}  // namespace mg
