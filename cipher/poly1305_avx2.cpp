#include "cipher/poly1305_avx2.h"

#include "cipher/poly1305_limbs.h"
#include "cpu/cpu_features.h"
#include "cpu/secure_wipe.h"
#include "cpu/x86_intrinsics.h"

#if defined(__x86_64__) && defined(__SIZEOF_INT128__) && !defined(_WIN32)
#define MG_POLY_AVX2 1
#endif

namespace mg {

#if MG_POLY_AVX2

namespace {

using namespace poly1305_limbs;
constexpr std::uint64_t kMask26 = 0x3ffffff;

#define MG_AVX2 __attribute__((target("avx,avx2")))

// Three 44-bit limbs to five 26-bit ones (the last may be a bit wider). The
// value may reach past 2^128, so it is never held whole.
void To26(const std::uint64_t* a, std::uint64_t* out) {
    U128 acc = a[0];
    out[0] = static_cast<std::uint64_t>(acc) & kMask26;
    acc = (acc >> 26) + (U128{a[1]} << 18);  // bit 26 now at 0; a[1] starts at bit 44
    out[1] = static_cast<std::uint64_t>(acc) & kMask26;
    acc >>= 26;
    out[2] = static_cast<std::uint64_t>(acc) & kMask26;
    acc = (acc >> 26) + (U128{a[2]} << 10);  // bit 78 at 0; a[2] starts at bit 88
    out[3] = static_cast<std::uint64_t>(acc) & kMask26;
    out[4] = static_cast<std::uint64_t>(acc >> 26);
}

struct Limbs {
    __m256i v[5];
};

// d = h * r per lane, carried back to 26-bit limbs.
MG_AVX2 inline void MulCarry(Limbs& h, const Limbs& r, const Limbs& s) {
    const __m256i* a = h.v;
    __m256i d0 = _mm256_add_epi64(
        _mm256_add_epi64(_mm256_add_epi64(_mm256_mul_epu32(a[0], r.v[0]), _mm256_mul_epu32(a[1], s.v[4])),
                         _mm256_add_epi64(_mm256_mul_epu32(a[2], s.v[3]), _mm256_mul_epu32(a[3], s.v[2]))),
        _mm256_mul_epu32(a[4], s.v[1]));
    __m256i d1 = _mm256_add_epi64(
        _mm256_add_epi64(_mm256_add_epi64(_mm256_mul_epu32(a[0], r.v[1]), _mm256_mul_epu32(a[1], r.v[0])),
                         _mm256_add_epi64(_mm256_mul_epu32(a[2], s.v[4]), _mm256_mul_epu32(a[3], s.v[3]))),
        _mm256_mul_epu32(a[4], s.v[2]));
    __m256i d2 = _mm256_add_epi64(
        _mm256_add_epi64(_mm256_add_epi64(_mm256_mul_epu32(a[0], r.v[2]), _mm256_mul_epu32(a[1], r.v[1])),
                         _mm256_add_epi64(_mm256_mul_epu32(a[2], r.v[0]), _mm256_mul_epu32(a[3], s.v[4]))),
        _mm256_mul_epu32(a[4], s.v[3]));
    __m256i d3 = _mm256_add_epi64(
        _mm256_add_epi64(_mm256_add_epi64(_mm256_mul_epu32(a[0], r.v[3]), _mm256_mul_epu32(a[1], r.v[2])),
                         _mm256_add_epi64(_mm256_mul_epu32(a[2], r.v[1]), _mm256_mul_epu32(a[3], r.v[0]))),
        _mm256_mul_epu32(a[4], s.v[4]));
    __m256i d4 = _mm256_add_epi64(
        _mm256_add_epi64(_mm256_add_epi64(_mm256_mul_epu32(a[0], r.v[4]), _mm256_mul_epu32(a[1], r.v[3])),
                         _mm256_add_epi64(_mm256_mul_epu32(a[2], r.v[2]), _mm256_mul_epu32(a[3], r.v[1]))),
        _mm256_mul_epu32(a[4], r.v[0]));
    const __m256i mask = _mm256_set1_epi64x(static_cast<long long>(kMask26));
    d1 = _mm256_add_epi64(d1, _mm256_srli_epi64(d0, 26));
    d0 = _mm256_and_si256(d0, mask);
    d2 = _mm256_add_epi64(d2, _mm256_srli_epi64(d1, 26));
    d1 = _mm256_and_si256(d1, mask);
    d3 = _mm256_add_epi64(d3, _mm256_srli_epi64(d2, 26));
    d2 = _mm256_and_si256(d2, mask);
    d4 = _mm256_add_epi64(d4, _mm256_srli_epi64(d3, 26));
    d3 = _mm256_and_si256(d3, mask);
    const __m256i c = _mm256_srli_epi64(d4, 26);
    d4 = _mm256_and_si256(d4, mask);
    d0 = _mm256_add_epi64(d0, _mm256_add_epi64(c, _mm256_slli_epi64(c, 2)));  // 2^130 = 5
    d1 = _mm256_add_epi64(d1, _mm256_srli_epi64(d0, 26));
    d0 = _mm256_and_si256(d0, mask);
    h.v[0] = d0;
    h.v[1] = d1;
    h.v[2] = d2;
    h.v[3] = d3;
    h.v[4] = d4;
}

// Four blocks, one per lane in block order, as limbs with the 2^128 bit.
MG_AVX2 inline void AddMessage(Limbs& h, const unsigned char* m) {
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(m));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(m + 32));
    // [b0lo b2lo b1lo b3lo] -> [b0lo b1lo b2lo b3lo]
    const __m256i lo = _mm256_permute4x64_epi64(_mm256_unpacklo_epi64(a, b), 0xD8);
    const __m256i hi = _mm256_permute4x64_epi64(_mm256_unpackhi_epi64(a, b), 0xD8);
    const __m256i mask = _mm256_set1_epi64x(static_cast<long long>(kMask26));
    h.v[0] = _mm256_add_epi64(h.v[0], _mm256_and_si256(lo, mask));
    h.v[1] = _mm256_add_epi64(h.v[1], _mm256_and_si256(_mm256_srli_epi64(lo, 26), mask));
    h.v[2] = _mm256_add_epi64(h.v[2], _mm256_and_si256(_mm256_or_si256(_mm256_srli_epi64(lo, 52), _mm256_slli_epi64(hi, 12)), mask));
    h.v[3] = _mm256_add_epi64(h.v[3], _mm256_and_si256(_mm256_srli_epi64(hi, 14), mask));
    h.v[4] = _mm256_add_epi64(h.v[4], _mm256_or_si256(_mm256_srli_epi64(hi, 40), _mm256_set1_epi64x(1 << 24)));
}

