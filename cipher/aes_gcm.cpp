#include "cipher/aes_gcm.h"

#include <cstring>
#include <stdexcept>

#include "cipher/byte_order.h"
#include "cpu/secure_wipe.h"

namespace mg {

CAesGcm::CAesGcm()
    : m_iRounds(0), m_iPowers(0), m_pAccel(nullptr), m_iAccelLimit(IBlockCipher::kAccelBest), m_iAccel(0),
      m_bInitialized(false)
{
}

CAesGcm::~CAesGcm() { Clear(); }

void CAesGcm::Clear()
{
    m_aes.reset();  // its destructor wipes its schedule
    m_ghash.Clear();
    if (m_iRounds > 0) SecureWipe(m_roundKeys, sizeof m_roundKeys);
    if (m_iPowers > 0) {
        SecureWipe(m_hashKey.powers[gcm_accel::kPowers - m_iPowers], 16 * m_iPowers);
        SecureWipe(m_hashKey.folded[gcm_accel::kPowers - m_iPowers], 16 * m_iPowers);
    }
    m_iRounds = 0;
    m_iPowers = 0;
    m_bInitialized = false;
}

void CAesGcm::Initialize(const unsigned char* key, std::size_t keyLength)
{
    if (!IsKeySize(keyLength)) throw std::invalid_argument("AES-GCM key must be 16, 24 or 32 bytes");
    if (m_bInitialized) Clear();
    m_pAccel = gcm_accel::Select(m_iAccelLimit, &m_iAccel);
    if (m_pAccel != nullptr) {
        m_iRounds = static_cast<std::int32_t>(keyLength / 4 + 6);
        m_pAccel->expand(key, keyLength, m_roundKeys);
        // H alone: a short message, the usual case of a call, needs no more.
        m_pAccel->prepare(m_roundKeys, m_iRounds, m_hashKey, 0, 1);
        m_iPowers = 1;
    } else {
        m_aes.emplace();
        m_aes->SetAccelLimit(IBlockCipher::kAccelPortable);
        m_aes->Initialize(key, static_cast<std::int32_t>(keyLength), nullptr, static_cast<std::int32_t>(keyLength),
                          16, IBlockCipher::kModeEcb, IBlockCipher::kPadZeros);
        unsigned char h[16] = {};
        ScopedWipe wipeH(h);
        m_aes->Encrypt(h, h, 16);
        m_ghash.SetKey(h);
    }
    m_bInitialized = true;
}

void CAesGcm::Crypt(const unsigned char* nonce, const unsigned char* aad, std::size_t aadLen,
                    const unsigned char* in, std::size_t len, unsigned char* out, bool decrypt, unsigned char* tag)
{
    if (!m_bInitialized) throw std::logic_error("AES-GCM used without a key");
    // The pre-counter block of a 96-bit nonce: the nonce and a 32-bit 1.
    unsigned char j0[16];
    std::memcpy(j0, nonce, kNonceSize);
    StoreBe32(j0 + 12, 1);
    if (m_pAccel != nullptr) {
        const std::size_t blocks = ((aadLen > len ? aadLen : len) + 15) / 16;
        if (blocks > m_iPowers && m_iPowers < gcm_accel::kPowers) {
            m_pAccel->prepare(m_roundKeys, m_iRounds, m_hashKey, m_iPowers, blocks);
            m_iPowers = blocks < gcm_accel::kPowers ? blocks : gcm_accel::kPowers;
        }
        m_pAccel->crypt(m_roundKeys, m_iRounds, m_hashKey, j0, aad, aadLen, in, out, len, decrypt, tag);
    } else {
        CryptPortable(j0, aad, aadLen, in, len, out, decrypt, tag);
    }
}

void CAesGcm::CryptPortable(const unsigned char* j0, const unsigned char* aad, std::size_t aadLen,
                            const unsigned char* in, std::size_t len, unsigned char* out, bool decrypt,
                            unsigned char* tag)
{
    constexpr std::size_t kChunk = 1024;
    unsigned char stream[kChunk];
    ScopedWipe wipeStream(stream);
    m_ghash.Reset();
    m_ghash.Update(aad, aadLen);
    std::uint32_t counter = 2;
    for (std::size_t done = 0; done < len;) {
        const std::size_t n = len - done < kChunk ? len - done : kChunk;
        const std::size_t padded = (n + 15) & ~std::size_t{15};
        for (std::size_t b = 0; b < padded; b += 16, ++counter) {
            std::memcpy(stream + b, j0, 12);
            StoreBe32(stream + b + 12, counter);
        }
        m_aes->Encrypt(stream, stream, static_cast<std::int32_t>(padded));
        if (decrypt) m_ghash.Update(in + done, n);
        for (std::size_t i = 0; i < n; ++i) out[done + i] = static_cast<unsigned char>(in[done + i] ^ stream[i]);
        if (!decrypt) m_ghash.Update(out + done, n);
        done += n;
    }
    m_ghash.AddLengths(aadLen, len);
    unsigned char s[16];
    m_ghash.Digest(s);
    std::memcpy(stream, j0, 16);
    m_aes->Encrypt(stream, stream, 16);
    for (std::size_t i = 0; i < 16; ++i) tag[i] = static_cast<unsigned char>(s[i] ^ stream[i]);
}

void CAesGcm::Seal(const unsigned char* nonce, const unsigned char* aad, std::size_t aadLen,
                   const unsigned char* in, std::size_t len, unsigned char* out, unsigned char* tag)
{
    Crypt(nonce, aad, aadLen, in, len, out, false, tag);
}

bool CAesGcm::Open(const unsigned char* nonce, const unsigned char* aad, std::size_t aadLen,
                   const unsigned char* in, std::size_t len, const unsigned char* tag, unsigned char* out)
{
    unsigned char expected[kTagSize];
    Crypt(nonce, aad, aadLen, in, len, out, true, expected);
    // Every byte compared whatever the first difference: the time says
    // nothing about how much of a forged tag was right.
    unsigned char diff = 0;
    for (std::size_t i = 0; i < kTagSize; ++i) diff = static_cast<unsigned char>(diff | (expected[i] ^ tag[i]));
    if (diff == 0) return true;
    SecureWipe(out, len);
    return false;
}

}  // namespace mg
