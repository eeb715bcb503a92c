#include "cipher/chacha20.h"

#include <cstring>

#include "cipher/chacha20_kernels.h"
#include "cpu/secure_wipe.h"
#include "digest/digest_util.h"

namespace mg {

namespace {

inline std::uint32_t Rotl(std::uint32_t v, int n) { return (v << n) | (v >> (32 - n)); }

inline void QuarterRound(std::uint32_t& a, std::uint32_t& b, std::uint32_t& c, std::uint32_t& d) {
    a += b; d ^= a; d = Rotl(d, 16);
    c += d; b ^= c; b = Rotl(b, 12);
    a += b; d ^= a; d = Rotl(d, 8);
    c += d; b ^= c; b = Rotl(b, 7);
}

}  // namespace

void CChaCha20::PortableBlocks(const std::uint32_t* state, unsigned char* out, std::size_t blocks) {
    std::uint32_t x[16];
    for (std::size_t n = 0; n < blocks; ++n, out += kBlockLength) {
        std::memcpy(x, state, sizeof x);
        x[12] = state[12] + static_cast<std::uint32_t>(n);
        for (int round = 0; round < 10; ++round) {
            QuarterRound(x[0], x[4], x[8], x[12]);
            QuarterRound(x[1], x[5], x[9], x[13]);
            QuarterRound(x[2], x[6], x[10], x[14]);
            QuarterRound(x[3], x[7], x[11], x[15]);
            QuarterRound(x[0], x[5], x[10], x[15]);
            QuarterRound(x[1], x[6], x[11], x[12]);
            QuarterRound(x[2], x[7], x[8], x[13]);
            QuarterRound(x[3], x[4], x[9], x[14]);
        }
        for (int i = 0; i < 16; ++i) {
            const std::uint32_t input = i == 12 ? state[12] + static_cast<std::uint32_t>(n) : state[i];
            StoreLe32(out + 4 * i, x[i] + input);
        }
    }
    SecureWipeObject(x);
}

CChaCha20::CChaCha20(const unsigned char* key, const unsigned char* nonce, std::uint32_t counter) : m_iUsed(kBlockLength) {
    // "expand 32-byte k"
    m_aState[0] = 0x61707865;
    m_aState[1] = 0x3320646e;
    m_aState[2] = 0x79622d32;
    m_aState[3] = 0x6b206574;
    for (int i = 0; i < 8; ++i) m_aState[4 + i] = LoadLe32(key + 4 * i);
    m_aState[12] = counter;
    for (int i = 0; i < 3; ++i) m_aState[13 + i] = LoadLe32(nonce + 4 * i);
}

CChaCha20::~CChaCha20() {
    SecureWipeObject(m_aState);
    SecureWipeObject(m_aKeystream);
}

void CChaCha20::NextBlock(unsigned char* block) {
    ChaCha20Blocks(m_aState, block, 1);
    ++m_aState[12];
}

void CChaCha20::Crypt(const unsigned char* in, unsigned char* out, std::size_t length) {
    // The rest of a block begun by the previous call.
    while (length > 0 && m_iUsed < kBlockLength) {
        *out++ = static_cast<unsigned char>(*in++ ^ m_aKeystream[m_iUsed++]);
        --length;
    }
    // Whole blocks straight from the input to the output.
    if (length >= kBlockLength) {
        const std::size_t blocks = length / kBlockLength;
        ChaCha20Xor(m_aState, in, out, blocks);
        m_aState[12] += static_cast<std::uint32_t>(blocks);
        const std::size_t bytes = blocks * kBlockLength;
        in += bytes;
        out += bytes;
        length -= bytes;
    }
    if (length > 0) {
        NextBlock(m_aKeystream);
        m_iUsed = 0;
        while (length > 0) {
            *out++ = static_cast<unsigned char>(*in++ ^ m_aKeystream[m_iUsed++]);
            --length;
        }
    }
}

}  // namespace mg
