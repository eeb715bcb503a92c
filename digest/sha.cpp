#include "digest/sha.h"

#include <sstream>
#include <stdexcept>
#include <utility>

#include "digest/digest_util.h"

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

constexpr std::uint32_t kSha256K[64] = {
    0x428A2F98, 0x71374491, 0xB5C0FBCF, 0xE9B5DBA5, 0x3956C25B, 0x59F111F1, 0x923F82A4, 0xAB1C5ED5,
    0xD807AA98, 0x12835B01, 0x243185BE, 0x550C7DC3, 0x72BE5D74, 0x80DEB1FE, 0x9BDC06A7, 0xC19BF174,
    0xE49B69C1, 0xEFBE4786, 0x0FC19DC6, 0x240CA1CC, 0x2DE92C6F, 0x4A7484AA, 0x5CB0A9DC, 0x76F988DA,
    0x983E5152, 0xA831C66D, 0xB00327C8, 0xBF597FC7, 0xC6E00BF3, 0xD5A79147, 0x06CA6351, 0x14292967,
    0x27B70A85, 0x2E1B2138, 0x4D2C6DFC, 0x53380D13, 0x650A7354, 0x766A0ABB, 0x81C2C92E, 0x92722C85,
    0xA2BFE8A1, 0xA81A664B, 0xC24B8B70, 0xC76C51A3, 0xD192E819, 0xD6990624, 0xF40E3585, 0x106AA070,
    0x19A4C116, 0x1E376C08, 0x2748774C, 0x34B0BCB5, 0x391C0CB3, 0x4ED8AA4A, 0x5B9CCA4F, 0x682E6FF3,
    0x748F82EE, 0x78A5636F, 0x84C87814, 0x8CC70208, 0x90BEFFFA, 0xA4506CEB, 0xBEF9A3F7, 0xC67178F2,
};

constexpr std::uint64_t kSha512K[80] = {
    0x428A2F98D728AE22, 0x7137449123EF65CD, 0xB5C0FBCFEC4D3B2F, 0xE9B5DBA58189DBBC, 0x3956C25BF348B538,
    0x59F111F1B605D019, 0x923F82A4AF194F9B, 0xAB1C5ED5DA6D8118, 0xD807AA98A3030242, 0x12835B0145706FBE,
    0x243185BE4EE4B28C, 0x550C7DC3D5FFB4E2, 0x72BE5D74F27B896F, 0x80DEB1FE3B1696B1, 0x9BDC06A725C71235,
    0xC19BF174CF692694, 0xE49B69C19EF14AD2, 0xEFBE4786384F25E3, 0x0FC19DC68B8CD5B5, 0x240CA1CC77AC9C65,
    0x2DE92C6F592B0275, 0x4A7484AA6EA6E483, 0x5CB0A9DCBD41FBD4, 0x76F988DA831153B5, 0x983E5152EE66DFAB,
    0xA831C66D2DB43210, 0xB00327C898FB213F, 0xBF597FC7BEEF0EE4, 0xC6E00BF33DA88FC2, 0xD5A79147930AA725,
    0x06CA6351E003826F, 0x142929670A0E6E70, 0x27B70A8546D22FFC, 0x2E1B21385C26C926, 0x4D2C6DFC5AC42AED,
    0x53380D139D95B3DF, 0x650A73548BAF63DE, 0x766A0ABB3C77B2A8, 0x81C2C92E47EDAEE6, 0x92722C851482353B,
    0xA2BFE8A14CF10364, 0xA81A664BBC423001, 0xC24B8B70D0F89791, 0xC76C51A30654BE30, 0xD192E819D6EF5218,
    0xD69906245565A910, 0xF40E35855771202A, 0x106AA07032BBD1B8, 0x19A4C116B8D2D0C8, 0x1E376C085141AB53,
    0x2748774CDF8EEB99, 0x34B0BCB5E19B48A8, 0x391C0CB3C5C95A63, 0x4ED8AA4AE3418ACB, 0x5B9CCA4F7763E373,
    0x682E6FF3D6B2B8A3, 0x748F82EE5DEFB2FC, 0x78A5636F43172F60, 0x84C87814A1F0AB72, 0x8CC702081A6439EC,
    0x90BEFFFA23631E28, 0xA4506CEBDE82BDE9, 0xBEF9A3F7B2C67915, 0xC67178F2E372532B, 0xCA273ECEEA26619C,
    0xD186B8C721C0C207, 0xEADA7DD6CDE0EB1E, 0xF57D4F7FEE6ED178, 0x06F067AA72176FBA, 0x0A637DC5A2C898A6,
    0x113F9804BEF90DAE, 0x1B710B35131C471B, 0x28DB77F523047D84, 0x32CAAB7B40C72493, 0x3C9EBE0A15C9BEBC,
    0x431D67C49C100D4C, 0x4CC5D4BECB3E42B6, 0x597F299CFC657E2A, 0x5FCB6FAB3AD6FAEC, 0x6C44198C4A475817,
};

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

