// TEA as the library knows it: the XTEA block function (64-bit block, 128-bit
// key, 32 cycles) on big-endian words, with the chain running on between calls.
#ifndef MG_CIPHER_TEA_H
#define MG_CIPHER_TEA_H

#include <cstdint>

#include "cipher/block_cipher.h"
#include "cipher/tea_accel.h"

namespace mg {

class CTea : public IBlockCipher {
public:
    static constexpr std::int32_t kKeyStoreSize = 16;

    CTea();
    ~CTea() override;

    // iv: 8 bytes. The key is repeated cyclically (or cut) to 16 bytes.
    void Initialize(const unsigned char* key, std::int32_t keyLength, const unsigned char* iv,
                    std::int32_t mode, std::int32_t padding);

    void GetSignature(unsigned char* out) override;
    void Encrypt(const unsigned char* in, unsigned char* out, std::int32_t len) override;
    void Decrypt(const unsigned char* in, unsigned char* out, std::int32_t len) override;
    void Clear() override;

    const unsigned char* KeyStore() const { return m_acKeyStore; }

private:
    unsigned char m_acKeyStore[kKeyStoreSize];
    std::uint32_t m_auKey[4];
    // The round constants of the key and the vector kernels, when the CPU
    // has vector units (tiers: 1 SSE2, 2 AVX2, 3 AVX-512).
    tea_accel::Schedule m_accelSchedule;
    const tea_accel::Kernels* m_pAccel;
};

}  // namespace mg

#endif
