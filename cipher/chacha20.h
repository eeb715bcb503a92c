// The ChaCha20 stream cipher of RFC 8439: a 256-bit key, a 96-bit nonce and a
// 32-bit block counter. The keystream is XORed onto the data, so the same
// call encrypts and decrypts.
#ifndef MG_CIPHER_CHACHA20_H
#define MG_CIPHER_CHACHA20_H

#include <cstddef>
#include <cstdint>

namespace mg {

class CChaCha20 {
public:
    static constexpr std::size_t kKeyLength = 32;
    static constexpr std::size_t kNonceLength = 12;
    static constexpr std::size_t kBlockLength = 64;

    CChaCha20(const unsigned char* key, const unsigned char* nonce, std::uint32_t counter = 0);
    ~CChaCha20();
    CChaCha20(const CChaCha20&) = delete;
    CChaCha20& operator=(const CChaCha20&) = delete;

    // XORs the next `length` keystream bytes onto `in` into `out` (which may
    // be `in`). A call may end inside a block; the next one goes on from there.
    void Crypt(const unsigned char* in, unsigned char* out, std::size_t length);

    // One keystream block for the state's current counter; the counter moves on.
    void NextBlock(unsigned char* block);

    // The portable block function, for tests of the accelerated ones.
    static void PortableBlocks(const std::uint32_t* state, unsigned char* out, std::size_t blocks);

private:
    std::uint32_t m_aState[16];
    unsigned char m_aKeystream[kBlockLength];
    std::size_t m_iUsed;  // keystream bytes of m_aKeystream already consumed
};

}  // namespace mg

#endif
