// Blowfish with big-endian blocks. Unlike the other ciphers, every Encrypt and
// Decrypt call starts chaining again from the IV, which is why encrypted
// files restart the chain at each chunk.
#ifndef MG_CIPHER_BLOWFISH_H
#define MG_CIPHER_BLOWFISH_H

#include <cstdint>

#include "cipher/block_cipher.h"
#include "cipher/blowfish_accel.h"

namespace mg {

class CBlowfish : public IBlockCipher {
public:
    static constexpr std::int32_t kKeyStoreSize = 56;

    CBlowfish();
    ~CBlowfish() override;

    // iv: word 0 goes with the first four bytes of a block, read big-endian.
    // Keys longer than 56 bytes count with their first 56 bytes.
    void Initialize(const unsigned char* key, std::int32_t keyLength, const std::uint32_t iv[2],
                    std::int32_t mode, std::int32_t padding);

    void GetSignature(unsigned char* out) override;
    void Encrypt(const unsigned char* in, unsigned char* out, std::int32_t len) override;
    void Decrypt(const unsigned char* in, unsigned char* out, std::int32_t len) override;
    void Clear() override;

    const unsigned char* KeyStore() const { return m_acKeyStore; }

private:
    void BuildSchedule();
    std::uint32_t F(std::uint32_t x) const;
    void EncipherWords(std::uint32_t& l, std::uint32_t& r) const;
    void DecipherWords(std::uint32_t& l, std::uint32_t& r) const;
    class Engine;

    unsigned char m_acKeyStore[kKeyStoreSize];
    // Key bytes that went into the schedule (at most 56): together with the
    // key store it tells whether a new key needs a new schedule.
    std::int32_t m_iScheduleKeyLength;
    std::uint32_t m_auP[18];
    std::uint32_t m_auS[4][256];
    // Kernels for many blocks at once (tier 1: eight blocks interleaved).
    const blowfish_accel::Kernels* m_pAccel;
};

}  // namespace mg

#endif
