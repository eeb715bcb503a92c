// Rows of SEAL's core, AES-GCM: the library against OpenSSL's EVP AES-GCM at
// 64 KiB for each key size, sealing Input() into Output() and opening a
// sealed copy of it into Output() (a valid tag, so both do the whole work).
// A second row per case holds the same measurement against the library's own
// AES ECB, which is the counter-mode half of the work alone.
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_registry.h"
#include "cipher/aes_gcm.h"

#if MG_BENCH_OPENSSL
#include <openssl/evp.h>
#endif

namespace mg::bench {
namespace {

const unsigned char kGcmKey[32] = {0x60, 0x3d, 0xeb, 0x10, 0x15, 0xca, 0x71, 0xbe, 0x2b, 0x73, 0xae,
                                   0xf0, 0x85, 0x7d, 0x77, 0x81, 0x1f, 0x35, 0x2c, 0x07, 0x3b, 0x61,
                                   0x08, 0xd7, 0x2d, 0x98, 0x10, 0xa3, 0x09, 0x14, 0xdf, 0xf4};
const unsigned char kNonce[12] = {0xca, 0xfe, 0xba, 0xbe, 0xfa, 0xce, 0xdb, 0xad, 0xde, 0xca, 0xf8, 0x88};

// A message sealed once per key size, for the opening rows.
struct Sealed {
    std::vector<unsigned char> cipher;
    unsigned char tag[16];
};

std::shared_ptr<CAesGcm> MakeGcm(std::size_t keyLen)
{
    auto gcm = std::make_shared<CAesGcm>();
    // MG_BENCH_ACCEL=<tier> caps the tier, as for the other ciphers.
    if (const char* tier = std::getenv("MG_BENCH_ACCEL")) gcm->SetAccelLimit(std::atoi(tier));
    gcm->Initialize(kGcmKey, keyLen);
    return gcm;
}

#if MG_BENCH_OPENSSL
const EVP_CIPHER* OpenSslGcm(std::size_t keyLen)
{
    return keyLen == 16 ? EVP_aes_128_gcm() : keyLen == 24 ? EVP_aes_192_gcm() : EVP_aes_256_gcm();
}

void AddOpenSslGcm(const std::string& row, std::size_t keyLen, std::size_t n, bool open,
                   const std::shared_ptr<Sealed>& sealed)
{
    std::shared_ptr<EVP_CIPHER_CTX> ctx(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
    EVP_CipherInit_ex(ctx.get(), OpenSslGcm(keyLen), nullptr, kGcmKey, kNonce, open ? 0 : 1);
    AddBytes(row, "openssl", n, [ctx, n, open, sealed] {
        int len = 0;
        unsigned char tag[16];
        EVP_CipherInit_ex(ctx.get(), nullptr, nullptr, nullptr, kNonce, -1);
        if (open) {
            EVP_CipherUpdate(ctx.get(), Output(), &len, sealed->cipher.data(), static_cast<int>(n));
            EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_SET_TAG, 16, sealed->tag);
            if (EVP_CipherFinal_ex(ctx.get(), Output() + len, &len) != 1) std::abort();
        } else {
            EVP_CipherUpdate(ctx.get(), Output(), &len, Input(), static_cast<int>(n));
            EVP_CipherFinal_ex(ctx.get(), Output() + len, &len);
            EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_GET_TAG, 16, tag);
            benchmark::DoNotOptimize(tag);
        }
    });
}
#endif

void AddGcm()
{
    const BufferSize& size = kBufferSizes[0];
    const std::size_t n = size.bytes;
    for (int keyBits : {128, 192, 256}) {
        const std::size_t keyLen = static_cast<std::size_t>(keyBits / 8);
        const std::string name = "AES-" + std::to_string(keyBits);
        auto gcm = MakeGcm(keyLen);
        auto sealed = std::make_shared<Sealed>();
        sealed->cipher.resize(n);
        gcm->Seal(kNonce, nullptr, 0, Input(), n, sealed->cipher.data(), sealed->tag);
        for (bool open : {false, true}) {
            const std::string row = name + " GCM " + (open ? "open " : "seal ") + size.suffix;
            auto work = [=] {
                unsigned char tag[16];
                if (open) {
                    if (!gcm->Open(kNonce, nullptr, 0, sealed->cipher.data(), n, sealed->tag, Output())) std::abort();
                } else {
                    gcm->Seal(kNonce, nullptr, 0, Input(), n, Output(), tag);
                    benchmark::DoNotOptimize(tag);
                }
            };
            AddBytes(row, kLibrary, n, work);
#if MG_BENCH_OPENSSL
            AddOpenSslGcm(row, keyLen, n, open, sealed);
            SetTarget(row, 1.0, "openssl");
#endif
            const std::string againstEcb = row + " vs own ECB";
            AddBytes(againstEcb, kLibrary, n, work);
            SetTarget(againstEcb, 0.7, "row:" + name + " ECB enc " + size.suffix);
        }
    }
}

const bool kRegistered = (AddGcm(), true);

}  // namespace
}  // namespace mg::bench
