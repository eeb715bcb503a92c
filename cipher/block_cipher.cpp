#include "cipher/block_cipher.h"

#include <cstdlib>
#include <ctime>
#include <stdexcept>

#include "cpu/secure_wipe.h"

namespace mg {

IBlockCipher::IBlockCipher(std::int32_t blockSize, std::int32_t keySize)
    : m_bInitialized(false),
      m_iBlockSize(blockSize),
      m_iKeySize(keySize),
      m_iMode(kModeEcb),
      m_iPadding(kPadZeros),
      m_acIv{},
      m_acChain{},
      m_iAccelLimit(kAccelBest),
      m_iAccel(kAccelPortable)
{
}

IBlockCipher::~IBlockCipher() { IBlockCipher::Clear(); }

void IBlockCipher::Clear()
{
    SecureWipeObject(m_acIv);
    SecureWipeObject(m_acChain);
    m_bInitialized = false;
}

void IBlockCipher::CheckInitialized() const
{
    if (!m_bInitialized)
        throw std::runtime_error("FileCrypt ERROR: Encryption/Decryption Object not Initialized!");
}

void IBlockCipher::CheckKey(const unsigned char* key, std::int32_t keyLength)
{
    if (key == nullptr) throw std::runtime_error("FileCrypt ERROR: No Key DataSpecified!");
    if (keyLength < 1) throw std::runtime_error("FileCrypt ERROR: Key Data Length should be > 0!");
}

void IBlockCipher::CheckMode(std::int32_t mode, std::int32_t highestMode)
{
    if (mode < 0 || mode > highestMode) throw std::runtime_error("FileCrypt ERROR: Illegal Operation Mode!");
}

void IBlockCipher::CheckPadding(std::int32_t padding)
{
    if (padding < kPadZeros || padding > kPadRandomCount)
        throw std::runtime_error("FileCrypt ERROR: Illegal Padding Mode!");
}

void IBlockCipher::CheckLength(std::int32_t len) const
{
    // A negative length would otherwise pass as a multiple of the block.
    if (len <= 0 || len % m_iBlockSize != 0) throw std::runtime_error("Illegal Block Size!");
}

void IBlockCipher::ExpandKey(const unsigned char* key, std::int32_t keyLength, unsigned char* out,
                             std::int32_t outLen)
{
    std::int32_t k = 0;
    for (std::int32_t i = 0; i < outLen; ++i) {
        out[i] = key[k];
        if (++k == keyLength) k = 0;
    }
}

void IBlockCipher::SetIv(const unsigned char* iv)
{
    const std::size_t bs = static_cast<std::size_t>(m_iBlockSize);
    if (iv != nullptr)
        std::memcpy(m_acIv, iv, bs);
    else
        std::memset(m_acIv, 0, bs);
    std::memcpy(m_acChain, m_acIv, bs);
}

void IBlockCipher::ResetChain()
{
    CheckInitialized();
    std::memcpy(m_acChain, m_acIv, static_cast<std::size_t>(m_iBlockSize));
}

std::int32_t IBlockCipher::Pad(unsigned char* buf, std::int32_t len)
{
    CheckInitialized();
    // Writing "after" a negative length would land before the buffer.
    if (len < 0) throw std::runtime_error("Illegal Block Size!");
    const std::int32_t rest = len % m_iBlockSize;
    if (rest == 0) return len;
    const std::int32_t n = m_iBlockSize - rest;
    unsigned char* p = buf + len;
    switch (m_iPadding) {
    case kPadSpaces:
        std::memset(p, 0x20, static_cast<std::size_t>(n));
        break;
    case kPadCount:
        std::memset(p, n, static_cast<std::size_t>(n));
        break;
    case kPadZerosCount:
        std::memset(p, 0, static_cast<std::size_t>(n - 1));
        p[n - 1] = static_cast<unsigned char>(n);
        break;
    case kPadRandomCount:
        // The filler carries no secret, so the C runtime's generator, reseeded
        // from the clock, is good enough; 255 itself is never drawn.
        std::srand(static_cast<unsigned>(std::time(nullptr)));
        for (std::int32_t i = 0; i < n - 1; ++i) p[i] = static_cast<unsigned char>(std::rand() % 255);
        p[n - 1] = static_cast<unsigned char>(n);
        break;
    default:
        std::memset(p, 0, static_cast<std::size_t>(n));
        break;
    }
    return len + n;
}

void IBlockCipher::XorBlock(unsigned char* target, const unsigned char* source)
{
    CheckInitialized();
    XorBytes(target, source, static_cast<std::size_t>(m_iBlockSize));
}

}  // namespace mg
