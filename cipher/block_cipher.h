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

    // Implementation tiers of the block work: 0 is the portable reference
    // code, higher tiers use more of the CPU (which tier is which is told by
    // each cipher). Results are the same on every tier.
    static constexpr std::int32_t kAccelPortable = 0;
    static constexpr std::int32_t kAccelBest = 3;

    // The slot order below is part of the interface: keep it.
    virtual ~IBlockCipher();
    virtual void GetSignature(unsigned char* out) = 0;
    virtual void Encrypt(const unsigned char* in, unsigned char* out, std::int32_t len) = 0;
    virtual void Decrypt(const unsigned char* in, unsigned char* out, std::int32_t len) = 0;
    // The same for every cipher: the signature and each cipher's own chain
    // rule make the difference.
    virtual void EncryptFile(const char* inFile, const char* outFile);
    virtual void DecryptFile(const char* inFile, const char* outFile);
    virtual void ResetChain();
    // Forgets the key: wipes the key store, the schedule, the IV and the
    // chain register, and leaves the object uninitialised. The library does
    // this when a call is done with the object; destructors do it too.
    virtual void Clear();

    // Pads buf (L = len data bytes, room for block size - 1 more) up to a
    // whole number of blocks and returns the new length.
    std::int32_t Pad(unsigned char* buf, std::int32_t len);
    void XorBlock(unsigned char* target, const unsigned char* source);

    bool IsInitialized() const { return m_bInitialized; }
    std::int32_t BlockSize() const { return m_iBlockSize; }
    std::int32_t KeySize() const { return m_iKeySize; }
    std::int32_t Mode() const { return m_iMode; }
    std::int32_t Padding() const { return m_iPadding; }

    // Caps the tier that the object uses from its next Initialize on (tests
    // and benchmarks compare the tiers); by default it uses the best one that
    // the CPU offers. The MG_PORTABLE switch (cpu/cpu_features.h) overrides.
    void SetAccelLimit(std::int32_t level) { m_iAccelLimit = level; }
    // The tier in use since the last Initialize.
    std::int32_t Accel() const { return m_iAccel; }

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

    // The mode loops over one call's blocks, after the initialisation and
    // length checks. `engine` does the block work (see modes::Encrypt);
    // `rule` says whether the chain register is written back.
    template <class Engine>
    void EncryptWith(const unsigned char* in, unsigned char* out, std::int32_t len, ChainRule rule,
                     const Engine& engine);
    template <class Engine>
    void DecryptWith(const unsigned char* in, unsigned char* out, std::int32_t len, ChainRule rule,
                     const Engine& engine);

    // The chain register a call runs on: the object's own, or a copy in
    // `local` that is never written back.
    unsigned char* CallChain(ChainRule rule, unsigned char* local)
    {
        if (rule == ChainRule::kRunsOn) return m_acChain;
        std::memcpy(local, m_acChain, static_cast<std::size_t>(m_iBlockSize));
        return local;
    }

    // The implementation tier the object may use at most (SetAccelLimit).
    std::int32_t AccelLimit() const { return m_iAccelLimit; }

    bool m_bInitialized;
    std::int32_t m_iBlockSize;
    std::int32_t m_iKeySize;
    std::int32_t m_iMode;
    std::int32_t m_iPadding;
    unsigned char m_acIv[kMaxBlockSize];
    unsigned char m_acChain[kMaxBlockSize];
    std::int32_t m_iAccelLimit;
    std::int32_t m_iAccel;

private:
    static void XorBytes(unsigned char* target, const unsigned char* source, std::size_t n)
    {
        for (std::size_t i = 0; i < n; ++i) target[i] ^= source[i];
    }
};

