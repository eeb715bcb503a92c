// Rows of the cipher side: the library's Rijndael (16-, 24- and 32-byte
// blocks), Blowfish, TEA (XTEA) and RC4 against the peers, every mode both
// ways, at 64 KiB and 1 KiB. Every implementation works in place on the same
// buffer, set up once per row: a row measures the block work, not key set-up.
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>

#include "bench/bench_registry.h"
#include "cipher/blowfish.h"
#include "cipher/rc4.h"
#include "cipher/rijndael.h"
#include "cipher/tea.h"

#if MG_BENCH_OPENSSL
#include <openssl/evp.h>
#include <openssl/provider.h>
#endif
#if MG_BENCH_CRYPTOPP
#define CRYPTOPP_ENABLE_NAMESPACE_WEAK 1
#include <cryptopp/aes.h>
#include <cryptopp/arc4.h>
#include <cryptopp/blowfish.h>
#include <cryptopp/modes.h>
#include <cryptopp/tea.h>
#endif
#if MG_BENCH_BOTAN
#include <botan/block_cipher.h>
#include <botan/cipher_mode.h>
#include <botan/stream_cipher.h>
#endif
#if MG_BENCH_MCRYPT
#include <mcrypt.h>
#endif

namespace mg::bench {
namespace {

const unsigned char kKey[64] = {0x2b, 0x7e, 0x15, 0x16, 0x28, 0xae, 0xd2, 0xa6, 0xab, 0xf7, 0x15, 0x88, 0x09,
                                0xcf, 0x4f, 0x3c, 0x60, 0x3d, 0xeb, 0x10, 0x15, 0xca, 0x71, 0xbe, 0x2b, 0x73,
                                0xae, 0xf0, 0x85, 0x7d, 0x77, 0x81, 0x1f, 0x35, 0x2c, 0x07, 0x3b, 0x61, 0x08,
                                0xd7, 0x2d, 0x98, 0x10, 0xa3, 0x09, 0x14, 0xdf, 0xf4, 0x5a, 0x1b, 0x3c, 0x99};
const unsigned char kIv[32] = {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0a,
                               0x0b, 0x0c, 0x0d, 0x0e, 0x0f, 0x10, 0x11, 0x12, 0x13, 0x14, 0x15,
                               0x16, 0x17, 0x18, 0x19, 0x1a, 0x1b, 0x1c, 0x1d, 0x1e, 0x1f};

enum class Mode { kEcb = 0, kCbc = 1, kCfb = 2, kOfb = 3 };
const char* const kModeNames[] = {"ECB", "CBC", "CFB", "OFB"};

// A prepared buffer: the work runs in place on Output().
unsigned char* Buffer(std::size_t n)
{
    unsigned char* out = Output();
    std::memcpy(out, Input(), n);
    return out;
}

std::string RowName(const std::string& cipher, Mode mode, bool decrypt, const BufferSize& size)
{
    return cipher + " " + kModeNames[static_cast<int>(mode)] + (decrypt ? " dec " : " enc ") + size.suffix;
}

// ---------------------------------------------------------------------------
// The library.

// MG_BENCH_ACCEL=<tier> caps the library's implementation tier, to compare
// the tiers on one machine.
void LimitTier(IBlockCipher& c)
{
    if (const char* tier = std::getenv("MG_BENCH_ACCEL")) c.SetAccelLimit(std::atoi(tier));
}

template <class Cipher, class Init>
void AddLibrary(const std::string& row, std::size_t n, bool decrypt, Init init)
{
    auto c = std::make_shared<Cipher>();
    LimitTier(*c);
    init(*c);
    const auto len = static_cast<std::int32_t>(n);
    AddBytes(row, kLibrary, n, [c, len, decrypt, buf = Buffer(n)] {
        if (decrypt)
            c->Decrypt(buf, buf, len);
        else
            c->Encrypt(buf, buf, len);
    });
}

// ---------------------------------------------------------------------------
// Peers.

#if MG_BENCH_OPENSSL
const EVP_CIPHER* OpenSslCipher(const std::string& name)
{
    // Blowfish and RC4 live in OpenSSL 3's legacy provider.
    static const bool providers = [] {
        OSSL_PROVIDER_load(nullptr, "legacy");
        OSSL_PROVIDER_load(nullptr, "default");
        return true;
    }();
    (void)providers;
    return EVP_CIPHER_fetch(nullptr, name.c_str(), nullptr);
}

void AddOpenSsl(const std::string& row, const std::string& cipher, std::size_t n, bool decrypt)
{
    const EVP_CIPHER* type = OpenSslCipher(cipher);
    if (type == nullptr) return;
    std::shared_ptr<EVP_CIPHER_CTX> ctx(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
    if (EVP_CipherInit_ex(ctx.get(), type, nullptr, kKey, kIv, decrypt ? 0 : 1) != 1) return;
    EVP_CIPHER_CTX_set_padding(ctx.get(), 0);
    const int len = static_cast<int>(n);
    AddBytes(row, "openssl", n, [ctx, len, buf = Buffer(n)] {
        int outLen = 0;
        if (EVP_CipherUpdate(ctx.get(), buf, &outLen, buf, len) != 1) throw std::runtime_error("OpenSSL failed");
    });
}
#endif

#if MG_BENCH_CRYPTOPP
template <class Block>
void AddCryptopp(const std::string& row, Mode mode, bool decrypt, std::size_t keyLen, std::size_t n)
{
    std::shared_ptr<CryptoPP::StreamTransformation> t;
    using namespace CryptoPP;
    switch (mode) {
    case Mode::kEcb:
        if (decrypt)
            t = std::make_shared<typename ECB_Mode<Block>::Decryption>(kKey, keyLen);
        else
            t = std::make_shared<typename ECB_Mode<Block>::Encryption>(kKey, keyLen);
        break;
    case Mode::kCbc:
        if (decrypt)
            t = std::make_shared<typename CBC_Mode<Block>::Decryption>(kKey, keyLen, kIv);
        else
            t = std::make_shared<typename CBC_Mode<Block>::Encryption>(kKey, keyLen, kIv);
        break;
    case Mode::kCfb:
        if (decrypt)
            t = std::make_shared<typename CFB_Mode<Block>::Decryption>(kKey, keyLen, kIv);
        else
            t = std::make_shared<typename CFB_Mode<Block>::Encryption>(kKey, keyLen, kIv);
        break;
    case Mode::kOfb:
        t = std::make_shared<typename OFB_Mode<Block>::Encryption>(kKey, keyLen, kIv);
        break;
    }
    AddBytes(row, "cryptopp", n, [t, n, buf = Buffer(n)] { t->ProcessData(buf, buf, n); });
}
#endif

#if MG_BENCH_BOTAN
// ECB through the block cipher itself (Botan 2 has no unpadded ECB mode),
// CBC and CFB as cipher modes, OFB as a stream cipher.
void AddBotan(const std::string& row, const std::string& cipher, Mode mode, bool decrypt, std::size_t keyLen,
              std::size_t n)
{
    const Botan::SymmetricKey key(kKey, keyLen);
    unsigned char* buf = Buffer(n);
    if (mode == Mode::kEcb) {
        std::shared_ptr<Botan::BlockCipher> b(Botan::BlockCipher::create(cipher));
        if (!b) return;
        b->set_key(key);
        const std::size_t blocks = n / b->block_size();
        AddBytes(row, "botan", n, [b, blocks, decrypt, buf] {
            if (decrypt)
                b->decrypt_n(buf, buf, blocks);
            else
                b->encrypt_n(buf, buf, blocks);
        });
        return;
    }
    if (mode == Mode::kOfb) {
        std::shared_ptr<Botan::StreamCipher> s(Botan::StreamCipher::create("OFB(" + cipher + ")"));
        if (!s) return;
        s->set_key(key);
        s->set_iv(kIv, s->default_iv_length());
        AddBytes(row, "botan", n, [s, n, buf] { s->cipher1(buf, n); });
        return;
    }
    const std::string algorithm = cipher + (mode == Mode::kCbc ? "/CBC/NoPadding" : "/CFB");
    std::shared_ptr<Botan::Cipher_Mode> m(
        Botan::Cipher_Mode::create(algorithm, decrypt ? Botan::DECRYPTION : Botan::ENCRYPTION));
    if (!m) return;
    m->set_key(key);
    m->start(kIv, m->default_nonce_length());
    AddBytes(row, "botan", n, [m, n, buf] { m->process(buf, n); });
}
#endif

#if MG_BENCH_MCRYPT
void AddMcrypt(const std::string& row, const std::string& algorithm, Mode mode, bool decrypt, int keyLen,
               std::size_t n)
{
    static const char* const kModes[] = {"ecb", "cbc", "ncfb", "nofb"};
    MCRYPT td = mcrypt_module_open(const_cast<char*>(algorithm.c_str()), nullptr,
                                   const_cast<char*>(kModes[static_cast<int>(mode)]), nullptr);
    if (td == MCRYPT_FAILED) return;
    unsigned char key[64];
    unsigned char iv[32];
    std::memcpy(key, kKey, sizeof key);
    std::memcpy(iv, kIv, sizeof iv);
    if (mcrypt_generic_init(td, key, keyLen, iv) < 0) return;
    std::shared_ptr<void> handle(td, [](void* t) {
        mcrypt_generic_deinit(static_cast<MCRYPT>(t));
        mcrypt_module_close(static_cast<MCRYPT>(t));
    });
    const int len = static_cast<int>(n);
    AddBytes(row, "mcrypt", n, [handle, len, decrypt, buf = Buffer(n)] {
        const MCRYPT t = static_cast<MCRYPT>(handle.get());
        if (decrypt)
            mdecrypt_generic(t, buf, len);
        else
            mcrypt_generic(t, buf, len);
    });
}
#endif

// ---------------------------------------------------------------------------
// The rows.

const Mode kModes[] = {Mode::kEcb, Mode::kCbc, Mode::kCfb, Mode::kOfb};

bool Serial(Mode mode, bool decrypt) { return mode == Mode::kOfb || (!decrypt && mode != Mode::kEcb); }

void AddAes()
{
    for (int keyBits : {128, 192, 256}) {
        const std::size_t keyLen = static_cast<std::size_t>(keyBits / 8);
        const std::string name = "AES-" + std::to_string(keyBits);
        for (Mode mode : kModes) {
            for (bool decrypt : {false, true}) {
                if (mode == Mode::kOfb && decrypt) continue;  // the same work as encryption
                for (const BufferSize& size : kBufferSizes) {
                    const std::string row = RowName(name, mode, decrypt, size);
                    const std::size_t n = size.bytes;
                    AddLibrary<CRijndael>(row, n, decrypt, [&](CRijndael& c) {
                        c.Initialize(kKey, static_cast<std::int32_t>(keyLen), kIv, static_cast<std::int32_t>(keyLen),
                                     16, static_cast<std::int32_t>(mode), 0);
                    });
#if MG_BENCH_OPENSSL
                    static const char* const kOpenSslModes[] = {"ECB", "CBC", "CFB", "OFB"};
                    AddOpenSsl(row, name + "-" + kOpenSslModes[static_cast<int>(mode)], n, decrypt);
#endif
#if MG_BENCH_CRYPTOPP
                    AddCryptopp<CryptoPP::AES>(row, mode, decrypt, keyLen, n);
#endif
#if MG_BENCH_BOTAN
                    AddBotan(row, name, mode, decrypt, keyLen, n);
#endif
                    if (size.bytes != kBufferSizes[0].bytes) continue;
                    if (mode == Mode::kCfb && decrypt)
                        SetTarget(row, 3.0, "openssl");
                    else
                        SetTarget(row, Serial(mode, decrypt) ? 0.95 : 1.0, "openssl");
                }
            }
        }
    }
}

// Rijndael with 24- and 32-byte blocks: the library's default block, which
// only libmcrypt offers among the peers.
void AddWideRijndael()
{
    for (int blockBits : {192, 256}) {
        for (int keyBits : {128, 256}) {
            const std::int32_t blockLen = blockBits / 8;
            const std::int32_t keyLen = keyBits / 8;
            const std::string name = "Rijndael-" + std::to_string(blockBits) + " key " + std::to_string(keyBits);
            for (Mode mode : kModes) {
                for (bool decrypt : {false, true}) {
                    if (mode == Mode::kOfb && decrypt) continue;
                    for (const BufferSize& size : kBufferSizes) {
                        const std::string row = RowName(name, mode, decrypt, size);
                        // Whole blocks: 64 KiB and 1 KiB are no multiples of 24.
                        const std::size_t n = size.bytes / static_cast<std::size_t>(blockLen) *
                                              static_cast<std::size_t>(blockLen);
                        AddLibrary<CRijndael>(row, n, decrypt, [&](CRijndael& c) {
                            c.Initialize(kKey, keyLen, kIv, keyLen, blockLen, static_cast<std::int32_t>(mode), 0);
                        });
#if MG_BENCH_MCRYPT
                        AddMcrypt(row, "rijndael-" + std::to_string(blockBits), mode, decrypt, keyLen, n);
#endif
                        if (size.bytes != kBufferSizes[0].bytes) continue;
                        if (Serial(mode, decrypt))
                            SetTarget(row, 0.8, "row:" + RowName("AES-256", mode, false, size));
                        else
                            SetTarget(row, 20.0, "mcrypt");
                    }
                }
            }
        }
    }
}

void AddBlowfish()
{
    for (Mode mode : kModes) {
        for (bool decrypt : {false, true}) {
            if (mode == Mode::kOfb && decrypt) continue;
            for (const BufferSize& size : kBufferSizes) {
                const std::string row = RowName("Blowfish", mode, decrypt, size);
                const std::size_t n = size.bytes;
                AddLibrary<CBlowfish>(row, n, decrypt, [&](CBlowfish& c) {
                    const std::uint32_t iv[2] = {0x01234567, 0x89abcdef};
                    c.Initialize(kKey, 16, iv, static_cast<std::int32_t>(mode), 0);
                });
#if MG_BENCH_OPENSSL
                static const char* const kOpenSslModes[] = {"BF-ECB", "BF-CBC", "BF-CFB", "BF-OFB"};
                AddOpenSsl(row, kOpenSslModes[static_cast<int>(mode)], n, decrypt);
#endif
#if MG_BENCH_CRYPTOPP
                AddCryptopp<CryptoPP::Blowfish>(row, mode, decrypt, 16, n);
#endif
#if MG_BENCH_BOTAN
                AddBotan(row, "Blowfish", mode, decrypt, 16, n);
#endif
#if MG_BENCH_MCRYPT
                AddMcrypt(row, "blowfish", mode, decrypt, 16, n);
#endif
                if (size.bytes != kBufferSizes[0].bytes) continue;
                const bool parallel = mode == Mode::kEcb || (mode == Mode::kCbc && decrypt);
                SetTarget(row, 1.0, parallel ? "botan" : "");
            }
        }
    }
}

void AddXtea()
{
    for (Mode mode : kModes) {
        for (bool decrypt : {false, true}) {
            if (mode == Mode::kOfb && decrypt) continue;
            for (const BufferSize& size : kBufferSizes) {
                const std::string row = RowName("XTEA", mode, decrypt, size);
                const std::size_t n = size.bytes;
                AddLibrary<CTea>(row, n, decrypt, [&](CTea& c) {
                    c.Initialize(kKey, 16, kIv, static_cast<std::int32_t>(mode), 0);
                });
#if MG_BENCH_CRYPTOPP
                AddCryptopp<CryptoPP::XTEA>(row, mode, decrypt, 16, n);
#endif
#if MG_BENCH_BOTAN
                AddBotan(row, "XTEA", mode, decrypt, 16, n);
#endif
#if MG_BENCH_MCRYPT
                AddMcrypt(row, "xtea", mode, decrypt, 16, n);
#endif
                if (size.bytes != kBufferSizes[0].bytes) continue;
                const bool parallel = mode == Mode::kEcb || (mode == Mode::kCbc && decrypt);
                SetTarget(row, 1.0, parallel ? "botan" : "");
            }
        }
    }
}

void AddRc4()
{
    for (const BufferSize& size : kBufferSizes) {
        const std::string row = std::string("RC4 ") + size.suffix;
        const std::size_t n = size.bytes;
        auto state = std::make_shared<Rc4State>();
        Rc4Setup(kKey, 16, *state);
        const auto len = static_cast<std::int32_t>(n);
        AddBytes(row, kLibrary, n, [state, len, buf = Buffer(n)] { Rc4Crypt(buf, len, *state); });
#if MG_BENCH_OPENSSL
        AddOpenSsl(row, "RC4", n, false);
#endif
#if MG_BENCH_CRYPTOPP
        auto arc4 = std::make_shared<CryptoPP::Weak::ARC4>(kKey, 16);
        AddBytes(row, "cryptopp", n, [arc4, n, buf = Buffer(n)] { arc4->ProcessData(buf, buf, n); });
#endif
#if MG_BENCH_BOTAN
        std::shared_ptr<Botan::StreamCipher> rc4(Botan::StreamCipher::create("RC4"));
        if (rc4) {
            rc4->set_key(kKey, 16);
            AddBytes(row, "botan", n, [rc4, n, buf = Buffer(n)] { rc4->cipher1(buf, n); });
        }
#endif
        if (size.bytes == kBufferSizes[0].bytes) SetTarget(row, 0.95, "openssl");
    }
}

const bool kRegistered = [] {
    AddAes();
    AddWideRijndael();
    AddBlowfish();
    AddXtea();
    AddRc4();
    return true;
}();

}  // namespace
}  // namespace mg::bench
