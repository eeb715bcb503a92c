// Encrypted files checked against OpenSSL's libcrypto: the header is its SHA-1
// of the signature text, and its AES and Blowfish (without padding) decrypt
// the body to the plaintext followed by the format's padding.
#include <openssl/evp.h>
#include <openssl/provider.h>

#include <random>

#include <gtest/gtest.h>

#include "cipher/blowfish.h"
#include "cipher/rijndael.h"
#include "file_test_util.h"

namespace mg {
namespace {

using test::Bytes;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

class OpenSslFileOracle : public ::testing::Test {
protected:
    // Blowfish lives in OpenSSL 3's legacy provider.
    static void SetUpTestSuite() {
        legacy = OSSL_PROVIDER_load(nullptr, "legacy");
        deflt = OSSL_PROVIDER_load(nullptr, "default");
    }
    static void TearDownTestSuite() {
        if (legacy) OSSL_PROVIDER_unload(legacy);
        if (deflt) OSSL_PROVIDER_unload(deflt);
    }
    static OSSL_PROVIDER* legacy;
    static OSSL_PROVIDER* deflt;
};
OSSL_PROVIDER* OpenSslFileOracle::legacy = nullptr;
OSSL_PROVIDER* OpenSslFileOracle::deflt = nullptr;

Bytes Decrypt(const EVP_CIPHER* type, const Bytes& key, const Bytes& iv, const Bytes& in) {
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    Bytes out(in.size() + 64);
    int n1 = 0, n2 = 0;
    const bool ok = EVP_CipherInit_ex(ctx, type, nullptr, nullptr, nullptr, 0) == 1 &&
                    EVP_CIPHER_CTX_set_key_length(ctx, static_cast<int>(key.size())) == 1 &&
                    EVP_CipherInit_ex(ctx, nullptr, nullptr, key.data(), iv.data(), 0) == 1 &&
                    EVP_CIPHER_CTX_set_padding(ctx, 0) == 1 &&
                    EVP_CipherUpdate(ctx, out.data(), &n1, in.data(), static_cast<int>(in.size())) == 1 &&
                    EVP_CipherFinal_ex(ctx, out.data() + n1, &n2) == 1;
    EVP_CIPHER_CTX_free(ctx);
    if (!ok) throw std::runtime_error("OpenSSL refused the request");
    out.resize(static_cast<std::size_t>(n1 + n2));
    return out;
}

Bytes Sha1(const Bytes& text) {
    Bytes out(EVP_MAX_MD_SIZE);
    unsigned int n = 0;
    if (EVP_Digest(text.data(), text.size(), out.data(), &n, EVP_sha1(), nullptr) != 1)
        throw std::runtime_error("OpenSSL refused the digest");
    out.resize(n);
    return out;
}

Bytes Repeat(const Bytes& key, std::size_t n) {
    Bytes out(n);
    for (std::size_t i = 0; i < n; ++i) out[i] = key[i % key.size()];
    return out;
}

void Append(Bytes& b, const std::string& s) { b.insert(b.end(), s.begin(), s.end()); }

// The plaintext followed by what the format appends: count padding (mode 2).
Bytes CountPadded(Bytes plain, std::size_t block) {
    const std::size_t n = block - plain.size() % block;
    plain.insert(plain.end(), n, static_cast<unsigned char>(n));
    return plain;
}

TEST_F(OpenSslFileOracle, AesFilesAreOneCbcStream) {
    TempDir dir;
    std::mt19937 rng(3601);
    for (std::int32_t keySize : {16, 24, 32}) {
        for (std::size_t length : {1u, 383u, 768u, 1000u, 5000u}) {
            // Key bytes from 1 to 255, so that the whole text is covered.
            Bytes key(1 + rng() % 20);
            for (auto& b : key) b = static_cast<unsigned char>(1 + rng() % 255);
            const Bytes iv = test::RandomBytes(rng, 16);
            const Bytes plain = test::RandomBytes(rng, length);
            WriteFile(dir / "plain", plain);
            CRijndael c;
            c.Initialize(key.data(), static_cast<std::int32_t>(key.size()), iv.data(), keySize, 16, 1, 2);
            c.EncryptFile((dir / "plain").c_str(), (dir / "enc").c_str());
            const Bytes file = ReadFile(dir / "enc");

            Bytes text = {'R', 'I', 'J', 'N', 'D', 'A', 'E', 'L'};
            const Bytes store = Repeat(key, static_cast<std::size_t>(keySize));
            text.insert(text.end(), store.begin(), store.end());
            Append(text, "16" + std::to_string(keySize) + "12");
            Bytes header = Sha1(text);
            header.resize(32, 0);
            ASSERT_EQ(Bytes(file.begin(), file.begin() + 32), header);

            const EVP_CIPHER* type = keySize == 16 ? EVP_aes_128_cbc() : keySize == 24 ? EVP_aes_192_cbc() : EVP_aes_256_cbc();
            EXPECT_EQ(Decrypt(type, store, iv, Bytes(file.begin() + 32, file.end())), CountPadded(plain, 16))
                << keySize << " " << length;
        }
    }
}

TEST_F(OpenSslFileOracle, BlowfishFilesRestartEveryChunkFromTheIv) {
    EVP_CIPHER* available = EVP_CIPHER_fetch(nullptr, "BF-CBC", nullptr);
    if (available == nullptr) GTEST_SKIP() << "no Blowfish in this OpenSSL";
    EVP_CIPHER_free(available);
    TempDir dir;
    std::mt19937 rng(3602);
    const Bytes key = {'o', 'r', 'a', 'c', 'l', 'e'};
    const Bytes iv = test::RandomBytes(rng, 8);
    const Bytes plain = test::RandomBytes(rng, 803);
    WriteFile(dir / "plain", plain);
    CBlowfish c;
    const std::uint32_t words[2] = {std::uint32_t(iv[0]) << 24 | std::uint32_t(iv[1]) << 16 | std::uint32_t(iv[2]) << 8 | iv[3],
                                    std::uint32_t(iv[4]) << 24 | std::uint32_t(iv[5]) << 16 | std::uint32_t(iv[6]) << 8 | iv[7]};
    c.Initialize(key.data(), static_cast<std::int32_t>(key.size()), words, 1, 2);
    c.EncryptFile((dir / "plain").c_str(), (dir / "enc").c_str());
    const Bytes file = ReadFile(dir / "enc");

    Bytes text = {'B', 'L', 'O', 'W', 'F', 'I', 'S', 'H'};
    const Bytes store = Repeat(key, 56);
    text.insert(text.end(), store.begin(), store.end());
    Append(text, "12");
    Bytes header = Sha1(text);
    header.resize(32, 0);
    ASSERT_EQ(Bytes(file.begin(), file.begin() + 32), header);

    ASSERT_EQ(file.size(), 32u + 808u);
    Bytes decrypted;
    for (std::size_t at = 32; at < file.size(); at += 384) {
        const Bytes chunk(file.begin() + static_cast<std::ptrdiff_t>(at),
                          file.begin() + static_cast<std::ptrdiff_t>(std::min(file.size(), at + 384)));
        // The Blowfish schedule cycles the key as given, not the 56-byte store.
        const Bytes part = Decrypt(EVP_bf_cbc(), key, iv, chunk);
        decrypted.insert(decrypted.end(), part.begin(), part.end());
    }
    EXPECT_EQ(decrypted, CountPadded(plain, 8));
}

}  // namespace
}  // namespace mg
