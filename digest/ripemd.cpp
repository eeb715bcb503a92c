#include "digest/ripemd.h"

#include <sstream>
#include <stdexcept>
#include <utility>

#include "cpu/secure_wipe.h"
#include "digest/digest_kernels.h"
#include "digest/digest_util.h"

namespace mg {

namespace {

// Message-word order and rotation amounts of the left and right lines, as
// published with RIPEMD-160 (Dobbertin, Bosselaers, Preneel, 1996); RIPEMD-128
// uses the first four rounds of the same tables.
constexpr int kRl[80] = {0, 1, 2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15,
                         7, 4, 13, 1,  10, 6,  15, 3,  12, 0,  9,  5,  2,  14, 11, 8,
                         3, 10, 14, 4, 9,  15, 8,  1,  2,  7,  0,  6,  13, 11, 5,  12,
                         1, 9, 11, 10, 0,  8,  12, 4,  13, 3,  7,  15, 14, 5,  6,  2,
                         4, 0, 5,  9,  7,  12, 2,  10, 14, 1,  3,  8,  11, 6,  15, 13};
constexpr int kRr[80] = {5,  14, 7,  0, 9, 2,  11, 4,  13, 6,  15, 8,  1,  10, 3,  12,
                         6,  11, 3,  7, 0, 13, 5,  10, 14, 15, 8,  12, 4,  9,  1,  2,
                         15, 5,  1,  3, 7, 14, 6,  9,  11, 8,  12, 2,  10, 0,  4,  13,
                         8,  6,  4,  1, 3, 11, 15, 0,  5,  12, 2,  13, 9,  7,  10, 14,
                         12, 15, 10, 4, 1, 5,  8,  7,  6,  2,  13, 14, 0,  3,  9,  11};
constexpr int kSl[80] = {11, 14, 15, 12, 5,  8,  7,  9,  11, 13, 14, 15, 6,  7,  9,  8,
                         7,  6,  8,  13, 11, 9,  7,  15, 7,  12, 15, 9,  11, 7,  13, 12,
                         11, 13, 6,  7,  14, 9,  13, 15, 14, 8,  13, 6,  5,  12, 7,  5,
                         11, 12, 14, 15, 14, 15, 9,  8,  9,  14, 5,  6,  8,  6,  5,  12,
                         9,  15, 5,  11, 6,  8,  13, 12, 5,  12, 13, 14, 11, 8,  5,  6};
constexpr int kSr[80] = {8,  9,  9,  11, 13, 15, 15, 5,  7,  7,  8,  11, 14, 14, 12, 6,
                         9,  13, 15, 7,  12, 8,  9,  11, 7,  7,  12, 7,  6,  15, 13, 11,
                         9,  7,  15, 11, 8,  6,  6,  14, 12, 13, 5,  14, 13, 13, 7,  5,
                         15, 5,  8,  11, 14, 14, 6,  14, 6,  9,  12, 9,  12, 5,  15, 8,
                         8,  5,  12, 9,  12, 5,  14, 6,  8,  13, 6,  5,  15, 13, 11, 11};

constexpr std::uint32_t kKl[5] = {0x00000000, 0x5A827999, 0x6ED9EBA1, 0x8F1BBCDC, 0xA953FD4E};
constexpr std::uint32_t kKr160[5] = {0x50A28BE6, 0x5C4DD124, 0x6D703EF3, 0x7A6D76E9, 0x00000000};
constexpr std::uint32_t kKr128[4] = {0x50A28BE6, 0x5C4DD124, 0x6D703EF3, 0x00000000};

// One step of a line: the Boolean function F (numbered 0..4 in the order of
// the left line) of b, c, d is added to a with the message word and the
// constant. Only b is fresh from the step before, so the terms without b are
// added first. F3 = (b & d) | (c & ~d) has disjoint halves and is added in
// two parts, the one without b early.
template <int F>
inline __attribute__((always_inline)) std::uint32_t AddFn(std::uint32_t t, std::uint32_t x, std::uint32_t y,
                                                          std::uint32_t z) {
    if constexpr (F == 0) return t + (x ^ (y ^ z));
    else if constexpr (F == 1) return t + (z ^ (x & (y ^ z)));
    else if constexpr (F == 2) return t + ((x | ~y) ^ z);
    else if constexpr (F == 3) return (t + (y & ~z)) + (x & z);
    else return t + (x ^ (y | ~z));
}

// Steps with rotating roles of the working words (compile-time indices).
// The left and right lines are independent until the end of the block, so
// their steps alternate: two dependency chains for the processor to overlap.
template <int J, bool Right>
inline __attribute__((always_inline)) void Step128(std::uint32_t (&v)[4], const unsigned char* block) {
    constexpr int a = (4 - J % 4) % 4, b = (a + 1) % 4, c = (a + 2) % 4, d = (a + 3) % 4;
    constexpr int round = J / 16;
    constexpr int f = Right ? 3 - round : round;
    constexpr std::uint32_t k = Right ? kKr128[round] : kKl[round];
    constexpr int r = Right ? kRr[J] : kRl[J];
    constexpr int s = Right ? kSr[J] : kSl[J];
    v[a] = Rotl32(AddFn<f>(v[a] + LoadLe32(block + 4 * r) + k, v[b], v[c], v[d]), s);
}

template <int J, bool Right>
inline __attribute__((always_inline)) void Step160(std::uint32_t (&v)[5], const unsigned char* block) {
    constexpr int a = (5 - J % 5) % 5, b = (a + 1) % 5, c = (a + 2) % 5, d = (a + 3) % 5, e = (a + 4) % 5;
    constexpr int round = J / 16;
    constexpr int f = Right ? 4 - round : round;
    constexpr std::uint32_t k = Right ? kKr160[round] : kKl[round];
    constexpr int r = Right ? kRr[J] : kRl[J];
    constexpr int s = Right ? kSr[J] : kSl[J];
    v[a] = Rotl32(AddFn<f>(v[a] + LoadLe32(block + 4 * r) + k, v[b], v[c], v[d]), s) + v[e];
    v[c] = Rotl32(v[c], 10);
}

template <std::size_t... J>
inline __attribute__((always_inline)) void Lines128(std::uint32_t (&l)[4], std::uint32_t (&r)[4],
                                                    const unsigned char* block, std::index_sequence<J...>) {
    ((Step128<static_cast<int>(J), false>(l, block), Step128<static_cast<int>(J), true>(r, block)), ...);
}

template <std::size_t... J>
inline __attribute__((always_inline)) void Lines160(std::uint32_t (&l)[5], std::uint32_t (&r)[5],
                                                    const unsigned char* block, std::index_sequence<J...>) {
    ((Step160<static_cast<int>(J), false>(l, block), Step160<static_cast<int>(J), true>(r, block)), ...);
}

}  // namespace

void Ripemd128CompressPortable(std::uint32_t* state, const unsigned char* data, std::size_t blocks) {
    std::uint32_t h[4] = {state[0], state[1], state[2], state[3]};
    for (; blocks != 0; --blocks, data += 64) {
        std::uint32_t l[4] = {h[0], h[1], h[2], h[3]};
        std::uint32_t r[4] = {h[0], h[1], h[2], h[3]};
        Lines128(l, r, data, std::make_index_sequence<64>());
        const std::uint32_t t = h[1] + l[2] + r[3];
        h[1] = h[2] + l[3] + r[0];
        h[2] = h[3] + l[0] + r[1];
        h[3] = h[0] + l[1] + r[2];
        h[0] = t;
    }
    for (int i = 0; i < 4; ++i) state[i] = h[i];
}

void Ripemd160CompressPortable(std::uint32_t* state, const unsigned char* data, std::size_t blocks) {
    std::uint32_t h[5] = {state[0], state[1], state[2], state[3], state[4]};
    for (; blocks != 0; --blocks, data += 64) {
        std::uint32_t l[5] = {h[0], h[1], h[2], h[3], h[4]};
        std::uint32_t r[5] = {h[0], h[1], h[2], h[3], h[4]};
        Lines160(l, r, data, std::make_index_sequence<80>());
        const std::uint32_t t = h[1] + l[2] + r[3];
        h[1] = h[2] + l[3] + r[4];
        h[2] = h[3] + l[4] + r[0];
        h[3] = h[4] + l[0] + r[1];
        h[4] = h[0] + l[1] + r[2];
        h[0] = t;
    }
    for (int i = 0; i < 5; ++i) state[i] = h[i];
}

CRIPEMD::CRIPEMD(std::int32_t method) {
    if (method < 0 || method > 1) {
        std::ostringstream message;
        message << "FileDigest ERROR: in CRIPEMD() Constructor, Illegal Method " << method << "!";
        throw std::runtime_error(message.str());
    }
    m_iMethod = method;
    m_pCompress = ChooseKernel(method == 0 ? Ripemd128Kernels() : Ripemd160Kernels(), Cpu());
    Reset();
}

// A digest abandoned half-way still holds data (an HMAC key pad, say).
CRIPEMD::~CRIPEMD() {
    SecureWipeObject(m_aBuffer);
    SecureWipeObject(m_aState);
}

void CRIPEMD::Reset() {
    m_aState[0] = 0x67452301;
    m_aState[1] = 0xEFCDAB89;
    m_aState[2] = 0x98BADCFE;
    m_aState[3] = 0x10325476;
    m_aState[4] = m_iMethod == 1 ? 0xC3D2E1F0 : 0;
    m_uBitCount = 0;
    m_bDataAdded = false;
}

void CRIPEMD::Transform() { m_pCompress(m_aState, m_aBuffer, 1); }

void CRIPEMD::AddData(const unsigned char* data, std::int32_t length) {
    if (length < 0) throw std::runtime_error("FileDigest ERROR: in CRIPEMD::AddData(), Data Length should be >= 0!");
    m_bDataAdded = true;
    if (length == 0) return;
    AddLittleEndianMessage(m_aBuffer, m_uBitCount, data, static_cast<std::size_t>(length),
                           [this](const unsigned char* blocks, std::size_t count) { m_pCompress(m_aState, blocks, count); });
}

void CRIPEMD::FinalDigest(unsigned char* out) {
    if (!m_bDataAdded)
        throw std::runtime_error("FileDigest ERROR: in CRIPEMD::FinalDigest(), No data Added before call!");
    FinishLittleEndianMessage(m_aBuffer, m_uBitCount,
                              [this](const unsigned char* blocks, std::size_t count) { m_pCompress(m_aState, blocks, count); });
    const int words = m_iMethod == 0 ? 4 : 5;
    for (int i = 0; i < words; ++i) StoreLe32(out + 4 * i, m_aState[i]);
    // The last block of the message stays behind in the buffer otherwise.
    SecureWipeObject(m_aBuffer);
    Reset();
}

}  // namespace mg