MG_AVX2 __attribute__((noinline)) void Run(std::uint64_t* h, const std::uint64_t* r, const unsigned char* m,
                                           std::size_t groups) {
    std::uint64_t p[4][3];  // r, r^2, r^3, r^4
    p[0][0] = r[0], p[0][1] = r[1], p[0][2] = r[2];
    Mul44(p[0], p[0], p[1]);
    Mul44(p[1], p[0], p[2]);
    Mul44(p[1], p[1], p[3]);
    std::uint64_t q[4][5];
    for (int i = 0; i < 4; ++i) To26(p[i], q[i]);
    Limbs r4, s4, rj, sj;
    for (int k = 0; k < 5; ++k) {
        r4.v[k] = _mm256_set1_epi64x(static_cast<long long>(q[3][k]));
        s4.v[k] = _mm256_set1_epi64x(static_cast<long long>(q[3][k] * 5));
        // Lane j ends with the power that its last block still needs: r^(4-j).
        rj.v[k] = _mm256_setr_epi64x(static_cast<long long>(q[3][k]), static_cast<long long>(q[2][k]),
                                     static_cast<long long>(q[1][k]), static_cast<long long>(q[0][k]));
        sj.v[k] = _mm256_setr_epi64x(static_cast<long long>(q[3][k] * 5), static_cast<long long>(q[2][k] * 5),
                                     static_cast<long long>(q[1][k] * 5), static_cast<long long>(q[0][k] * 5));
    }
    // The accumulator so far goes into lane 0, ahead of the first block.
    std::uint64_t h26[5];
    To26(h, h26);
    Limbs acc;
    acc.v[0] = _mm256_setr_epi64x(static_cast<long long>(h26[0]), 0, 0, 0);
    acc.v[1] = _mm256_setr_epi64x(static_cast<long long>(h26[1]), 0, 0, 0);
    acc.v[2] = _mm256_setr_epi64x(static_cast<long long>(h26[2]), 0, 0, 0);
    acc.v[3] = _mm256_setr_epi64x(static_cast<long long>(h26[3]), 0, 0, 0);
    acc.v[4] = _mm256_setr_epi64x(static_cast<long long>(h26[4]), 0, 0, 0);
    AddMessage(acc, m);
    for (std::size_t g = 1; g < groups; ++g) {
        MulCarry(acc, r4, s4);
        AddMessage(acc, m + 64 * g);
    }
    MulCarry(acc, rj, sj);
    // The sum of the lanes, back to three 44-bit limbs.
    alignas(32) std::uint64_t lanes[5][4];
    for (int k = 0; k < 5; ++k) _mm256_store_si256(reinterpret_cast<__m256i*>(lanes[k]), acc.v[k]);
    std::uint64_t t[5];
    for (int k = 0; k < 5; ++k) t[k] = lanes[k][0] + lanes[k][1] + lanes[k][2] + lanes[k][3];
    U128 sum = U128{t[0]} + (U128{t[1]} << 26) + (U128{t[2]} << 52);
    h[0] = static_cast<std::uint64_t>(sum) & kMask44;
    sum = (sum >> 44) + (U128{t[3]} << 34) + (U128{t[4]} << 60);
    h[1] = static_cast<std::uint64_t>(sum) & kMask44;
    h[2] = static_cast<std::uint64_t>(sum >> 44);
    // Above 2^130 folds back in as times 5.
    const std::uint64_t c = h[2] >> 42;
    h[2] &= kMask42;
    h[0] += c * 5;
    h[1] += h[0] >> 44;
    h[0] &= kMask44;
    SecureWipeObject(p);
    SecureWipeObject(q);
    SecureWipeObject(lanes);
}

}  // namespace

bool Poly1305Avx2Available() { return Cpu().avx2; }

void Poly1305Avx2Blocks(std::uint64_t* h, const std::uint64_t* r, const unsigned char* m, std::size_t groups) {
    if (groups > 0) Run(h, r, m, groups);
}

#else

bool Poly1305Avx2Available() { return false; }
void Poly1305Avx2Blocks(std::uint64_t*, const std::uint64_t*, const unsigned char*, std::size_t) {}

#endif

}  // namespace mg
