#include "cipher/x25519.h"

#include <cstdint>
#include <cstring>

#include "cpu/secure_wipe.h"

namespace mg {

namespace {

// An element of GF(2^255 - 19): limb i weighs 2^ceil(25.5 i).
struct Fe {
    std::int64_t v[10];
};

constexpr int Bits(int i) { return (i & 1) ? 25 : 26; }

// Brings every limb back to its width (the last carry wraps round times 19).
void Carry(Fe& h) {
    for (int i = 0; i < 9; ++i) {
        const std::int64_t c = h.v[i] >> Bits(i);
        h.v[i] -= c * (std::int64_t{1} << Bits(i));
        h.v[i + 1] += c;
    }
    const std::int64_t c = h.v[9] >> 25;
    h.v[9] -= c * (std::int64_t{1} << 25);
    h.v[0] += c * 19;
    const std::int64_t c0 = h.v[0] >> 26;
    h.v[0] -= c0 * (std::int64_t{1} << 26);
    h.v[1] += c0;
}

Fe Add(const Fe& f, const Fe& g) {
    Fe h;
    for (int i = 0; i < 10; ++i) h.v[i] = f.v[i] + g.v[i];
    Carry(h);
    return h;
}

Fe Sub(const Fe& f, const Fe& g) {
    Fe h;
    for (int i = 0; i < 10; ++i) h.v[i] = f.v[i] - g.v[i];
    Carry(h);
    return h;
}

// Limbs are at most a little above 2^26 in size after Carry, so each of the
// ten terms of a result limb stays below 2^58 and the sum below 2^62.
Fe Mul(const Fe& f, const Fe& g) {
    std::int64_t t[10] = {};
    for (int i = 0; i < 10; ++i) {
        for (int j = 0; j < 10; ++j) {
            // Two odd limbs carry half a bit each beyond their index's weight.
            std::int64_t p = f.v[i] * ((i & j & 1) ? 2 * g.v[j] : g.v[j]);
            const int k = i + j;
            if (k >= 10) p *= 19;  // 2^255 = 19
            t[k >= 10 ? k - 10 : k] += p;
        }
    }
    Fe h;
    std::memcpy(h.v, t, sizeof t);
    Carry(h);
    return h;
}

Fe Square(const Fe& f) { return Mul(f, f); }

Fe MulSmall(const Fe& f, std::int64_t n) {
    Fe h;
    for (int i = 0; i < 10; ++i) h.v[i] = f.v[i] * n;
    Carry(h);
    return h;
}

// Swaps f and g when bit is 1, without a branch on it.
void CondSwap(Fe& f, Fe& g, std::int64_t bit) {
    const std::int64_t mask = -bit;
    for (int i = 0; i < 10; ++i) {
        const std::int64_t x = mask & (f.v[i] ^ g.v[i]);
        f.v[i] ^= x;
        g.v[i] ^= x;
    }
}

// z^(p-2) = 1/z; the exponent is public, so its bits may steer the loop.
Fe Invert(const Fe& z) {
    // p - 2 = 2^255 - 21: bits 254..5 set, then 01011.
    Fe r = z;
    for (int bit = 253; bit >= 0; --bit) {
        r = Square(r);
        const bool set = bit >= 5 || bit == 3 || bit == 1 || bit == 0;
        if (set) r = Mul(r, z);
    }
    return r;
}

Fe Decode(const unsigned char* s) {
    Fe h{};
    int limb = 0, filled = 0;
    for (int bit = 0; bit < 255; ++bit) {
        const std::int64_t b = (s[bit >> 3] >> (bit & 7)) & 1;
        h.v[limb] |= b << filled;
        if (++filled == Bits(limb)) {
            ++limb;
            filled = 0;
        }
    }
    return h;
}

void Encode(Fe h, unsigned char* s) {
    Carry(h);
    Carry(h);
    // Now 0 <= limbs < their width except that the value may still be at or
    // above p: q = 1 exactly when h + 19 reaches 2^255.
    std::int64_t q = (19 * h.v[9] + (std::int64_t{1} << 24)) >> 25;
    for (int i = 0; i < 10; ++i) q = (h.v[i] + q) >> Bits(i);
    h.v[0] += 19 * q;
    for (int i = 0; i < 9; ++i) {
        const std::int64_t c = h.v[i] >> Bits(i);
        h.v[i] -= c * (std::int64_t{1} << Bits(i));
        h.v[i + 1] += c;
    }
    h.v[9] &= (std::int64_t{1} << 25) - 1;  // drops the 2^255 that q took away

    std::memset(s, 0, 32);
    int at = 0;
    for (int i = 0; i < 10; ++i) {
        for (int b = 0; b < Bits(i); ++b, ++at) s[at >> 3] |= static_cast<unsigned char>(((h.v[i] >> b) & 1) << (at & 7));
    }
}

void ScalarMult(const unsigned char* scalar, const unsigned char* point, unsigned char* out) {
    unsigned char k[32];
    ScopedWipe wipeK(k);
    std::memcpy(k, scalar, 32);
    k[0] &= 248;
    k[31] &= 127;
    k[31] |= 64;

    const Fe x1 = Decode(point);
    Fe x2{}, z2{}, x3 = x1, z3{};
    x2.v[0] = 1;
    z3.v[0] = 1;
    std::int64_t swap = 0;
    for (int t = 254; t >= 0; --t) {
        const std::int64_t bit = (k[t >> 3] >> (t & 7)) & 1;
        swap ^= bit;
        CondSwap(x2, x3, swap);
        CondSwap(z2, z3, swap);
        swap = bit;
        const Fe a = Add(x2, z2);
        const Fe aa = Square(a);
        const Fe b = Sub(x2, z2);
        const Fe bb = Square(b);
        const Fe e = Sub(aa, bb);
        const Fe c = Add(x3, z3);
        const Fe d = Sub(x3, z3);
        const Fe da = Mul(d, a);
        const Fe cb = Mul(c, b);
        x3 = Square(Add(da, cb));
        z3 = Mul(x1, Square(Sub(da, cb)));
        x2 = Mul(aa, bb);
        z2 = Mul(e, Add(aa, MulSmall(e, 121665)));
    }
    CondSwap(x2, x3, swap);
    CondSwap(z2, z3, swap);
    Encode(Mul(x2, Invert(z2)), out);
    SecureWipeObject(x2);
    SecureWipeObject(z2);
    SecureWipeObject(x3);
    SecureWipeObject(z3);
}

}  // namespace

bool CX25519::SharedSecret(const unsigned char* scalar, const unsigned char* u, unsigned char* out) {
    ScalarMult(scalar, u, out);
    unsigned char any = 0;
    for (std::size_t i = 0; i < kLength; ++i) any = static_cast<unsigned char>(any | out[i]);
    return any != 0;
}

void CX25519::PublicKey(const unsigned char* scalar, unsigned char* out) {
    static const unsigned char kBase[32] = {9};
    ScalarMult(scalar, kBase, out);
}

}  // namespace mg
