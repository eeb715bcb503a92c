#include "digest/sha.h"

#include <sstream>
#include <stdexcept>
#include <utility>

#include "cpu/secure_wipe.h"
#include "digest/digest_kernels.h"
#include "digest/digest_util.h"
#include "digest/sha_constants.h"

namespace mg {

namespace {

// FIPS 180-2, sections 4.2.2, 4.2.3, 5.3.
constexpr std::uint32_t kSha1Init[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
constexpr std::uint32_t kSha256Init[8] = {0x6A09E667, 0xBB67AE85, 0x3C6EF372, 0xA54FF53A,
                                          0x510E527F, 0x9B05688C, 0x1F83D9AB, 0x5BE0CD19};
constexpr std::uint64_t kSha384Init[8] = {0xCBBB9D5DC1059ED8, 0x629A292A367CD507, 0x9159015A3070DD17,
                                          0x152FECD8F70E5939, 0x67332667FFC00B31, 0x8EB44A8768581511,
                                          0xDB0C2E0D64F98FA7, 0x47B5481DBEFA4FA4};
constexpr std::uint64_t kSha512Init[8] = {0x6A09E667F3BCC908, 0xBB67AE8584CAA73B, 0x3C6EF372FE94F82B,
                                          0xA54FF53A5F1D36F1, 0x510E527FADE682D1, 0x9B05688C2B3E6C1F,
                                          0x1F83D9ABFB41BD6B, 0x5BE0CD19137E2179};

constexpr std::int32_t kDigestLength[4] = {20, 32, 48, 64};
constexpr std::int32_t kBlockLength[4] = {64, 64, 128, 128};

// The steps below keep the message schedule in a rolling window of sixteen
// words and let the roles of the working variables rotate from step to step
// instead of moving values; all indices are compile-time constants, so the
// rounds unroll into straight-line code with immediate constants.

template <int T>
inline void Sha1Step(std::uint32_t (&v)[5], std::uint32_t (&w)[16]) {
    constexpr int a = (5 - T % 5) % 5, b = (a + 1) % 5, c = (a + 2) % 5, d = (a + 3) % 5, e = (a + 4) % 5;
    if constexpr (T >= 16)
        w[T & 15] = Rotl32(w[(T - 3) & 15] ^ w[(T - 8) & 15] ^ w[(T - 14) & 15] ^ w[T & 15], 1);
    std::uint32_t f;
    std::uint32_t k;
    if constexpr (T < 20) {
        f = v[d] ^ (v[b] & (v[c] ^ v[d]));
        k = 0x5A827999;
    } else if constexpr (T < 40) {
        f = v[b] ^ v[c] ^ v[d];
        k = 0x6ED9EBA1;
    } else if constexpr (T < 60) {
        f = (v[b] & v[c]) | (v[d] & (v[b] | v[c]));
        k = 0x8F1BBCDC;
    } else {
        f = v[b] ^ v[c] ^ v[d];
        k = 0xCA62C1D6;
    }
    v[e] += Rotl32(v[a], 5) + f + w[T & 15] + k;
    v[b] = Rotl32(v[b], 30);
}

template <int T>
inline void Sha256Step(std::uint32_t (&v)[8], std::uint32_t (&w)[16]) {
    constexpr int a = (8 - T % 8) % 8, b = (a + 1) % 8, c = (a + 2) % 8, d = (a + 3) % 8;
    constexpr int e = (a + 4) % 8, f = (a + 5) % 8, g = (a + 6) % 8, h = (a + 7) % 8;
    if constexpr (T >= 16) {
        const std::uint32_t w15 = w[(T - 15) & 15], w2 = w[(T - 2) & 15];
        w[T & 15] += (Rotr32(w2, 17) ^ Rotr32(w2, 19) ^ (w2 >> 10)) + w[(T - 7) & 15] +
                     (Rotr32(w15, 7) ^ Rotr32(w15, 18) ^ (w15 >> 3));
    }
    const std::uint32_t t1 = v[h] + (Rotr32(v[e], 6) ^ Rotr32(v[e], 11) ^ Rotr32(v[e], 25)) +
                             (v[g] ^ (v[e] & (v[f] ^ v[g]))) + kSha256K[T] + w[T & 15];
    const std::uint32_t t2 = (Rotr32(v[a], 2) ^ Rotr32(v[a], 13) ^ Rotr32(v[a], 22)) +
                             ((v[a] & v[b]) | (v[c] & (v[a] | v[b])));
    v[d] += t1;
    v[h] = t1 + t2;
}

template <int T>
inline void Sha512Step(std::uint64_t (&v)[8], std::uint64_t (&w)[16]) {
    constexpr int a = (8 - T % 8) % 8, b = (a + 1) % 8, c = (a + 2) % 8, d = (a + 3) % 8;
    constexpr int e = (a + 4) % 8, f = (a + 5) % 8, g = (a + 6) % 8, h = (a + 7) % 8;
    if constexpr (T >= 16) {
        const std::uint64_t w15 = w[(T - 15) & 15], w2 = w[(T - 2) & 15];
        w[T & 15] += (Rotr64(w2, 19) ^ Rotr64(w2, 61) ^ (w2 >> 6)) + w[(T - 7) & 15] +
                     (Rotr64(w15, 1) ^ Rotr64(w15, 8) ^ (w15 >> 7));
    }
    const std::uint64_t t1 = v[h] + (Rotr64(v[e], 14) ^ Rotr64(v[e], 18) ^ Rotr64(v[e], 41)) +
                             (v[g] ^ (v[e] & (v[f] ^ v[g]))) + kSha512K[T] + w[T & 15];
    const std::uint64_t t2 = (Rotr64(v[a], 28) ^ Rotr64(v[a], 34) ^ Rotr64(v[a], 39)) +
                             ((v[a] & v[b]) | (v[c] & (v[a] | v[b])));
    v[d] += t1;
    v[h] = t1 + t2;
}

template <std::size_t... T>
inline void Sha1Steps(std::uint32_t (&v)[5], std::uint32_t (&w)[16], std::index_sequence<T...>) {
    (Sha1Step<static_cast<int>(T)>(v, w), ...);
}

template <std::size_t... T>
inline void Sha256Steps(std::uint32_t (&v)[8], std::uint32_t (&w)[16], std::index_sequence<T...>) {
    (Sha256Step<static_cast<int>(T)>(v, w), ...);
}

template <std::size_t... T>
inline void Sha512Steps(std::uint64_t (&v)[8], std::uint64_t (&w)[16], std::index_sequence<T...>) {
    (Sha512Step<static_cast<int>(T)>(v, w), ...);
}

}  // namespace

void Sha1CompressPortable(std::uint32_t* state, const unsigned char* data, std::size_t blocks) {
    for (; blocks != 0; --blocks, data += 64) {
        std::uint32_t w[16];
        for (int i = 0; i < 16; ++i) w[i] = LoadBe32(data + 4 * i);
        std::uint32_t v[5];
        for (int i = 0; i < 5; ++i) v[i] = state[i];
        Sha1Steps(v, w, std::make_index_sequence<80>());
        for (int i = 0; i < 5; ++i) state[i] += v[i];
    }
}

void Sha256CompressPortable(std::uint32_t* state, const unsigned char* data, std::size_t blocks) {
    for (; blocks != 0; --blocks, data += 64) {
        std::uint32_t w[16];
        for (int i = 0; i < 16; ++i) w[i] = LoadBe32(data + 4 * i);
        std::uint32_t v[8];
        for (int i = 0; i < 8; ++i) v[i] = state[i];
        Sha256Steps(v, w, std::make_index_sequence<64>());
        for (int i = 0; i < 8; ++i) state[i] += v[i];
    }
}

void Sha512CompressPortable(std::uint64_t* state, const unsigned char* data, std::size_t blocks) {
    for (; blocks != 0; --blocks, data += 128) {
        std::uint64_t w[16];
        for (int i = 0; i < 16; ++i) w[i] = LoadBe64(data + 8 * i);
        std::uint64_t v[8];
        for (int i = 0; i < 8; ++i) v[i] = state[i];
        Sha512Steps(v, w, std::make_index_sequence<80>());
        for (int i = 0; i < 8; ++i) state[i] += v[i];
    }
}

CSHA::CSHA(std::int32_t method) {
    if (method < 0 || method > 3) {
        std::ostringstream message;
        message << "FileDigest ERROR: in CSHA() Constructor, Illegal Method " << method << "!";
        throw std::runtime_error(message.str());
    }
    m_uMethod = static_cast<std::uint32_t>(method);
    SetAccelLimit(3);
    Reset();
}

void CSHA::SetAccelLimit(std::int32_t level) {
    m_pCompress32 = nullptr;
    m_pCompress64 = nullptr;
    if (m_uMethod == 0) m_pCompress32 = ChooseKernel(Sha1Kernels(), Cpu(), level);
    else if (m_uMethod == 1) m_pCompress32 = ChooseKernel(Sha256Kernels(), Cpu(), level);
    else m_pCompress64 = ChooseKernel(Sha512Kernels(), Cpu(), level);
}

// A digest abandoned half-way still holds data (an HMAC key pad, say).
CSHA::~CSHA() {
    SecureWipeObject(m_aBuffer);
    SecureWipeObject(m_aState32);
    SecureWipeObject(m_aState64);
}

std::int32_t CSHA::DigestLength() const { return kDigestLength[m_uMethod]; }

std::int32_t CSHA::BlockLength() const { return kBlockLength[m_uMethod]; }

void CSHA::Reset() {
    switch (m_uMethod) {
        case 0:
            for (int i = 0; i < 5; ++i) m_aState32[i] = kSha1Init[i];
            break;
        case 1:
            for (int i = 0; i < 8; ++i) m_aState32[i] = kSha256Init[i];
            break;
        case 2:
            for (int i = 0; i < 8; ++i) m_aState64[i] = kSha384Init[i];
            break;
        default:
            for (int i = 0; i < 8; ++i) m_aState64[i] = kSha512Init[i];
            break;
    }
    m_uBitCountLow = 0;
    m_uBitCountHigh = 0;
    m_bDataAdded = false;
}

void CSHA::Compress(const unsigned char* data, std::size_t blocks) {
    if (m_uMethod < 2) m_pCompress32(m_aState32, data, blocks);
    else m_pCompress64(m_aState64, data, blocks);
}

void CSHA::Transform() { Compress(m_aBuffer, 1); }

void CSHA::AddData(const unsigned char* data, std::int32_t length) {
    if (length < 0) throw std::runtime_error("FileDigest ERROR: in CSHA::AddData(), Data Length should be >= 0!");
    m_bDataAdded = true;
    if (length == 0) return;
    const std::uint64_t bits = static_cast<std::uint64_t>(length) << 3;
    const std::size_t n = static_cast<std::size_t>(length);
    const std::uint64_t before = m_uBitCountLow;
    m_uBitCountLow += bits;
    if (m_uBitCountLow < bits) ++m_uBitCountHigh;
    auto compress = [this](const unsigned char* blocks, std::size_t count) { Compress(blocks, count); };
    if (m_uMethod < 2) FeedBlocks<64>(m_aBuffer, static_cast<std::size_t>((before >> 3) & 63), data, n, compress);
    else FeedBlocks<128>(m_aBuffer, static_cast<std::size_t>((before >> 3) & 127), data, n, compress);
}

void CSHA::FinalDigest(unsigned char* out) {
    if (!m_bDataAdded) throw std::runtime_error("FileDigest ERROR: in CSHA::FinalDigest(), No data Added before call!");
    auto compress = [this](const unsigned char* block) { Compress(block, 1); };
    if (m_uMethod < 2) {
        PadBlock<64, 8>(m_aBuffer, static_cast<std::size_t>((m_uBitCountLow >> 3) & 63), compress);
        StoreBe64(m_aBuffer + 56, m_uBitCountLow);
        Compress(m_aBuffer, 1);
        const int words = m_uMethod == 0 ? 5 : 8;
        for (int i = 0; i < words; ++i) StoreBe32(out + 4 * i, m_aState32[i]);
    } else {
        PadBlock<128, 16>(m_aBuffer, static_cast<std::size_t>((m_uBitCountLow >> 3) & 127), compress);
        StoreBe64(m_aBuffer + 112, m_uBitCountHigh);
        StoreBe64(m_aBuffer + 120, m_uBitCountLow);
        Compress(m_aBuffer, 1);
        const int words = m_uMethod == 2 ? 6 : 8;
        for (int i = 0; i < words; ++i) StoreBe64(out + 8 * i, m_aState64[i]);
    }
    // The last block of the message stays behind in the buffer otherwise.
    SecureWipeObject(m_aBuffer);
    Reset();
}

}  // namespace mg
