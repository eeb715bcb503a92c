// The ChaCha20-Poly1305 AEAD of RFC 8439. Opening checks the tag before a
// byte of plaintext is produced, so a forged message never yields output.
#ifndef MG_CIPHER_CHACHA20_POLY1305_H
#define MG_CIPHER_CHACHA20_POLY1305_H

#include <cstddef>

namespace mg {

class CChaCha20Poly1305 {
public:
    static constexpr std::size_t kKeyLength = 32;
    static constexpr std::size_t kNonceLength = 12;
    static constexpr std::size_t kTagLength = 16;

    explicit CChaCha20Poly1305(const unsigned char* key);
    ~CChaCha20Poly1305();
    CChaCha20Poly1305(const CChaCha20Poly1305&) = delete;
    CChaCha20Poly1305& operator=(const CChaCha20Poly1305&) = delete;

    // Writes length + kTagLength bytes to `out`; `out` may be `plain`.
    void Seal(const unsigned char* nonce, const unsigned char* aad, std::size_t aadLength, const unsigned char* plain,
              std::size_t length, unsigned char* out) const;
    // `sealedLength` includes the tag. False, and nothing written, when the tag
    // does not match; `out` (sealedLength - kTagLength bytes) may be `sealed`.
    bool Open(const unsigned char* nonce, const unsigned char* aad, std::size_t aadLength, const unsigned char* sealed,
              std::size_t sealedLength, unsigned char* out) const;

    // As Open, in one pass over the data: each slice is authenticated and
    // decrypted while in the first-level cache. `out` must not be `sealed`;
    // when the tag does not match, false, and what was written to `out` is
    // wiped (zeros). For callers whose output buffer nobody else sees.
    bool OpenInOnePass(const unsigned char* nonce, const unsigned char* aad, std::size_t aadLength,
                       const unsigned char* sealed, std::size_t sealedLength, unsigned char* out) const;

private:
    enum class Direction { kMacOnly, kSeal, kOpen };
    // The tag of aad and the ciphertext (`in` when opening, `out` when
    // sealing), with the cipher run from `in` to `out` unless kMacOnly.
    void Pass(const unsigned char* nonce, const unsigned char* aad, std::size_t aadLength, const unsigned char* in,
              std::size_t length, unsigned char* out, Direction direction, unsigned char* tag) const;

    unsigned char m_aKey[kKeyLength];
};

}  // namespace mg

#endif
