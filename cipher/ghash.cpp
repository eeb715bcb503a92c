#include "cipher/ghash.h"

#include "cipher/byte_order.h"
#include "cpu/secure_wipe.h"

namespace mg {
namespace {

// The low 64 bits of the carry-less product. Each operand is split into four
// parts with three zero bits between set bits; an integer product of two
// parts then never carries into the next bit of interest within 64 bits (at
// most 16 terms meet in one position, and only at the top positions, whose
// carries leave the word).
std::uint64_t ClmulLow(std::uint64_t x, std::uint64_t y)
{
    constexpr std::uint64_t m0 = 0x1111111111111111u, m1 = m0 << 1, m2 = m0 << 2, m3 = m0 << 3;
    const std::uint64_t x0 = x & m0, x1 = x & m1, x2 = x & m2, x3 = x & m3;
    const std::uint64_t y0 = y & m0, y1 = y & m1, y2 = y & m2, y3 = y & m3;
    const std::uint64_t z0 = (x0 * y0) ^ (x1 * y3) ^ (x2 * y2) ^ (x3 * y1);
    const std::uint64_t z1 = (x0 * y1) ^ (x1 * y0) ^ (x2 * y3) ^ (x3 * y2);
    const std::uint64_t z2 = (x0 * y2) ^ (x1 * y1) ^ (x2 * y0) ^ (x3 * y3);
    const std::uint64_t z3 = (x0 * y3) ^ (x1 * y2) ^ (x2 * y1) ^ (x3 * y0);
    return (z0 & m0) | (z1 & m1) | (z2 & m2) | (z3 & m3);
}

std::uint64_t Reverse64(std::uint64_t x)
{
    x = ((x >> 1) & 0x5555555555555555u) | ((x & 0x5555555555555555u) << 1);
    x = ((x >> 2) & 0x3333333333333333u) | ((x & 0x3333333333333333u) << 2);
    x = ((x >> 4) & 0x0F0F0F0F0F0F0F0Fu) | ((x & 0x0F0F0F0F0F0F0F0Fu) << 4);
    x = ((x >> 8) & 0x00FF00FF00FF00FFu) | ((x & 0x00FF00FF00FF00FFu) << 8);
    x = ((x >> 16) & 0x0000FFFF0000FFFFu) | ((x & 0x0000FFFF0000FFFFu) << 16);
    return (x >> 32) | (x << 32);
}

// The 127-bit product as two words: the high part is the low part of the
// product of the bit-reversed operands, read backwards.
void Clmul(std::uint64_t x, std::uint64_t y, std::uint64_t& hi, std::uint64_t& lo)
{
    lo = ClmulLow(x, y);
    hi = Reverse64(ClmulLow(Reverse64(x), Reverse64(y))) >> 1;
}

std::uint64_t Load64(const unsigned char* p)
{
    return (std::uint64_t{LoadBe32(p)} << 32) | LoadBe32(p + 4);
}

}  // namespace

CGhash::~CGhash() { Clear(); }

void CGhash::SetKey(const unsigned char* h)
{
    m_auH[0] = Load64(h);
    m_auH[1] = Load64(h + 8);
    Reset();
}

void CGhash::Reset() { m_auY[0] = m_auY[1] = 0; }

void CGhash::Clear()
{
    SecureWipeObject(m_auH);
    SecureWipeObject(m_auY);
}

// Y = (Y ^ X) * H in the bit-reflected field: the 256-bit product shifted
// left by one is the reflected product; its upper half, reduced by the
// polynomial x^128 + x^7 + x^2 + x + 1 in reflected form, is the result.
void CGhash::AddBlock(std::uint64_t hi, std::uint64_t lo)
{
    const std::uint64_t yh = m_auY[0] ^ hi, yl = m_auY[1] ^ lo;
    const std::uint64_t hh = m_auH[0], hl = m_auH[1];
    std::uint64_t a1, a0, b1, b0, c1, c0;
    Clmul(yh, hh, a1, a0);
    Clmul(yl, hl, b1, b0);
    Clmul(yh ^ yl, hh ^ hl, c1, c0);  // Karatsuba: the middle term from one product
    c1 ^= a1 ^ b1;
    c0 ^= a0 ^ b0;
    std::uint64_t x3 = a1, x2 = a0 ^ c1, x1 = b1 ^ c0, x0 = b0;
    x3 = (x3 << 1) | (x2 >> 63);
    x2 = (x2 << 1) | (x1 >> 63);
    x1 = (x1 << 1) | (x0 >> 63);
    x0 <<= 1;
    const std::uint64_t d = x1 ^ (x0 << 63) ^ (x0 << 62) ^ (x0 << 57);
    m_auY[0] = x3 ^ d ^ (d >> 1) ^ (d >> 2) ^ (d >> 7);
    m_auY[1] = x2 ^ x0 ^ ((x0 >> 1) | (d << 63)) ^ ((x0 >> 2) | (d << 62)) ^ ((x0 >> 7) | (d << 57));
}

void CGhash::Update(const unsigned char* data, std::size_t len)
{
    for (; len >= 16; data += 16, len -= 16) AddBlock(Load64(data), Load64(data + 8));
    if (len == 0) return;
    unsigned char last[16] = {};
    for (std::size_t i = 0; i < len; ++i) last[i] = data[i];
    AddBlock(Load64(last), Load64(last + 8));
    SecureWipeObject(last);
}

void CGhash::AddLengths(std::uint64_t aadBytes, std::uint64_t textBytes) { AddBlock(aadBytes * 8, textBytes * 8); }

void CGhash::Digest(unsigned char* out) const
{
    for (int i = 0; i < 2; ++i) {
        StoreBe32(out + 8 * i, static_cast<std::uint32_t>(m_auY[i] >> 32));
        StoreBe32(out + 8 * i + 4, static_cast<std::uint32_t>(m_auY[i]));
    }
}

}  // namespace mg
