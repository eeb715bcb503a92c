// AES in Galois/counter mode (NIST SP 800-38D) with 96-bit nonces and
// 128-bit tags: authenticated encryption of a message and authentication of
// associated data that travels beside it in the clear.
#ifndef MG_CIPHER_AES_GCM_H
#define MG_CIPHER_AES_GCM_H

#include <cstddef>
#include <cstdint>
#include <optional>

#include "cipher/gcm_accel.h"
#include "cipher/ghash.h"
#include "cipher/rijndael.h"

namespace mg {

class CAesGcm {
public:
    static constexpr std::size_t kNonceSize = 12;
    static constexpr std::size_t kTagSize = 16;

    CAesGcm();
    ~CAesGcm();
    CAesGcm(const CAesGcm&) = delete;
    CAesGcm& operator=(const CAesGcm&) = delete;

    static bool IsKeySize(std::size_t keyLength) { return keyLength == 16 || keyLength == 24 || keyLength == 32; }

    // AES-128, -192 or -256 by the key's length; any other length throws
    // std::invalid_argument.
    void Initialize(const unsigned char* key, std::size_t keyLength);

    // len bytes of `in` encrypted to `out` (the same buffer or one clear of
    // it) and the tag of the ciphertext and aad written to `tag`.
    void Seal(const unsigned char* nonce, const unsigned char* aad, std::size_t aadLen, const unsigned char* in,
              std::size_t len, unsigned char* out, unsigned char* tag);
    // The reverse of Seal. False when the tag does not match: out then holds
    // zeros, never a candidate plaintext.
    [[nodiscard]] bool Open(const unsigned char* nonce, const unsigned char* aad, std::size_t aadLen,
                            const unsigned char* in, std::size_t len, const unsigned char* tag, unsigned char* out);

    // Wipes the key schedule and the hash key; Initialize is needed again.
    void Clear();

    // Caps the tier (0 portable, 1 AES-NI with PCLMULQDQ, 2 VAES with
    // VPCLMULQDQ on 256-bit registers, 3 the same on 512-bit registers)
    // from the next Initialize on; MG_PORTABLE overrides.
    void SetAccelLimit(std::int32_t level) { m_iAccelLimit = level; }
    std::int32_t Accel() const { return m_iAccel; }

private:
    void Crypt(const unsigned char* nonce, const unsigned char* aad, std::size_t aadLen, const unsigned char* in,
               std::size_t len, unsigned char* out, bool decrypt, unsigned char* tag);
    // The portable path: counter blocks through the Rijndael object, GHASH in CGhash.
    void CryptPortable(const unsigned char* j0, const unsigned char* aad, std::size_t aadLen,
                       const unsigned char* in, std::size_t len, unsigned char* out, bool decrypt,
                       unsigned char* tag);

    // The portable path's cipher, made only when that path runs: the
    // accelerated kernels keep their own compact schedule.
    std::optional<CRijndael> m_aes;
    CGhash m_ghash;
    gcm_accel::KeySchedule m_roundKeys;
    std::int32_t m_iRounds;
    // Rows are filled as messages need them (m_iPowers) and only those are
    // wiped: the object is made and cleared once per call of SEAL.
    gcm_accel::HashKey m_hashKey;
    std::size_t m_iPowers;  // of m_hashKey, computed when a message first needs them
    const gcm_accel::Kernels* m_pAccel;
    std::int32_t m_iAccelLimit;
    std::int32_t m_iAccel;
    bool m_bInitialized;
};

}  // namespace mg

#endif
