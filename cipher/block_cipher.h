// Common ground of the library's block ciphers: the virtual interface the
// library functions call, the state every cipher carries, padding, and the one
// implementation of the four operation modes that all ciphers run through.
#ifndef MG_CIPHER_BLOCK_CIPHER_H
#define MG_CIPHER_BLOCK_CIPHER_H

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace mg {

class IBlockCipher {
public:
    // Operation modes; any other value held by an object runs as ECB.
    static constexpr std::int32_t kModeEcb = 0;
    static constexpr std::int32_t kModeCbc = 1;
    static constexpr std::int32_t kModeCfb = 2;
    static constexpr std::int32_t kModeOfb = 3;

    // Padding modes for Pad.
    static constexpr std::int32_t kPadZeros = 0;
    static constexpr std::int32_t kPadSpaces = 1;
    static constexpr std::int32_t kPadCount = 2;       // n bytes of value n
    static constexpr std::int32_t kPadZerosCount = 3;  // zeros, then n
    static constexpr std::int32_t kPadRandomCount = 4; // random bytes, then n

    static constexpr std::int32_t kMaxBlockSize = 32;

    // The slot order below is part of the interface: keep it.
    virtual ~IBlockCipher();
    virtual void GetSignature(unsigned char* out) = 0;
    virtual void Encrypt(const unsigned char* in, unsigned char* out, std::int32_t len) = 0;
    virtual void Decrypt(const unsigned char* in, unsigned char* out, std::int32_t len) = 0;
    virtual void EncryptFile(const char* inFile, const char* outFile) = 0;
    virtual void DecryptFile(const char* inFile, const char* outFile) = 0;
    virtual void ResetChain();

    // Pads buf (L = len data bytes, room for block size - 1 more) up to a
    // whole number of blocks and returns the new length.
    std::int32_t Pad(unsigned char* buf, std::int32_t len);
    void XorBlock(unsigned char* target, const unsigned char* source);

    bool IsInitialized() const { return m_bInitialized; }
    std::int32_t BlockSize() const { return m_iBlockSize; }
    std::int32_t KeySize() const { return m_iKeySize; }
    std::int32_t Mode() const { return m_iMode; }
    std::int32_t Padding() const { return m_iPadding; }

protected:
    // Rijndael and TEA let the chain run on from one call to the next;
    // Blowfish starts every call from the chain register it was given.
    enum class ChainRule { kRunsOn, kRestartsEachCall };

    IBlockCipher(std::int32_t blockSize, std::int32_t keySize);

    // Precondition checks, so that Initialize can run all of them before it
    // writes anything.
    void CheckInitialized() const;
    static void CheckKey(const unsigned char* key, std::int32_t keyLength);
    static void CheckMode(std::int32_t mode, std::int32_t highestMode);
    static void CheckPadding(std::int32_t padding);
    void CheckLength(std::int32_t len) const;

    // Repeats key cyclically (or cuts it) to fill out[0..outLen).
    static void ExpandKey(const unsigned char* key, std::int32_t keyLength, unsigned char* out,
                          std::int32_t outLen);
    // Stores the IV (block size bytes; nullptr counts as all zero) and
    // restarts the chain from it.
    void SetIv(const unsigned char* iv);

    // The mode loops. enc and dec are callables (const unsigned char* src,
    // unsigned char* dst) for one block that allow src == dst. Each block is
    // read whole before its result is written, so in and out may be the
    // same buffer.
    template <class EncFn>
    void EncryptBlocks(const unsigned char* in, unsigned char* out, std::int32_t len, ChainRule rule,
                       EncFn enc);
    template <class EncFn, class DecFn>
    void DecryptBlocks(const unsigned char* in, unsigned char* out, std::int32_t len, ChainRule rule,
                       EncFn enc, DecFn dec);

    bool m_bInitialized;
    std::int32_t m_iBlockSize;
    std::int32_t m_iKeySize;
    std::int32_t m_iMode;
    std::int32_t m_iPadding;
    unsigned char m_acIv[kMaxBlockSize];
    unsigned char m_acChain[kMaxBlockSize];

private:
    static void XorBytes(unsigned char* target, const unsigned char* source, std::size_t n)
    {
        for (std::size_t i = 0; i < n; ++i) target[i] ^= source[i];
    }
};

template <class EncFn>
void IBlockCipher::EncryptBlocks(const unsigned char* in, unsigned char* out, std::int32_t len,
                                 ChainRule rule, EncFn enc)
{
    CheckInitialized();
    CheckLength(len);
    const std::size_t bs = static_cast<std::size_t>(m_iBlockSize);
    const std::size_t count = static_cast<std::size_t>(len) / bs;
    unsigned char local[kMaxBlockSize];
    unsigned char* v = m_acChain;
    if (rule == ChainRule::kRestartsEachCall) {
        std::memcpy(local, m_acChain, bs);
        v = local;
    }
    unsigned char x[kMaxBlockSize];
    for (std::size_t b = 0; b < count; ++b, in += bs, out += bs) {
        switch (m_iMode) {
        case kModeCbc:  // v = E(v ^ x); y = v
            std::memcpy(x, in, bs);
            XorBytes(v, x, bs);
            enc(v, v);
            std::memcpy(out, v, bs);
            break;
        case kModeCfb:  // y = E(v) ^ x; v = y
            std::memcpy(x, in, bs);
            enc(v, v);
            XorBytes(v, x, bs);
            std::memcpy(out, v, bs);
            break;
        case kModeOfb:  // v = E(v); y = v ^ x
            enc(v, v);
            for (std::size_t i = 0; i < bs; ++i) out[i] = static_cast<unsigned char>(in[i] ^ v[i]);
            break;
        default:
            enc(in, out);
            break;
        }
    }
}

template <class EncFn, class DecFn>
void IBlockCipher::DecryptBlocks(const unsigned char* in, unsigned char* out, std::int32_t len,
                                 ChainRule rule, EncFn enc, DecFn dec)
{
    CheckInitialized();
    CheckLength(len);
    const std::size_t bs = static_cast<std::size_t>(m_iBlockSize);
    const std::size_t count = static_cast<std::size_t>(len) / bs;
    unsigned char local[kMaxBlockSize];
    unsigned char* v = m_acChain;
    if (rule == ChainRule::kRestartsEachCall) {
        std::memcpy(local, m_acChain, bs);
        v = local;
    }
    unsigned char y[kMaxBlockSize];
    for (std::size_t b = 0; b < count; ++b, in += bs, out += bs) {
        switch (m_iMode) {
        case kModeCbc:  // x = D(y) ^ v; v = y
            std::memcpy(y, in, bs);
            dec(y, out);
            XorBytes(out, v, bs);
            std::memcpy(v, y, bs);
            break;
        case kModeCfb:  // x = E(v) ^ y; v = y
            std::memcpy(y, in, bs);
            enc(v, v);
            for (std::size_t i = 0; i < bs; ++i) out[i] = static_cast<unsigned char>(v[i] ^ y[i]);
            std::memcpy(v, y, bs);
            break;
        case kModeOfb:  // v = E(v); x = v ^ y
            enc(v, v);
            for (std::size_t i = 0; i < bs; ++i) out[i] = static_cast<unsigned char>(in[i] ^ v[i]);
            break;
        default:
            dec(in, out);
            break;
        }
    }
}

}  // namespace mg

#endif
