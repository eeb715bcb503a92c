// ChaCha20-Poly1305 in memory, the AEAD of every age payload chunk, against
// OpenSSL's EVP interface on the same 16 KiB and 64 KiB buffers.
#include <memory>
#include <stdexcept>

#include "bench/bench_registry.h"
#include "cipher/chacha20_poly1305.h"

#if MG_BENCH_OPENSSL
#include <openssl/evp.h>
#endif

namespace mg::bench {
namespace {

const unsigned char kKey[32] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16,
                                17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32};
const unsigned char kNonce[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};

void AddChaCha20Poly1305() {
    for (std::size_t n : {std::size_t{16} * 1024, std::size_t{64} * 1024}) {
        const std::string row = "ChaCha20-Poly1305 seal " + std::to_string(n / 1024) + "K";
        auto aead = std::make_shared<CChaCha20Poly1305>(kKey);
        AddBytes(row, kLibrary, n, [aead, n] { aead->Seal(kNonce, nullptr, 0, Input(), n, Output()); });
#if MG_BENCH_OPENSSL
        std::shared_ptr<EVP_CIPHER_CTX> ctx(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
        AddBytes(row, "openssl", n, [ctx, n] {
            int length = 0;
            if (EVP_EncryptInit_ex(ctx.get(), EVP_chacha20_poly1305(), nullptr, kKey, kNonce) != 1 ||
                EVP_EncryptUpdate(ctx.get(), Output(), &length, Input(), static_cast<int>(n)) != 1 ||
                EVP_EncryptFinal_ex(ctx.get(), Output() + length, &length) != 1 ||
                EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_AEAD_GET_TAG, 16, Output() + n) != 1)
                throw std::runtime_error("OpenSSL failed");
        });
        SetTarget(row, 1.0, "openssl");
#endif
    }
}

const bool kRegistered = (AddChaCha20Poly1305(), true);

}  // namespace
}  // namespace mg::bench
