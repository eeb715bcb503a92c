// Differential tests against OpenSSL's libcrypto (EVP): AES in all four
// modes, Blowfish in all four modes, RC4, and encrypted files (the header is
// its SHA-1 of the signature text, and its AES decrypts the body to the
// plaintext followed by the format's padding).
#include <openssl/evp.h>
#include <openssl/provider.h>

#include <random>

#include <gtest/gtest.h>

#include "cipher/rc4.h"
#include "cipher_test_util.h"

namespace mg {
namespace {

using test::Bytes;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

// Blowfish and RC4 live in OpenSSL 3's legacy provider.
class OpenSslOracle : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        legacy = OSSL_PROVIDER_load(nullptr, "legacy");
        deflt = OSSL_PROVIDER_load(nullptr, "default");
    }
    static void TearDownTestSuite()
    {
        if (legacy) OSSL_PROVIDER_unload(legacy);
        if (deflt) OSSL_PROVIDER_unload(deflt);
    }
    static OSSL_PROVIDER* legacy;
    static OSSL_PROVIDER* deflt;
};
OSSL_PROVIDER* OpenSslOracle::legacy = nullptr;
OSSL_PROVIDER* OpenSslOracle::deflt = nullptr;

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

const EVP_CIPHER* AesType(std::size_t keySize, std::int32_t mode)
{
    const EVP_CIPHER* table[3][4] = {
        {EVP_aes_128_ecb(), EVP_aes_128_cbc(), EVP_aes_128_cfb128(), EVP_aes_128_ofb()},
        {EVP_aes_192_ecb(), EVP_aes_192_cbc(), EVP_aes_192_cfb128(), EVP_aes_192_ofb()},
        {EVP_aes_256_ecb(), EVP_aes_256_cbc(), EVP_aes_256_cfb128(), EVP_aes_256_ofb()},
    };
    return table[(keySize - 16) / 8][mode];
}

TEST_F(OpenSslOracle, AesEveryModeAndKeySizeWithChainAcrossCalls)
{
    std::mt19937 rng(197);
    for (std::size_t keySize : {16u, 24u, 32u}) {
        for (std::int32_t mode = 0; mode < 4; ++mode) {
            for (int round = 0; round < 20; ++round) {
                const Bytes key = test::RandomBytes(rng, keySize);
                const Bytes iv = test::RandomBytes(rng, 16);
                const Bytes plain = test::RandomBytes(rng, 16 * (1 + rng() % 40));
                const Bytes expected = Evp(AesType(keySize, mode), true, key, iv, plain);

                CRijndael c;
                const auto ks = static_cast<std::int32_t>(keySize);
                c.Initialize(key.data(), ks, iv.data(), ks, 16, mode, 0);
                // The chain runs on, so any split into calls gives one stream.
                Bytes out(plain.size());
                std::size_t done = 0;
                while (done < plain.size()) {
                    const std::size_t step = std::min(plain.size() - done, 16 * (1 + rng() % 5));
                    c.Encrypt(plain.data() + done, out.data() + done, static_cast<std::int32_t>(step));
                    done += step;
                }
                ASSERT_EQ(out, expected) << keySize << "/" << mode;

                c.ResetChain();
                ASSERT_EQ(test::DecryptWith(c, expected), plain) << keySize << "/" << mode;
                ASSERT_EQ(Evp(AesType(keySize, mode), false, key, iv, out), plain);
            }
        }
    }
}

TEST_F(OpenSslOracle, BlowfishEveryMode)
{
    ASSERT_NE(legacy, nullptr) << "OpenSSL legacy provider not available";
    const EVP_CIPHER* types[4] = {EVP_bf_ecb(), EVP_bf_cbc(), EVP_bf_cfb64(), EVP_bf_ofb()};
    std::mt19937 rng(64);
    for (std::int32_t mode = 0; mode < 4; ++mode) {
        for (int round = 0; round < 40; ++round) {
            // OpenSSL takes up to 72 key bytes; ours stop at 56.
            const Bytes key = test::RandomBytes(rng, 1 + rng() % 56);
            const Bytes iv = test::RandomBytes(rng, 8);
            const Bytes plain = test::RandomBytes(rng, 8 * (1 + rng() % 60));
            const std::uint32_t ivWords[2] = {LoadBe32(iv.data()), LoadBe32(iv.data() + 4)};
            CBlowfish c;
            c.Initialize(key.data(), static_cast<std::int32_t>(key.size()), ivWords, mode, 0);
            const Bytes out = test::EncryptWith(c, plain);
            ASSERT_EQ(out, Evp(types[mode], true, key, iv, plain)) << "mode " << mode;
            ASSERT_EQ(test::DecryptWith(c, out), plain);
        }
    }
}

TEST_F(OpenSslOracle, Rc4RandomKeysAndLengths)
{
    ASSERT_NE(legacy, nullptr) << "OpenSSL legacy provider not available";
    std::mt19937 rng(4);
    for (int round = 0; round < 100; ++round) {
        // Every tenth key is as long as the schedule reads.
        const Bytes key = test::RandomBytes(rng, round % 10 == 0 ? 256 : 1 + rng() % 256);
        const Bytes plain = test::RandomBytes(rng, rng() % 3000);
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

Bytes Sha1(const Bytes& text)
{
    Bytes out(EVP_MAX_MD_SIZE);
    unsigned int n = 0;
    if (EVP_Digest(text.data(), text.size(), out.data(), &n, EVP_sha1(), nullptr) != 1)
        throw std::runtime_error("OpenSSL refused the digest");
    out.resize(n);
    return out;
}

TEST_F(OpenSslOracle, AesFilesAreOneCbcStreamAfterTheSignature)
{
    TempDir dir;
    std::mt19937 rng(3601);
    for (std::size_t keySize : {16u, 24u, 32u}) {
        for (std::size_t length : {1u, 383u, 768u, 1000u, 5000u}) {
            // Key bytes from 1 to 255, so that the whole text is covered.
            Bytes key(1 + rng() % 20);
            for (auto& b : key) b = static_cast<unsigned char>(1 + rng() % 255);
            const Bytes iv = test::RandomBytes(rng, 16);
            const Bytes plain = test::RandomBytes(rng, length);
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
            Bytes header = Sha1(text);
            header.resize(32, 0);
            ASSERT_EQ(test::Slice(file, 0, 32), header);

            // The format's count padding: n bytes of n, n from 1 to 16.
            Bytes padded = plain;
            padded.insert(padded.end(), 16 - length % 16, static_cast<unsigned char>(16 - length % 16));
            EXPECT_EQ(Evp(AesType(keySize, 1), false, store, iv, test::Slice(file, 32)), padded)
                << keySize << " " << length;
        }
    }
}

}  // namespace
}  // namespace mg
