// Differential tests against OpenSSL's libcrypto: Blowfish in all four modes,
// RC4, and AES files (header and body recomputed with OpenSSL). Rijndael in
// every mode is compared with libmcrypt.
#include <openssl/evp.h>
#include <openssl/provider.h>

#include <random>

#include <gtest/gtest.h>

#include "cipher/rc4.h"
#include "cipher_test_util.h"

namespace mg {
namespace {

using namespace test;

// Blowfish and RC4 live in OpenSSL 3's legacy provider.
OSSL_PROVIDER* const kLegacy = OSSL_PROVIDER_load(nullptr, "legacy");
OSSL_PROVIDER* const kDefault = OSSL_PROVIDER_load(nullptr, "default");

Bytes Evp(const EVP_CIPHER* type, bool encrypt, const Bytes& key, const Bytes& iv, const Bytes& in)
{
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    Bytes out(in.size() + 64);
    int n1 = 0, n2 = 0;
    const bool ok = EVP_CipherInit_ex(ctx, type, nullptr, nullptr, nullptr, encrypt ? 1 : 0) == 1 &&
                    EVP_CIPHER_CTX_set_key_length(ctx, static_cast<int>(key.size())) == 1 &&
                    EVP_CipherInit_ex(ctx, nullptr, nullptr, key.data(), iv.empty() ? nullptr : iv.data(),
                                      encrypt ? 1 : 0) == 1 &&
                    EVP_CIPHER_CTX_set_padding(ctx, 0) == 1 &&
                    EVP_CipherUpdate(ctx, out.data(), &n1, in.data(), static_cast<int>(in.size())) == 1 &&
                    EVP_CipherFinal_ex(ctx, out.data() + n1, &n2) == 1;
    EVP_CIPHER_CTX_free(ctx);
    if (!ok) throw std::runtime_error("OpenSSL refused the request");
    out.resize(static_cast<std::size_t>(n1 + n2));
    return out;
}

TEST(OpenSslOracle, BlowfishEveryMode)
{
    ASSERT_NE(kLegacy, nullptr) << "OpenSSL legacy provider not available";
    const EVP_CIPHER* types[4] = {EVP_bf_ecb(), EVP_bf_cbc(), EVP_bf_cfb64(), EVP_bf_ofb()};
    std::mt19937 rng(64);
    for (std::int32_t mode = 0; mode < 4; ++mode) {
        for (int round = 0; round < 40; ++round) {
            // OpenSSL takes up to 72 key bytes; ours stop at 56.
            const Bytes key = RandomBytes(rng, 1 + rng() % 56);
            const Bytes iv = RandomBytes(rng, 8);
            const Bytes plain = RandomBytes(rng, 8 * (1 + rng() % 60));
            const std::uint32_t ivWords[2] = {LoadBe32(iv.data()), LoadBe32(iv.data() + 4)};
            CBlowfish c;
            c.Initialize(key.data(), static_cast<std::int32_t>(key.size()), ivWords, mode, 0);
            const Bytes out = EncryptWith(c, plain);
            ASSERT_EQ(out, Evp(types[mode], true, key, iv, plain)) << "mode " << mode;
            ASSERT_EQ(DecryptWith(c, out), plain);
        }
    }
}

TEST(OpenSslOracle, Rc4RandomKeysAndLengths)
{
    ASSERT_NE(kLegacy, nullptr) << "OpenSSL legacy provider not available";
    std::mt19937 rng(4);
    for (int round = 0; round < 100; ++round) {
        // Every tenth key is as long as the schedule reads.
        const Bytes key = RandomBytes(rng, round % 10 == 0 ? 256 : 1 + rng() % 256);
        const Bytes plain = RandomBytes(rng, rng() % 3000);
        const Bytes expected = Evp(EVP_rc4(), true, key, {}, plain);
        Rc4State s;
        Rc4Setup(key.data(), static_cast<std::int32_t>(key.size()), s);
        Bytes buf = plain;
        const std::size_t cut = plain.empty() ? 0 : rng() % plain.size();
        Rc4Crypt(buf.data(), static_cast<std::int32_t>(cut), s);
        Rc4Crypt(buf.data() + cut, static_cast<std::int32_t>(plain.size() - cut), s);
        ASSERT_EQ(buf, expected) << "key length " << key.size();
        ASSERT_EQ(Evp(EVP_rc4(), false, key, {}, buf), plain);
    }
}

TEST(OpenSslOracle, AesFilesAreOneCbcStreamAfterTheSignature)
{
    TempDir dir;
    std::mt19937 rng(3601);
    for (std::size_t keySize : {16u, 24u, 32u}) {
        for (std::size_t length : {1u, 383u, 768u, 1000u, 5000u}) {
            // Keys of 1, 14, 30, 16 and 39 bytes, repeated or cut to the key size;
            // bytes from 1 to 255, so that the whole text is covered.
            Bytes key(length % 41);
            for (auto& b : key) b = static_cast<unsigned char>(1 + rng() % 255);
            const Bytes iv = RandomBytes(rng, 16);
            const Bytes plain = RandomBytes(rng, length);
            WriteFile(dir / "plain", plain);
            CRijndael c;
            const auto ks = static_cast<std::int32_t>(keySize);
            c.Initialize(key.data(), static_cast<std::int32_t>(key.size()), iv.data(), ks, 16, 1, 2);
            c.EncryptFile((dir / "plain").c_str(), (dir / "enc").c_str());
            const Bytes file = ReadFile(dir / "enc");

            Bytes store(keySize);
            for (std::size_t i = 0; i < keySize; ++i) store[i] = key[i % key.size()];
            Bytes text = {'R', 'I', 'J', 'N', 'D', 'A', 'E', 'L'};
            text.insert(text.end(), store.begin(), store.end());
            const std::string numbers = "16" + std::to_string(keySize) + "12";
            text.insert(text.end(), numbers.begin(), numbers.end());
            Bytes header(EVP_MAX_MD_SIZE, 0);
            ASSERT_EQ(EVP_Digest(text.data(), text.size(), header.data(), nullptr, EVP_sha1(), nullptr), 1);
            header.resize(32);
            ASSERT_EQ(Slice(file, 0, 32), header);

            // The format's count padding: n bytes of n, n from 1 to 16.
            Bytes padded = plain;
            padded.insert(padded.end(), 16 - length % 16, static_cast<unsigned char>(16 - length % 16));
            const EVP_CIPHER* cbc[] = {EVP_aes_128_cbc(), EVP_aes_192_cbc(), EVP_aes_256_cbc()};
            EXPECT_EQ(Evp(cbc[(keySize - 16) / 8], false, store, iv, Slice(file, 32)), padded)
                << keySize << " " << length;
        }
    }
}

}  // namespace
}  // namespace mg
