#include "cipher/poly1305.h"

#include <cstring>

#include "cipher/poly1305_avx2.h"
#include "cipher/poly1305_ifma.h"
#include "cipher/poly1305_limbs.h"
#include "cpu/secure_wipe.h"
#include "digest/digest_util.h"

namespace mg {

namespace {

}  // namespace

bool TagsEqual(const unsigned char* a, const unsigned char* b, std::size_t length) {
    unsigned char diff = 0;
    for (std::size_t i = 0; i < length; ++i) diff = static_cast<unsigned char>(diff | (a[i] ^ b[i]));
    return diff == 0;
}

CPoly1305::~CPoly1305() {
    SecureWipeObject(m_aR);
    SecureWipeObject(m_aH);
    SecureWipeObject(m_aPad);
    SecureWipeObject(m_aPowers);
    SecureWipeObject(m_aPowers26);
    SecureWipeObject(m_aBuffer);
}

void CPoly1305::Update(const unsigned char* data, std::size_t length) {
    if (m_iBuffered > 0) {
        const std::size_t take = length < 16 - m_iBuffered ? length : 16 - m_iBuffered;
        std::memcpy(m_aBuffer + m_iBuffered, data, take);
        m_iBuffered += take;
        data += take;
        length -= take;
        if (m_iBuffered < 16) return;
        Blocks(m_aBuffer, 1, true);
        m_iBuffered = 0;
    }
    if (length >= 16) {
        const std::size_t whole = length / 16;
        Blocks(data, whole, true);
        data += whole * 16;
        length -= whole * 16;
    }
    if (length > 0) {
        std::memcpy(m_aBuffer, data, length);
        m_iBuffered = length;
    }
}

#if defined(__SIZEOF_INT128__)

namespace {

using namespace poly1305_limbs;

inline std::uint64_t Load64(const unsigned char* p) {
    return std::uint64_t{LoadLe32(p)} | (std::uint64_t{LoadLe32(p + 4)} << 32);
}

inline void Store64(unsigned char* p, std::uint64_t v) {
    StoreLe32(p, static_cast<std::uint32_t>(v));
    StoreLe32(p + 4, static_cast<std::uint32_t>(v >> 32));
}

}  // namespace

CPoly1305::CPoly1305(const unsigned char* key)
    : m_aR{}, m_aH{}, m_aPowers{}, m_bPowers(false), m_aPowers26{}, m_bPowers26(false), m_aBuffer{}, m_iBuffered(0) {
    const std::uint64_t t0 = Load64(key), t1 = Load64(key + 8);
    // r is clamped as the algorithm requires, then split into limbs.
    m_aR[0] = t0 & 0xffc0fffffff;
    m_aR[1] = ((t0 >> 44) | (t1 << 20)) & 0xfffffc0ffff;
    m_aR[2] = (t1 >> 24) & 0x00ffffffc0f;
    for (int i = 0; i < 4; ++i) m_aPad[i] = LoadLe32(key + 16 + 4 * i);
}

void CPoly1305::Blocks(const unsigned char* m, std::size_t blocks, bool full) {
    // Long runs of full blocks sixteen lanes wide where the CPU has IFMA.
    if (full && blocks >= 32 && Poly1305IfmaAvailable()) {
        if (!m_bPowers) {
            Poly1305IfmaPowers(m_aR, m_aPowers);
            m_bPowers = true;
        }
        const std::size_t pairs = blocks / 16;
        Poly1305IfmaBlocks(m_aH, m_aPowers, m, pairs);
        m += pairs * 256;
        blocks -= pairs * 16;
    }
    // Eight lanes wide (two sets of four) where the CPU has AVX2.
    if (full && blocks >= 16 && Poly1305Avx2Available()) {
        if (!m_bPowers26) {
            Poly1305Avx2Powers(m_aR, m_aPowers26);
            m_bPowers26 = true;
        }
        const std::size_t groups = blocks / 4;
        Poly1305Avx2Blocks(m_aH, m_aPowers26, m, groups);
        m += groups * 64;
        blocks -= groups * 4;
    }
    const std::uint64_t hibit = full ? std::uint64_t{1} << 40 : 0;
    const std::uint64_t r0 = m_aR[0], r1 = m_aR[1], r2 = m_aR[2];
    // Limb 2 times limb 1 or 2 lands at 2^132 or more: 2^130 = 5, and 2^2 more.
    const std::uint64_t s1 = r1 * (5 << 2), s2 = r2 * (5 << 2);
    std::uint64_t h0 = m_aH[0], h1 = m_aH[1], h2 = m_aH[2];
    if (blocks >= 2) {
        // Two blocks per step, ((h + m1) r^2 + m2 r): the two products are
        // independent, so the multiplier is kept busy instead of waiting
        // for the carries of the previous block.
        std::uint64_t q0, q1, q2;
        Reduce44(U128{r0} * r0 + U128{r1} * s2 + U128{r2} * s1, U128{r0} * r1 + U128{r1} * r0 + U128{r2} * s2,
                  U128{r0} * r2 + U128{r1} * r1 + U128{r2} * r0, q0, q1, q2);
        const std::uint64_t t1 = q1 * (5 << 2), t2 = q2 * (5 << 2);
        for (; blocks >= 2; blocks -= 2, m += 32) {
            const std::uint64_t a0 = Load64(m), a1 = Load64(m + 8), b0 = Load64(m + 16), b1 = Load64(m + 24);
            const std::uint64_t x0 = h0 + (a0 & kMask44);
            const std::uint64_t x1 = h1 + (((a0 >> 44) | (a1 << 20)) & kMask44);
            const std::uint64_t x2 = h2 + (((a1 >> 24) & kMask42) | hibit);
            const std::uint64_t y0 = b0 & kMask44;
            const std::uint64_t y1 = ((b0 >> 44) | (b1 << 20)) & kMask44;
            const std::uint64_t y2 = ((b1 >> 24) & kMask42) | hibit;
            Reduce44(U128{x0} * q0 + U128{x1} * t2 + U128{x2} * t1 + U128{y0} * r0 + U128{y1} * s2 + U128{y2} * s1,
                      U128{x0} * q1 + U128{x1} * q0 + U128{x2} * t2 + U128{y0} * r1 + U128{y1} * r0 + U128{y2} * s2,
                      U128{x0} * q2 + U128{x1} * q1 + U128{x2} * q0 + U128{y0} * r2 + U128{y1} * r1 + U128{y2} * r0,
                      h0, h1, h2);
        }
    }
    for (; blocks > 0; --blocks, m += 16) {
        const std::uint64_t t0 = Load64(m), t1 = Load64(m + 8);
        h0 += t0 & kMask44;
        h1 += ((t0 >> 44) | (t1 << 20)) & kMask44;
        h2 += ((t1 >> 24) & kMask42) | hibit;
        Reduce44(U128{h0} * r0 + U128{h1} * s2 + U128{h2} * s1, U128{h0} * r1 + U128{h1} * r0 + U128{h2} * s2,
                  U128{h0} * r2 + U128{h1} * r1 + U128{h2} * r0, h0, h1, h2);
    }
    m_aH[0] = h0;
    m_aH[1] = h1;
    m_aH[2] = h2;
}

void CPoly1305::Final(unsigned char* tag) {
    if (m_iBuffered > 0) {
        // A short last block ends in a one bit instead of the 2^128 bit.
        m_aBuffer[m_iBuffered] = 1;
        for (std::size_t i = m_iBuffered + 1; i < 16; ++i) m_aBuffer[i] = 0;
        Blocks(m_aBuffer, 1, false);
        m_iBuffered = 0;
    }
    std::uint64_t h0 = m_aH[0], h1 = m_aH[1], h2 = m_aH[2];
    std::uint64_t c = h1 >> 44;
    h1 &= kMask44;
    for (int pass = 0; pass < 2; ++pass) {
        h2 += c; c = h2 >> 42; h2 &= kMask42;
        h0 += c * 5; c = h0 >> 44; h0 &= kMask44;
        h1 += c; c = h1 >> 44; h1 &= kMask44;
    }
    h2 += c;

    // h - p = h + 5 - 2^130; taken when it does not go negative, without a branch.
    std::uint64_t g0 = h0 + 5; c = g0 >> 44; g0 &= kMask44;
    std::uint64_t g1 = h1 + c; c = g1 >> 44; g1 &= kMask44;
    const std::uint64_t g2 = h2 + c - (std::uint64_t{1} << 42);
    const std::uint64_t keepG = (g2 >> 63) - 1;
    h0 = (h0 & ~keepG) | (g0 & keepG);
    h1 = (h1 & ~keepG) | (g1 & keepG);
    h2 = (h2 & ~keepG) | (g2 & keepG);

    const std::uint64_t t0 = std::uint64_t{m_aPad[0]} | (std::uint64_t{m_aPad[1]} << 32);
    const std::uint64_t t1 = std::uint64_t{m_aPad[2]} | (std::uint64_t{m_aPad[3]} << 32);
    h0 += t0 & kMask44; c = h0 >> 44; h0 &= kMask44;
    h1 += (((t0 >> 44) | (t1 << 20)) & kMask44) + c; c = h1 >> 44; h1 &= kMask44;
    h2 += ((t1 >> 24) & kMask42) + c;
    Store64(tag, h0 | (h1 << 44));
    Store64(tag + 8, (h1 >> 20) | (h2 << 24));
    SecureWipeObject(m_aH);
}

#else

namespace {
constexpr std::uint32_t kMask26 = 0x3ffffff;
}  // namespace

CPoly1305::CPoly1305(const unsigned char* key)
    : m_aR{}, m_aH{}, m_aPowers{}, m_bPowers(false), m_aPowers26{}, m_bPowers26(false), m_aBuffer{}, m_iBuffered(0) {
    // r is clamped as the algorithm requires, then split into limbs.
    m_aR[0] = LoadLe32(key + 0) & 0x3ffffff;
    m_aR[1] = (LoadLe32(key + 3) >> 2) & 0x3ffff03;
    m_aR[2] = (LoadLe32(key + 6) >> 4) & 0x3ffc0ff;
    m_aR[3] = (LoadLe32(key + 9) >> 6) & 0x3f03fff;
    m_aR[4] = (LoadLe32(key + 12) >> 8) & 0x00fffff;
    for (int i = 0; i < 4; ++i) m_aPad[i] = LoadLe32(key + 16 + 4 * i);
}

void CPoly1305::Blocks(const unsigned char* m, std::size_t blocks, bool full) {
    // Four lanes wide where the CPU has AVX2.
    if (full && blocks >= 16 && Poly1305Avx2Available()) {
        if (!m_bPowers26) {
            Poly1305Avx2Powers26(m_aR, m_aPowers26);
            m_bPowers26 = true;
        }
        const std::size_t groups = blocks / 4;
        Poly1305Avx2Blocks26(m_aH, m_aPowers26, m, groups);
        m += groups * 64;
        blocks -= groups * 4;
    }
    const std::uint32_t hibit = full ? 1u << 24 : 0;
    const std::uint64_t r0 = m_aR[0], r1 = m_aR[1], r2 = m_aR[2], r3 = m_aR[3], r4 = m_aR[4];
    const std::uint64_t s1 = r1 * 5, s2 = r2 * 5, s3 = r3 * 5, s4 = r4 * 5;
    std::uint32_t h0 = static_cast<std::uint32_t>(m_aH[0]), h1 = static_cast<std::uint32_t>(m_aH[1]),
                  h2 = static_cast<std::uint32_t>(m_aH[2]), h3 = static_cast<std::uint32_t>(m_aH[3]),
                  h4 = static_cast<std::uint32_t>(m_aH[4]);
    for (; blocks > 0; --blocks, m += 16) {
        h0 += LoadLe32(m + 0) & kMask26;
        h1 += (LoadLe32(m + 3) >> 2) & kMask26;
        h2 += (LoadLe32(m + 6) >> 4) & kMask26;
        h3 += (LoadLe32(m + 9) >> 6) & kMask26;
        h4 += (LoadLe32(m + 12) >> 8) | hibit;

        const std::uint64_t d0 = h0 * r0 + h1 * s4 + h2 * s3 + h3 * s2 + std::uint64_t{h4} * s1;
        std::uint64_t d1 = h0 * r1 + h1 * r0 + h2 * s4 + h3 * s3 + std::uint64_t{h4} * s2;
        std::uint64_t d2 = h0 * r2 + h1 * r1 + h2 * r0 + h3 * s4 + std::uint64_t{h4} * s3;
        std::uint64_t d3 = h0 * r3 + h1 * r2 + h2 * r1 + h3 * r0 + std::uint64_t{h4} * s4;
        std::uint64_t d4 = h0 * r4 + h1 * r3 + h2 * r2 + h3 * r1 + std::uint64_t{h4} * r0;

        std::uint32_t c = static_cast<std::uint32_t>(d0 >> 26);
        h0 = static_cast<std::uint32_t>(d0) & kMask26;
        d1 += c;
        c = static_cast<std::uint32_t>(d1 >> 26);
        h1 = static_cast<std::uint32_t>(d1) & kMask26;
        d2 += c;
        c = static_cast<std::uint32_t>(d2 >> 26);
        h2 = static_cast<std::uint32_t>(d2) & kMask26;
        d3 += c;
        c = static_cast<std::uint32_t>(d3 >> 26);
        h3 = static_cast<std::uint32_t>(d3) & kMask26;
        d4 += c;
        c = static_cast<std::uint32_t>(d4 >> 26);
        h4 = static_cast<std::uint32_t>(d4) & kMask26;
        h0 += c * 5;
        c = h0 >> 26;
        h0 &= kMask26;
        h1 += c;
    }
    m_aH[0] = h0;
    m_aH[1] = h1;
    m_aH[2] = h2;
    m_aH[3] = h3;
    m_aH[4] = h4;
}

void CPoly1305::Final(unsigned char* tag) {
    if (m_iBuffered > 0) {
        // A short last block ends in a one bit instead of the 2^128 bit.
        m_aBuffer[m_iBuffered] = 1;
        for (std::size_t i = m_iBuffered + 1; i < 16; ++i) m_aBuffer[i] = 0;
        Blocks(m_aBuffer, 1, false);
        m_iBuffered = 0;
    }
    std::uint32_t h0 = static_cast<std::uint32_t>(m_aH[0]), h1 = static_cast<std::uint32_t>(m_aH[1]),
                  h2 = static_cast<std::uint32_t>(m_aH[2]), h3 = static_cast<std::uint32_t>(m_aH[3]),
                  h4 = static_cast<std::uint32_t>(m_aH[4]);
    std::uint32_t c = h1 >> 26;
    h1 &= kMask26;
    h2 += c; c = h2 >> 26; h2 &= kMask26;
    h3 += c; c = h3 >> 26; h3 &= kMask26;
    h4 += c; c = h4 >> 26; h4 &= kMask26;
    h0 += c * 5; c = h0 >> 26; h0 &= kMask26;
    h1 += c;

    // h - p = h + 5 - 2^130; taken when it does not go negative, without a branch.
    std::uint32_t g0 = h0 + 5; c = g0 >> 26; g0 &= kMask26;
    std::uint32_t g1 = h1 + c; c = g1 >> 26; g1 &= kMask26;
    std::uint32_t g2 = h2 + c; c = g2 >> 26; g2 &= kMask26;
    std::uint32_t g3 = h3 + c; c = g3 >> 26; g3 &= kMask26;
    const std::uint32_t g4 = h4 + c - (1u << 26);
    std::uint32_t keepG = (g4 >> 31) - 1;  // all ones when g4 did not go negative
    const std::uint32_t keepH = ~keepG;
    h0 = (h0 & keepH) | (g0 & keepG);
    h1 = (h1 & keepH) | (g1 & keepG);
    h2 = (h2 & keepH) | (g2 & keepG);
    h3 = (h3 & keepH) | (g3 & keepG);
    h4 = (h4 & keepH) | (g4 & keepG);

    const std::uint32_t w0 = h0 | (h1 << 26);
    const std::uint32_t w1 = (h1 >> 6) | (h2 << 20);
    const std::uint32_t w2 = (h2 >> 12) | (h3 << 14);
    const std::uint32_t w3 = (h3 >> 18) | (h4 << 8);
    std::uint64_t f = std::uint64_t{w0} + m_aPad[0];
    StoreLe32(tag + 0, static_cast<std::uint32_t>(f));
    f = std::uint64_t{w1} + m_aPad[1] + (f >> 32);
    StoreLe32(tag + 4, static_cast<std::uint32_t>(f));
    f = std::uint64_t{w2} + m_aPad[2] + (f >> 32);
    StoreLe32(tag + 8, static_cast<std::uint32_t>(f));
    f = std::uint64_t{w3} + m_aPad[3] + (f >> 32);
    StoreLe32(tag + 12, static_cast<std::uint32_t>(f));
    SecureWipeObject(m_aH);
}

#endif

}  // namespace mg