// The mode loops, shared by every cipher and every implementation tier.
//
// An engine does the block work. It offers
//   typename Block;                         one block in its working form
//   std::size_t BlockBytes() const;
//   Block Load(const unsigned char* p) const;   void Store(unsigned char* p, const Block& b) const;
//   Block Xor(const Block& a, const Block& b) const;
//   Block Encipher(const Block& b) const;       Block Decipher(const Block& b) const;
//   static constexpr bool kBatched;
// optionally the fused steps of the serial modes, where an engine can take
// the XOR off the chain's critical path (into a round key, say):
//   Block EncipherOfXor(const Block& v, const Block& x) const;   E(v ^ x)
//   Block XorOfEncipher(const Block& v, const Block& x) const;   E(v) ^ x
// and, when kBatched, the batched block functions for the modes whose blocks
// are independent (ECB both ways, CBC and CFB decryption):
//   void EncipherBatch(const unsigned char* src, const unsigned char* mask, unsigned char* dst,
//                      std::size_t n) const;    and DecipherBatch alike:
// block k of dst = F(block k of src) XOR block k of mask (no XOR when mask is
// null), for k < n, done in groups from the last block to the first with
// each group read whole before any of it is written. That order lets dst be
// src, or src or mask shifted by one block, as the loops below need when
// they run in place.
//
// Accelerated translation units instantiate these templates inside functions
// compiled for their instruction set, so that the block work inlines into
// the loops and the chain value stays in registers.
namespace modes {

// In and out that overlap without being the same buffer get the strict
// block-by-block order.
inline bool PartlyOverlap(const unsigned char* in, const unsigned char* out, std::size_t n)
{
    const auto a = reinterpret_cast<std::uintptr_t>(in);
    const auto b = reinterpret_cast<std::uintptr_t>(out);
    return a != b && a < b + n && b < a + n;
}

template <class Engine>
typename Engine::Block EncipherOfXor(const Engine& e, const typename Engine::Block& v,
                                     const typename Engine::Block& x)
{
    if constexpr (requires { e.EncipherOfXor(v, x); })
        return e.EncipherOfXor(v, x);
    else
        return e.Encipher(e.Xor(v, x));
}

template <class Engine>
typename Engine::Block XorOfEncipher(const Engine& e, const typename Engine::Block& v,
                                     const typename Engine::Block& x)
{
    if constexpr (requires { e.XorOfEncipher(v, x); })
        return e.XorOfEncipher(v, x);
    else
        return e.Xor(e.Encipher(v), x);
}

// `chain` is read before the first block and holds the chain value after the
// last one (left alone in ECB).
template <class Engine>
void Encrypt(const Engine& e, std::int32_t mode, unsigned char* chain, const unsigned char* in, unsigned char* out,
             std::size_t count)
{
    using Block = typename Engine::Block;
    const std::size_t bs = e.BlockBytes();
    switch (mode) {
    case IBlockCipher::kModeCbc: {  // v = E(v ^ x); y = v
        Block v = e.Load(chain);
        for (std::size_t b = 0; b < count; ++b, in += bs, out += bs) {
            v = EncipherOfXor(e, v, e.Load(in));
            e.Store(out, v);
        }
        e.Store(chain, v);
        break;
    }
    case IBlockCipher::kModeCfb: {  // y = E(v) ^ x; v = y
        Block v = e.Load(chain);
        for (std::size_t b = 0; b < count; ++b, in += bs, out += bs) {
            v = XorOfEncipher(e, v, e.Load(in));
            e.Store(out, v);
        }
        e.Store(chain, v);
        break;
    }
    case IBlockCipher::kModeOfb: {  // v = E(v); y = v ^ x
        Block v = e.Load(chain);
        for (std::size_t b = 0; b < count; ++b, in += bs, out += bs) {
            v = e.Encipher(v);
            e.Store(out, e.Xor(v, e.Load(in)));
        }
        e.Store(chain, v);
        break;
    }
    default:
        if constexpr (Engine::kBatched) {
            if (!PartlyOverlap(in, out, count * bs)) {
                e.EncipherBatch(in, nullptr, out, count);
                break;
            }
        }
        for (std::size_t b = 0; b < count; ++b, in += bs, out += bs) e.Store(out, e.Encipher(e.Load(in)));
        break;
    }
}

template <class Engine>
void Decrypt(const Engine& e, std::int32_t mode, unsigned char* chain, const unsigned char* in, unsigned char* out,
             std::size_t count)
{
    using Block = typename Engine::Block;
    const std::size_t bs = e.BlockBytes();
    switch (mode) {
    case IBlockCipher::kModeCbc: {  // x = D(y) ^ v; v = y
        Block v = e.Load(chain);
        if constexpr (Engine::kBatched) {
            if (count >= 2 && !PartlyOverlap(in, out, count * bs)) {
                const Block last = e.Load(in + (count - 1) * bs);
                e.DecipherBatch(in + bs, in, out + bs, count - 1);
                e.Store(out, e.Xor(e.Decipher(e.Load(in)), v));
                e.Store(chain, last);
                break;
            }
        }
        for (std::size_t b = 0; b < count; ++b, in += bs, out += bs) {
            const Block y = e.Load(in);
            e.Store(out, e.Xor(e.Decipher(y), v));
            v = y;
        }
        e.Store(chain, v);
        break;
    }
    case IBlockCipher::kModeCfb: {  // x = E(v) ^ y; v = y
        Block v = e.Load(chain);
        if constexpr (Engine::kBatched) {
            if (count >= 2 && !PartlyOverlap(in, out, count * bs)) {
                const Block last = e.Load(in + (count - 1) * bs);
                e.EncipherBatch(in, in + bs, out + bs, count - 1);
                e.Store(out, XorOfEncipher(e, v, e.Load(in)));
                e.Store(chain, last);
                break;
            }
        }
        for (std::size_t b = 0; b < count; ++b, in += bs, out += bs) {
            const Block y = e.Load(in);
            e.Store(out, XorOfEncipher(e, v, y));
            v = y;
        }
        e.Store(chain, v);
        break;
    }
    case IBlockCipher::kModeOfb:  // v = E(v); x = v ^ y: the same keystream as encryption
        Encrypt(e, mode, chain, in, out, count);
        break;
    default:
        if constexpr (Engine::kBatched) {
            if (!PartlyOverlap(in, out, count * bs)) {
                e.DecipherBatch(in, nullptr, out, count);
                break;
            }
        }
        for (std::size_t b = 0; b < count; ++b, in += bs, out += bs) e.Store(out, e.Decipher(e.Load(in)));
        break;
    }
}

}  // namespace modes

template <class Engine>
void IBlockCipher::EncryptWith(const unsigned char* in, unsigned char* out, std::int32_t len, ChainRule rule,
                               const Engine& engine)
{
    CheckInitialized();
    CheckLength(len);
    unsigned char local[kMaxBlockSize];
    unsigned char* chain = CallChain(rule, local);
    modes::Encrypt(engine, m_iMode, chain, in, out, static_cast<std::size_t>(len / m_iBlockSize));
}

template <class Engine>
void IBlockCipher::DecryptWith(const unsigned char* in, unsigned char* out, std::int32_t len, ChainRule rule,
                               const Engine& engine)
{
    CheckInitialized();
    CheckLength(len);
    unsigned char local[kMaxBlockSize];
    unsigned char* chain = CallChain(rule, local);
    modes::Decrypt(engine, m_iMode, chain, in, out, static_cast<std::size_t>(len / m_iBlockSize));
}

}  // namespace mg

#endif
