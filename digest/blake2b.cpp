#include "digest/blake2b.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "cpu/secure_wipe.h"

namespace mg {
namespace {

// RFC 7693, sections 2.6 and 2.7.
constexpr std::uint64_t kIv[8] = {0x6A09E667F3BCC908, 0xBB67AE8584CAA73B, 0x3C6EF372FE94F82B,
                                  0xA54FF53A5F1D36F1, 0x510E527FADE682D1, 0x9B05688C2B3E6C1F,
                                  0x1F83D9ABFB41BD6B, 0x5BE0CD19137E2179};

constexpr unsigned char kSigma[12][16] = {
    {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}, {14, 10, 4, 8, 9, 15, 13, 6, 1, 12, 0, 2, 11, 7, 5, 3},
    {11, 8, 12, 0, 5, 2, 15, 13, 10, 14, 3, 6, 7, 1, 9, 4}, {7, 9, 3, 1, 13, 12, 11, 14, 2, 6, 5, 10, 4, 0, 15, 8},
    {9, 0, 5, 7, 2, 4, 10, 15, 14, 1, 11, 12, 6, 8, 3, 13}, {2, 12, 6, 10, 0, 11, 8, 3, 4, 13, 7, 5, 15, 14, 1, 9},
    {12, 5, 1, 15, 14, 13, 4, 10, 0, 7, 6, 3, 9, 2, 8, 11}, {13, 11, 7, 14, 12, 1, 3, 9, 5, 0, 15, 4, 8, 6, 2, 10},
    {6, 15, 14, 9, 11, 3, 0, 8, 12, 2, 13, 7, 1, 4, 10, 5}, {10, 2, 8, 4, 7, 6, 1, 5, 15, 11, 9, 14, 3, 12, 13, 0},
    {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}, {14, 10, 4, 8, 9, 15, 13, 6, 1, 12, 0, 2, 11, 7, 5, 3},
};

inline std::uint64_t Rotr(std::uint64_t x, int n) { return (x >> n) | (x << (64 - n)); }

inline std::uint64_t LoadLe64(const unsigned char* p) {
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}

inline void Mix(std::uint64_t* v, int a, int b, int c, int d, std::uint64_t x, std::uint64_t y) {
    v[a] += v[b] + x;
    v[d] = Rotr(v[d] ^ v[a], 32);
    v[c] += v[d];
    v[b] = Rotr(v[b] ^ v[c], 24);
    v[a] += v[b] + y;
    v[d] = Rotr(v[d] ^ v[a], 16);
    v[c] += v[d];
    v[b] = Rotr(v[b] ^ v[c], 63);
}

}  // namespace

CBlake2b::CBlake2b(std::size_t outLength, const unsigned char* key, std::size_t keyLength)
    : m_aCount{0, 0}, m_aBuffer{}, m_iFill(0), m_iOutLength(outLength) {
    if (outLength == 0 || outLength > kMaxOutput || keyLength > kMaxKey)
        throw std::invalid_argument("BLAKE2b output or key length out of range");
    for (int i = 0; i < 8; ++i) m_aState[i] = kIv[i];
    m_aState[0] ^= 0x01010000u ^ (static_cast<std::uint64_t>(keyLength) << 8) ^ outLength;
    if (keyLength != 0) {
        std::memcpy(m_aBuffer, key, keyLength);
        m_iFill = sizeof m_aBuffer;
    }
}

CBlake2b::~CBlake2b() {
    SecureWipeObject(m_aState);
    SecureWipeObject(m_aBuffer);
}

void CBlake2b::Compress(const unsigned char* block, bool last) {
    std::uint64_t m[16];
    for (int i = 0; i < 16; ++i) m[i] = LoadLe64(block + 8 * i);
    std::uint64_t v[16];
    for (int i = 0; i < 8; ++i) {
        v[i] = m_aState[i];
        v[i + 8] = kIv[i];
    }
    v[12] ^= m_aCount[0];
    v[13] ^= m_aCount[1];
    if (last) v[14] = ~v[14];
    for (const auto& s : kSigma) {
        Mix(v, 0, 4, 8, 12, m[s[0]], m[s[1]]);
        Mix(v, 1, 5, 9, 13, m[s[2]], m[s[3]]);
        Mix(v, 2, 6, 10, 14, m[s[4]], m[s[5]]);
        Mix(v, 3, 7, 11, 15, m[s[6]], m[s[7]]);
        Mix(v, 0, 5, 10, 15, m[s[8]], m[s[9]]);
        Mix(v, 1, 6, 11, 12, m[s[10]], m[s[11]]);
        Mix(v, 2, 7, 8, 13, m[s[12]], m[s[13]]);
        Mix(v, 3, 4, 9, 14, m[s[14]], m[s[15]]);
    }
    for (int i = 0; i < 8; ++i) m_aState[i] ^= v[i] ^ v[i + 8];
    SecureWipeObject(m);
    SecureWipeObject(v);
}

void CBlake2b::Update(const unsigned char* data, std::size_t length) {
    // The last block is held back: only Final knows that it is the last.
    while (length != 0) {
        if (m_iFill == sizeof m_aBuffer) {
            m_aCount[0] += sizeof m_aBuffer;
            if (m_aCount[0] < sizeof m_aBuffer) ++m_aCount[1];
            Compress(m_aBuffer, false);
            m_iFill = 0;
        }
        const std::size_t take = std::min(length, sizeof m_aBuffer - m_iFill);
        std::memcpy(m_aBuffer + m_iFill, data, take);
        m_iFill += take;
        data += take;
        length -= take;
    }
}

void CBlake2b::Final(unsigned char* out) {
    m_aCount[0] += m_iFill;
    if (m_aCount[0] < m_iFill) ++m_aCount[1];
    std::memset(m_aBuffer + m_iFill, 0, sizeof m_aBuffer - m_iFill);
    Compress(m_aBuffer, true);
    unsigned char full[kMaxOutput];
    for (int i = 0; i < 8; ++i)
        for (int k = 0; k < 8; ++k) full[8 * i + k] = static_cast<unsigned char>(m_aState[i] >> (8 * k));
    std::memcpy(out, full, m_iOutLength);
    SecureWipeObject(full);
}

void CBlake2b::Hash(unsigned char* out, std::size_t outLength, const unsigned char* data, std::size_t length) {
    CBlake2b b(outLength);
    b.Update(data, length);
    b.Final(out);
}

}  // namespace mg
