// Rijndael in its general form: key and block of 16, 24 or 32 bytes each,
// chosen independently. With a 16-byte block this is AES.
#ifndef MG_CIPHER_RIJNDAEL_H
#define MG_CIPHER_RIJNDAEL_H

#include <cstdint>

#include "cipher/block_cipher.h"
#include "cipher/rijndael_accel.h"

namespace mg {

class CRijndael : public IBlockCipher {
public:
    static constexpr std::int32_t kHighestMode = 4;  // 4 is accepted and runs as ECB

    CRijndael();
    ~CRijndael() override;

    // iv: block size bytes are read. The key is repeated cyclically (or cut)
    // to keySize bytes.
    void Initialize(const unsigned char* key, std::int32_t keyLength, const unsigned char* iv,
                    std::int32_t keySize, std::int32_t blockSize, std::int32_t mode, std::int32_t padding);

    void GetSignature(unsigned char* out) override;
    void Encrypt(const unsigned char* in, unsigned char* out, std::int32_t len) override;
    void Decrypt(const unsigned char* in, unsigned char* out, std::int32_t len) override;
    void Clear() override;

    // The expanded key, KeySize() bytes; the file signature covers it.
    const unsigned char* KeyStore() const { return m_acKeyStore; }
    std::int32_t Rounds() const { return m_iRounds; }
    // The round keys as the AES instructions read them; filled only while
    // Accel() is above 0 (other modes of AES, such as GCM, run on them).
    const rijndael_accel::Keys& AccelKeys() const { return m_accelKeys; }

private:
    static constexpr int kMaxRounds = 14;
    static constexpr int kMaxColumns = kMaxBlockSize / 4;

    // inverse: also apply InvMixColumns to the inner decryption rows (the
    // portable code needs them; the AES instructions make their own).
    void ExpandSchedule(bool inverse);

    unsigned char m_acKeyStore[32];
    std::uint32_t m_auEncKey[kMaxRounds + 1][kMaxColumns];
    std::uint32_t m_auDecKey[kMaxRounds + 1][kMaxColumns];
    std::int32_t m_iRounds;
    // The schedule as the AES instructions want it, and their kernels, when
    // the CPU has them (tiers: 1 AES-NI, 3 VAES on 512-bit registers).
    rijndael_accel::Keys m_accelKeys;
    const rijndael_accel::Kernels* m_pAccel;
};

}  // namespace mg

#endif
