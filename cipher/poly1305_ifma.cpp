#include "cipher/poly1305_ifma.h"

#include "cipher/poly1305_limbs.h"
#include "cpu/cpu_features.h"
#include "cpu/secure_wipe.h"
#include "cpu/x86_intrinsics.h"

// Left out on 64-bit Windows as the other 512-bit paths: its compilers do not
// realign the stack for spilled vector registers.
#if defined(__x86_64__) && defined(__SIZEOF_INT128__) && !defined(_WIN32)
#define MG_POLY_IFMA 1
#endif

namespace mg {

#if MG_POLY_IFMA

namespace {

using namespace poly1305_limbs;

#define MG_IFMA __attribute__((target("avx,avx2,avx512f,avx512ifma")))

struct Vec3 {
    __m512i v0, v1, v2;
};

// h * r per lane. Every limb stays below 2^52 (the multiplier reads only
// those bits): h below 2^45, r below 2^45, s = 20 r below 2^50. The low and
// high product halves are summed apart and carried back to 44, 44, 42 bits.
MG_IFMA inline void MulCarry(Vec3& h, const Vec3& r, const Vec3& s) {
    const __m512i z = _mm512_setzero_si512();
    __m512i d0lo = _mm512_madd52lo_epu64(z, h.v0, r.v0);
    __m512i d0hi = _mm512_madd52hi_epu64(z, h.v0, r.v0);
    __m512i d1lo = _mm512_madd52lo_epu64(z, h.v0, r.v1);
    __m512i d1hi = _mm512_madd52hi_epu64(z, h.v0, r.v1);
    __m512i d2lo = _mm512_madd52lo_epu64(z, h.v0, r.v2);
    __m512i d2hi = _mm512_madd52hi_epu64(z, h.v0, r.v2);
    d0lo = _mm512_madd52lo_epu64(d0lo, h.v1, s.v2);
    d0hi = _mm512_madd52hi_epu64(d0hi, h.v1, s.v2);
    d1lo = _mm512_madd52lo_epu64(d1lo, h.v1, r.v0);
    d1hi = _mm512_madd52hi_epu64(d1hi, h.v1, r.v0);
    d2lo = _mm512_madd52lo_epu64(d2lo, h.v1, r.v1);
    d2hi = _mm512_madd52hi_epu64(d2hi, h.v1, r.v1);
    d0lo = _mm512_madd52lo_epu64(d0lo, h.v2, s.v1);
    d0hi = _mm512_madd52hi_epu64(d0hi, h.v2, s.v1);
    d1lo = _mm512_madd52lo_epu64(d1lo, h.v2, s.v2);
    d1hi = _mm512_madd52hi_epu64(d1hi, h.v2, s.v2);
    d2lo = _mm512_madd52lo_epu64(d2lo, h.v2, r.v0);
    d2hi = _mm512_madd52hi_epu64(d2hi, h.v2, r.v0);
    const __m512i m44 = _mm512_set1_epi64(static_cast<long long>(kMask44));
    const __m512i m42 = _mm512_set1_epi64(static_cast<long long>(kMask42));
    // A high half counts 2^52 above its limb: 2^8 of the next 44-bit limb,
    // 2^10 of 2^130 for the top one.
    __m512i c = _mm512_add_epi64(_mm512_srli_epi64(d0lo, 44), _mm512_slli_epi64(d0hi, 8));
    __m512i h0 = _mm512_and_si512(d0lo, m44);
    d1lo = _mm512_add_epi64(d1lo, c);
    c = _mm512_add_epi64(_mm512_srli_epi64(d1lo, 44), _mm512_slli_epi64(d1hi, 8));
    const __m512i h1 = _mm512_and_si512(d1lo, m44);
    d2lo = _mm512_add_epi64(d2lo, c);
    c = _mm512_add_epi64(_mm512_srli_epi64(d2lo, 42), _mm512_slli_epi64(d2hi, 10));
    h.v2 = _mm512_and_si512(d2lo, m42);
    h0 = _mm512_add_epi64(h0, _mm512_add_epi64(c, _mm512_slli_epi64(c, 2)));  // 2^130 = 5
    h.v1 = _mm512_add_epi64(h1, _mm512_srli_epi64(h0, 44));
    h.v0 = _mm512_and_si512(h0, m44);
}

// Eight blocks, one per lane in block order, as limbs with the 2^128 bit.
MG_IFMA inline void AddMessage(Vec3& h, const unsigned char* m) {
    const __m512i a = _mm512_loadu_si512(m);
    const __m512i b = _mm512_loadu_si512(m + 64);
    const __m512i lo = _mm512_permutex2var_epi64(a, _mm512_setr_epi64(0, 2, 4, 6, 8, 10, 12, 14), b);
    const __m512i hi = _mm512_permutex2var_epi64(a, _mm512_setr_epi64(1, 3, 5, 7, 9, 11, 13, 15), b);
    const __m512i m44 = _mm512_set1_epi64(static_cast<long long>(kMask44));
    h.v0 = _mm512_add_epi64(h.v0, _mm512_and_si512(lo, m44));
    h.v1 = _mm512_add_epi64(
        h.v1, _mm512_and_si512(_mm512_or_si512(_mm512_srli_epi64(lo, 44), _mm512_slli_epi64(hi, 20)), m44));
    h.v2 = _mm512_add_epi64(h.v2,
                            _mm512_or_si512(_mm512_srli_epi64(hi, 24), _mm512_set1_epi64(std::int64_t{1} << 40)));
}

MG_IFMA inline Vec3 Load3(const std::uint64_t* t) {
    return Vec3{_mm512_loadu_si512(t), _mm512_loadu_si512(t + 8), _mm512_loadu_si512(t + 16)};
}

// Two register sets of eight lanes, one for the first and one for the second
// 128 bytes of every 256: two independent chains of multiplications hide
// each other's latency.
MG_IFMA __attribute__((noinline)) void Run(std::uint64_t* h, const std::uint64_t* t, const unsigned char* m,
                                           std::size_t pairs) {
    const Vec3 rEndA = Load3(t), rEndB = Load3(t + 40);
    const Vec3 sEndA{_mm512_setzero_si512(), _mm512_loadu_si512(t + 24), _mm512_loadu_si512(t + 32)};
    const Vec3 sEndB{_mm512_setzero_si512(), _mm512_loadu_si512(t + 64), _mm512_loadu_si512(t + 72)};
    const std::uint64_t* step = t + 80;
    const Vec3 rStep{_mm512_set1_epi64(static_cast<long long>(step[0])),
                     _mm512_set1_epi64(static_cast<long long>(step[1])),
                     _mm512_set1_epi64(static_cast<long long>(step[2]))};
    const Vec3 sStep{_mm512_setzero_si512(), _mm512_set1_epi64(static_cast<long long>(step[3])),
                     _mm512_set1_epi64(static_cast<long long>(step[4]))};
    // The accumulator so far goes into lane 0 of the first set, ahead of the first block.
    Vec3 a, b;
    a.v0 = _mm512_setr_epi64(static_cast<long long>(h[0]), 0, 0, 0, 0, 0, 0, 0);
    a.v1 = _mm512_setr_epi64(static_cast<long long>(h[1]), 0, 0, 0, 0, 0, 0, 0);
    a.v2 = _mm512_setr_epi64(static_cast<long long>(h[2]), 0, 0, 0, 0, 0, 0, 0);
    b.v0 = b.v1 = b.v2 = _mm512_setzero_si512();
    AddMessage(a, m);
    AddMessage(b, m + 128);
    for (std::size_t g = 1; g < pairs; ++g) {
        MulCarry(a, rStep, sStep);
        MulCarry(b, rStep, sStep);
        AddMessage(a, m + 256 * g);
        AddMessage(b, m + 256 * g + 128);
    }
    MulCarry(a, rEndA, sEndA);
    MulCarry(b, rEndB, sEndB);
    // The sum of the lanes (each limb below 2^45, so no sum overflows), carried.
    std::uint64_t t0 = static_cast<std::uint64_t>(_mm512_reduce_add_epi64(_mm512_add_epi64(a.v0, b.v0)));
    std::uint64_t t1 = static_cast<std::uint64_t>(_mm512_reduce_add_epi64(_mm512_add_epi64(a.v1, b.v1)));
    std::uint64_t t2 = static_cast<std::uint64_t>(_mm512_reduce_add_epi64(_mm512_add_epi64(a.v2, b.v2)));
    t1 += t0 >> 44;
    t0 &= kMask44;
    t2 += t1 >> 44;
    t1 &= kMask44;
    const std::uint64_t c = t2 >> 42;
    t2 &= kMask42;
    t0 += c * 5;
    t1 += t0 >> 44;
    t0 &= kMask44;
    h[0] = t0;
    h[1] = t1;
    h[2] = t2;
}

}  // namespace

bool Poly1305IfmaAvailable() {
    const CpuFeatures& cpu = Cpu();
    return cpu.avx512f && cpu.avx512ifma;
}

void Poly1305IfmaPowers(const std::uint64_t* r, std::uint64_t* table) {
    std::uint64_t p[16][3];
    p[0][0] = r[0], p[0][1] = r[1], p[0][2] = r[2];
    for (int i = 1; i < 16; ++i) Mul44(p[i - 1], r, p[i]);
    // Lane j of a set ends with the power its last block still needs:
    // r^(16-j) in the first set, r^(8-j) in the second.
    for (int set = 0; set < 2; ++set) {
        std::uint64_t* out = table + 40 * set;
        for (int j = 0; j < 8; ++j) {
            const std::uint64_t* q = p[(set == 0 ? 16 : 8) - j - 1];
            out[j] = q[0];
            out[8 + j] = q[1];
            out[16 + j] = q[2];
            out[24 + j] = q[1] * 20;
            out[32 + j] = q[2] * 20;
        }
    }
    table[80] = p[15][0], table[81] = p[15][1], table[82] = p[15][2];
    table[83] = p[15][1] * 20, table[84] = p[15][2] * 20;
    SecureWipeObject(p);
}

void Poly1305IfmaBlocks(std::uint64_t* h, const std::uint64_t* powers, const unsigned char* m, std::size_t pairs) {
    if (pairs > 0) Run(h, powers, m, pairs);
}

#else

bool Poly1305IfmaAvailable() { return false; }
void Poly1305IfmaPowers(const std::uint64_t*, std::uint64_t*) {}
void Poly1305IfmaBlocks(std::uint64_t*, const std::uint64_t*, const unsigned char*, std::size_t) {}

#endif

}  // namespace mg