CSHA::CSHA(std::int32_t method) {
    if (method < 0 || method > 3) {
        std::ostringstream message;
        message << "FileDigest ERROR: in CSHA() Constructor, Illegal Method " << method << "!";
        throw std::runtime_error(message.str());
    }
    m_uMethod = static_cast<std::uint32_t>(method);
    Reset();
}

CSHA::~CSHA() = default;

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

void CSHA::CompressSha1(const unsigned char* block) {
    std::uint32_t w[16];
    for (int i = 0; i < 16; ++i) w[i] = LoadBe32(block + 4 * i);
    std::uint32_t v[5];
    for (int i = 0; i < 5; ++i) v[i] = m_aState32[i];
    Sha1Steps(v, w, std::make_index_sequence<80>());
    for (int i = 0; i < 5; ++i) m_aState32[i] += v[i];
}

void CSHA::CompressSha256(const unsigned char* block) {
    std::uint32_t w[16];
    for (int i = 0; i < 16; ++i) w[i] = LoadBe32(block + 4 * i);
    std::uint32_t v[8];
    for (int i = 0; i < 8; ++i) v[i] = m_aState32[i];
    Sha256Steps(v, w, std::make_index_sequence<64>());
    for (int i = 0; i < 8; ++i) m_aState32[i] += v[i];
}

void CSHA::CompressSha512(const unsigned char* block) {
    std::uint64_t w[16];
    for (int i = 0; i < 16; ++i) w[i] = LoadBe64(block + 8 * i);
    std::uint64_t v[8];
    for (int i = 0; i < 8; ++i) v[i] = m_aState64[i];
    Sha512Steps(v, w, std::make_index_sequence<80>());
    for (int i = 0; i < 8; ++i) m_aState64[i] += v[i];
}

void CSHA::Compress(const unsigned char* block) {
    switch (m_uMethod) {
        case 0: CompressSha1(block); break;
        case 1: CompressSha256(block); break;
        default: CompressSha512(block); break;
    }
}

void CSHA::Transform() { Compress(m_aBuffer); }

void CSHA::AddData(const unsigned char* data, std::int32_t length) {
    if (length < 0) throw std::runtime_error("FileDigest ERROR: in CSHA::AddData(), Data Length should be >= 0!");
    m_bDataAdded = true;
    if (length == 0) return;
    const std::uint64_t bits = static_cast<std::uint64_t>(length) << 3;
    const std::size_t n = static_cast<std::size_t>(length);
    const std::uint64_t before = m_uBitCountLow;
    m_uBitCountLow += bits;
    if (m_uBitCountLow < bits) ++m_uBitCountHigh;
    switch (m_uMethod) {
        case 0:
            FeedBlocks<64>(m_aBuffer, static_cast<std::size_t>((before >> 3) & 63), data, n,
                           [this](const unsigned char* block) { CompressSha1(block); });
            break;
        case 1:
            FeedBlocks<64>(m_aBuffer, static_cast<std::size_t>((before >> 3) & 63), data, n,
                           [this](const unsigned char* block) { CompressSha256(block); });
            break;
        default:
            FeedBlocks<128>(m_aBuffer, static_cast<std::size_t>((before >> 3) & 127), data, n,
                            [this](const unsigned char* block) { CompressSha512(block); });
            break;
    }
}

void CSHA::FinalDigest(unsigned char* out) {
    if (!m_bDataAdded) throw std::runtime_error("FileDigest ERROR: in CSHA::FinalDigest(), No data Added before call!");
    auto compress = [this](const unsigned char* block) { Compress(block); };
    if (m_uMethod < 2) {
        PadBlock<64, 8>(m_aBuffer, static_cast<std::size_t>((m_uBitCountLow >> 3) & 63), compress);
        StoreBe64(m_aBuffer + 56, m_uBitCountLow);
        Compress(m_aBuffer);
        const int words = m_uMethod == 0 ? 5 : 8;
        for (int i = 0; i < words; ++i) StoreBe32(out + 4 * i, m_aState32[i]);
    } else {
        PadBlock<128, 16>(m_aBuffer, static_cast<std::size_t>((m_uBitCountLow >> 3) & 127), compress);
        StoreBe64(m_aBuffer + 112, m_uBitCountHigh);
        StoreBe64(m_aBuffer + 120, m_uBitCountLow);
        Compress(m_aBuffer);
        const int words = m_uMethod == 2 ? 6 : 8;
        for (int i = 0; i < words; ++i) StoreBe64(out + 8 * i, m_aState64[i]);
    }
    Reset();
}

}  // namespace mg
