#include "cipher/poly1305_avx2.h"

#include "cipher/poly1305_limbs.h"
#include "cpu/cpu_features.h"
#include "cpu/secure_wipe.h"
#include "cpu/x86_intrinsics.h"

#if (defined(__x86_64__) || defined(__i386__)) && !(defined(_WIN32) && defined(__x86_64__))
#define MG_POLY_AVX2 1
#endif

namespace mg {

#if MG_POLY_AVX2

namespace {

constexpr std::uint64_t kMask26 = 0x3ffffff;

#define MG_AVX2 __attribute__((target("avx,avx2")))

// Sixty-four-bit column sums carried back to 26-bit limbs, 2^130 folded in
// as 5; the result's limbs 1 and 4 may hold a few bits more.
void Carry26(const std::uint64_t* t, std::uint64_t* h) {
    std::uint64_t c = t[0] >> 26;
    h[0] = t[0] & kMask26;
    std::uint64_t d = t[1] + c;
    h[1] = d & kMask26;
    d = t[2] + (d >> 26);
    h[2] = d & kMask26;
    d = t[3] + (d >> 26);
    h[3] = d & kMask26;
    d = t[4] + (d >> 26);
    h[4] = d & kMask26;
    c = (d >> 26) * 5 + h[0];
    h[0] = c & kMask26;
    h[1] += c >> 26;
}

// a * b on 26-bit limbs, reduced.
void Mul26(const std::uint64_t* a, const std::uint64_t* b, std::uint64_t* out) {
    const std::uint64_t s1 = b[1] * 5, s2 = b[2] * 5, s3 = b[3] * 5, s4 = b[4] * 5;
    const std::uint64_t t[5] = {
        a[0] * b[0] + a[1] * s4 + a[2] * s3 + a[3] * s2 + a[4] * s1,
        a[0] * b[1] + a[1] * b[0] + a[2] * s4 + a[3] * s3 + a[4] * s2,
        a[0] * b[2] + a[1] * b[1] + a[2] * b[0] + a[3] * s4 + a[4] * s3,
        a[0] * b[3] + a[1] * b[2] + a[2] * b[1] + a[3] * b[0] + a[4] * s4,
        a[0] * b[4] + a[1] * b[3] + a[2] * b[2] + a[3] * b[1] + a[4] * b[0]};
    Carry26(t, out);
}

struct Limbs {
    __m256i v[5];
};

// h = h * r per lane (s = 5 r), carried back to about 26 bits a limb in two
// interleaved chains (0 → 1 → 2 → 3 and 3 → 4 → 0 → 1), half the latency of
// one chain round the whole number: the steps wait on this, not on the
// multiplier.
MG_AVX2 __attribute__((always_inline)) inline void MulCarry(Limbs& h, const Limbs& r, const Limbs& s) {
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
    // Column sums stay below 2^60; after the chains every limb is below
    // 2^26 + 2^12, so that with a message block added the next products
    // (inputs of 32 bits at most) cannot overflow.
    d1 = _mm256_add_epi64(d1, _mm256_srli_epi64(d0, 26));
    d0 = _mm256_and_si256(d0, mask);
    d4 = _mm256_add_epi64(d4, _mm256_srli_epi64(d3, 26));
    d3 = _mm256_and_si256(d3, mask);
    d2 = _mm256_add_epi64(d2, _mm256_srli_epi64(d1, 26));
    d1 = _mm256_and_si256(d1, mask);
    __m256i c = _mm256_srli_epi64(d4, 26);
    d4 = _mm256_and_si256(d4, mask);
    d0 = _mm256_add_epi64(d0, _mm256_add_epi64(c, _mm256_slli_epi64(c, 2)));  // 2^130 = 5
    d3 = _mm256_add_epi64(d3, _mm256_srli_epi64(d2, 26));
    d2 = _mm256_and_si256(d2, mask);
    d1 = _mm256_add_epi64(d1, _mm256_srli_epi64(d0, 26));
    d0 = _mm256_and_si256(d0, mask);
    d4 = _mm256_add_epi64(d4, _mm256_srli_epi64(d3, 26));
    d3 = _mm256_and_si256(d3, mask);
    h.v[0] = d0;
    h.v[1] = d1;
    h.v[2] = d2;
    h.v[3] = d3;
    h.v[4] = d4;
}

// Four blocks as limbs with the 2^128 bit, one per lane; the lanes hold
// blocks 0, 2, 1 and 3 (the order the unpacks leave them in, which costs no
// lane-crossing shuffle).
MG_AVX2 __attribute__((always_inline)) inline void AddMessage(Limbs& h, const unsigned char* m) {
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(m));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(m + 32));
    const __m256i lo = _mm256_unpacklo_epi64(a, b);
    const __m256i hi = _mm256_unpackhi_epi64(a, b);
    const __m256i mask = _mm256_set1_epi64x(static_cast<long long>(kMask26));
    h.v[0] = _mm256_add_epi64(h.v[0], _mm256_and_si256(lo, mask));
    h.v[1] = _mm256_add_epi64(h.v[1], _mm256_and_si256(_mm256_srli_epi64(lo, 26), mask));
    h.v[2] = _mm256_add_epi64(h.v[2], _mm256_and_si256(_mm256_or_si256(_mm256_srli_epi64(lo, 52), _mm256_slli_epi64(hi, 12)), mask));
    h.v[3] = _mm256_add_epi64(h.v[3], _mm256_and_si256(_mm256_srli_epi64(hi, 14), mask));
    h.v[4] = _mm256_add_epi64(h.v[4], _mm256_or_si256(_mm256_srli_epi64(hi, 40), _mm256_set1_epi64x(1 << 24)));
}

MG_AVX2 inline __m256i Lanes4(const std::uint64_t* a, const std::uint64_t* b, const std::uint64_t* c,
                              const std::uint64_t* d, int k, std::uint64_t times) {
    return _mm256_setr_epi64x(static_cast<long long>(a[k] * times), static_cast<long long>(b[k] * times),
                              static_cast<long long>(c[k] * times), static_cast<long long>(d[k] * times));
}

// kSets sets of four lanes; each step takes 64 * kSets bytes, set k its
// blocks 4k .. 4k + 3. q holds r, r^2, ... r^(4 kSets).
#if defined(__x86_64__)
// One set of four lanes of the hand-allocated loop below: h0..h4 are the
// numbers of its accumulator's registers, m0 and m1 the offsets of its 64
// bytes of message. ymm10..ymm14 take the products, ymm15 is scratch; the
// constants (r^8 at 0, 5 r^8 at 160, the mask at 320, the high bit at 352)
// are memory operands.
#define MG_Y(n) "%%ymm" #n
#define MG_POLY_MAC(d, o, h) \
    "vpmuludq " #o "(%[c]), " MG_Y(h) ", %%ymm15\n\t" "vpaddq %%ymm15, " MG_Y(d) ", " MG_Y(d) "\n\t"
#define MG_POLY_DOT(d, o0, o1, o2, o3, o4, h0, h1, h2, h3, h4)                                  \
    "vpmuludq " #o0 "(%[c]), " MG_Y(h0) ", " MG_Y(d) "\n\t" MG_POLY_MAC(d, o1, h1) MG_POLY_MAC(d, o2, h2) \
        MG_POLY_MAC(d, o3, h3) MG_POLY_MAC(d, o4, h4)
// A limb's bits above 26 go into the next limb, in two interleaved chains;
// those of limb 4 go into limb 0 times 5 (x + (x << 2)), written out below.
#define MG_POLY_CARRY(from, to) \
    "vpsrlq $26, " MG_Y(from) ", %%ymm15\n\t" "vpaddq %%ymm15, " MG_Y(to) ", " MG_Y(to) "\n\t"
#define MG_POLY_MASK(x, into) "vpand 320(%[c]), " MG_Y(x) ", " MG_Y(into) "\n\t"
// The next block limb: (x >> shift) masked, into accumulator limb h.
#define MG_POLY_ADD_LIMB(h) "vpand 320(%[c]), %%ymm12, %%ymm12\n\t" "vpaddq %%ymm12, " MG_Y(h) ", " MG_Y(h) "\n\t"
#define MG_POLY_SET(h0, h1, h2, h3, h4, m0, m1)                                                        \
    MG_POLY_DOT(10, 0, 288, 256, 224, 192, h0, h1, h2, h3, h4)                                        \
    MG_POLY_DOT(11, 32, 0, 288, 256, 224, h0, h1, h2, h3, h4)                                         \
    MG_POLY_DOT(12, 64, 32, 0, 288, 256, h0, h1, h2, h3, h4)                                          \
    MG_POLY_DOT(13, 96, 64, 32, 0, 288, h0, h1, h2, h3, h4)                                           \
    MG_POLY_DOT(14, 128, 96, 64, 32, 0, h0, h1, h2, h3, h4)                                           \
    MG_POLY_CARRY(10, 11) MG_POLY_MASK(10, 10)                                                        \
    MG_POLY_CARRY(13, 14) MG_POLY_MASK(13, 13)                                                        \
    MG_POLY_CARRY(11, 12) MG_POLY_MASK(11, 11)                                                        \
    "vpsrlq $26, %%ymm14, %%ymm15\n\t" MG_POLY_MASK(14, 14)                                           \
    "vpaddq %%ymm15, %%ymm10, %%ymm10\n\t" "vpsllq $2, %%ymm15, %%ymm15\n\t"                          \
    "vpaddq %%ymm15, %%ymm10, %%ymm10\n\t"                                                            \
    MG_POLY_CARRY(12, 13) MG_POLY_MASK(12, h2)                                                        \
    "vpsrlq $26, %%ymm10, %%ymm15\n\t" "vpaddq %%ymm15, %%ymm11, " MG_Y(h1) "\n\t" MG_POLY_MASK(10, h0) \
    "vpsrlq $26, %%ymm13, %%ymm15\n\t" "vpaddq %%ymm15, %%ymm14, " MG_Y(h4) "\n\t" MG_POLY_MASK(13, h3) \
    "vmovdqu " #m0 "(%[m]), %%ymm12\n\t" "vmovdqu " #m1 "(%[m]), %%ymm13\n\t"                          \
    "vpunpcklqdq %%ymm13, %%ymm12, %%ymm10\n\t" "vpunpckhqdq %%ymm13, %%ymm12, %%ymm11\n\t"            \
    "vpand 320(%[c]), %%ymm10, %%ymm12\n\t" "vpaddq %%ymm12, " MG_Y(h0) ", " MG_Y(h0) "\n\t"          \
    "vpsrlq $26, %%ymm10, %%ymm12\n\t" MG_POLY_ADD_LIMB(h1)                                           \
    "vpsrlq $52, %%ymm10, %%ymm12\n\t" "vpsllq $12, %%ymm11, %%ymm13\n\t"                              \
    "vpor %%ymm13, %%ymm12, %%ymm12\n\t" MG_POLY_ADD_LIMB(h2)                                         \
    "vpsrlq $14, %%ymm11, %%ymm12\n\t" MG_POLY_ADD_LIMB(h3)                                           \
    "vpsrlq $40, %%ymm11, %%ymm12\n\t" "vpor 352(%[c]), %%ymm12, %%ymm12\n\t"                          \
    "vpaddq %%ymm12, " MG_Y(h4) ", " MG_Y(h4) "\n\t"
#endif

template <int kSets>
MG_AVX2 __attribute__((noinline)) void Run(std::uint64_t* h, const std::uint64_t (*q)[5], const unsigned char* m,
                                           std::size_t steps) {
    constexpr int kLanes = 4 * kSets;
    Limbs step, stepS, acc[kSets];
    for (int k = 0; k < 5; ++k) {
        step.v[k] = _mm256_set1_epi64x(static_cast<long long>(q[kLanes - 1][k]));
        stepS.v[k] = _mm256_set1_epi64x(static_cast<long long>(q[kLanes - 1][k] * 5));
    }
    // The accumulator so far goes into the first lane, ahead of the first block.
    for (int set = 0; set < kSets; ++set) {
        for (int k = 0; k < 5; ++k) {
            acc[set].v[k] = _mm256_setr_epi64x(static_cast<long long>(set == 0 ? h[k] : 0), 0, 0, 0);
        }
        AddMessage(acc[set], m + 64 * set);
    }
#if defined(__x86_64__)
    if constexpr (kSets == 2) {
        // The same steps with the registers allocated by hand: the two sets'
        // accumulators in ten registers for the whole run, the products and
        // carries in the other six, the powers and masks as memory operands.
        // The compiler's version moved about fifty vectors to and from the
        // stack per step.
        if (steps > 1) {
            struct Constants {
                __m256i r[5], s[5], mask, hibit;
            } c;
            for (int k = 0; k < 5; ++k) {
                c.r[k] = step.v[k];
                c.s[k] = stepS.v[k];
            }
            c.mask = _mm256_set1_epi64x(static_cast<long long>(kMask26));
            c.hibit = _mm256_set1_epi64x(1 << 24);
            const unsigned char* next = m + 128;
            std::size_t n = steps - 1;
            __asm__ volatile(
        "vmovdqu 0(%[acc]), %%ymm0\n\t"
        "vmovdqu 32(%[acc]), %%ymm1\n\t"
        "vmovdqu 64(%[acc]), %%ymm2\n\t"
        "vmovdqu 96(%[acc]), %%ymm3\n\t"
        "vmovdqu 128(%[acc]), %%ymm4\n\t"
        "vmovdqu 160(%[acc]), %%ymm5\n\t"
        "vmovdqu 192(%[acc]), %%ymm6\n\t"
        "vmovdqu 224(%[acc]), %%ymm7\n\t"
        "vmovdqu 256(%[acc]), %%ymm8\n\t"
        "vmovdqu 288(%[acc]), %%ymm9\n\t"
        "1:\n\t"
        MG_POLY_SET(0, 1, 2, 3, 4, 0, 32)
        MG_POLY_SET(5, 6, 7, 8, 9, 64, 96)
        "add $128, %[m]\n\t"
        "dec %[n]\n\t"
        "jnz 1b\n\t"
        "vmovdqu %%ymm0, 0(%[acc])\n\t"
        "vmovdqu %%ymm1, 32(%[acc])\n\t"
        "vmovdqu %%ymm2, 64(%[acc])\n\t"
        "vmovdqu %%ymm3, 96(%[acc])\n\t"
        "vmovdqu %%ymm4, 128(%[acc])\n\t"
        "vmovdqu %%ymm5, 160(%[acc])\n\t"
        "vmovdqu %%ymm6, 192(%[acc])\n\t"
        "vmovdqu %%ymm7, 224(%[acc])\n\t"
        "vmovdqu %%ymm8, 256(%[acc])\n\t"
        "vmovdqu %%ymm9, 288(%[acc])\n\t"
                : [m] "+r"(next), [n] "+r"(n)
                : [acc] "r"(acc), [c] "r"(&c)
                : "cc", "memory", "xmm0", "xmm1", "xmm2", "xmm3", "xmm4", "xmm5", "xmm6", "xmm7", "xmm8", "xmm9",
                  "xmm10", "xmm11", "xmm12", "xmm13", "xmm14", "xmm15");
#undef MG_POLY_SET
#undef MG_POLY_ADD_LIMB
#undef MG_POLY_MASK
#undef MG_POLY_CARRY
#undef MG_POLY_DOT
#undef MG_POLY_MAC
#undef MG_Y
            SecureWipeObject(c);
        }
    } else
#endif
    {
        for (std::size_t g = 1; g < steps; ++g) {
#pragma GCC unroll 4
            for (int set = 0; set < kSets; ++set) {
                MulCarry(acc[set], step, stepS);
                AddMessage(acc[set], m + 64 * (kSets * g + set));
            }
        }
    }
    // Each lane ends with the power its last block still needs: block b of
    // set k, r^(lanes - 4k - b).
    __m256i sum[5];
    for (int set = 0; set < kSets; ++set) {
        const int top = kLanes - 4 * set - 1;
        Limbs rj, sj;
        for (int k = 0; k < 5; ++k) {
            rj.v[k] = Lanes4(q[top], q[top - 2], q[top - 1], q[top - 3], k, 1);
            sj.v[k] = Lanes4(q[top], q[top - 2], q[top - 1], q[top - 3], k, 5);
        }
        MulCarry(acc[set], rj, sj);
        for (int k = 0; k < 5; ++k) sum[k] = set == 0 ? acc[set].v[k] : _mm256_add_epi64(sum[k], acc[set].v[k]);
    }
    alignas(32) std::uint64_t lanes[5][4];
    for (int k = 0; k < 5; ++k) _mm256_store_si256(reinterpret_cast<__m256i*>(lanes[k]), sum[k]);
    std::uint64_t t[5];
    for (int k = 0; k < 5; ++k) t[k] = lanes[k][0] + lanes[k][1] + lanes[k][2] + lanes[k][3];
    Carry26(t, h);
    SecureWipeObject(lanes);
    SecureWipeObject(t);
}

// Eight lanes where there are sixteen vector registers; the 32-bit build's
// eight would spill the second set of accumulators on every step.
#if defined(__x86_64__)
constexpr int kWideSets = 2;
#else
constexpr int kWideSets = 1;
#endif

}  // namespace

bool Poly1305Avx2Available() { return Cpu().avx2; }

void Poly1305Avx2Powers26(const std::uint64_t* r, std::uint64_t* table) {
    for (int k = 0; k < 5; ++k) table[k] = r[k];
    for (int i = 1; i < 8; ++i) Mul26(table + 5 * (i - 1), r, table + 5 * i);
}

void Poly1305Avx2Blocks26(std::uint64_t* h, const std::uint64_t* table, const unsigned char* m, std::size_t groups) {
    if (groups == 0) return;
    const auto* q = reinterpret_cast<const std::uint64_t(*)[5]>(table);
    const std::size_t steps = groups / kWideSets;
    if (steps > 0) Run<kWideSets>(h, q, m, steps);
    if (groups % kWideSets != 0) Run<1>(h, q, m + 64 * kWideSets * steps, 1);
}

#if defined(__SIZEOF_INT128__)

namespace {

// Three 44-bit limbs to five 26-bit ones (the last may be a bit wider). The
// value may reach past 2^128, so it is never held whole.
void To26(const std::uint64_t* a, std::uint64_t* out) {
    using namespace poly1305_limbs;
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

}  // namespace

void Poly1305Avx2Powers(const std::uint64_t* r, std::uint64_t* table) {
    std::uint64_t r26[5];
    To26(r, r26);
    Poly1305Avx2Powers26(r26, table);
    SecureWipeObject(r26);
}

void Poly1305Avx2Blocks(std::uint64_t* h, const std::uint64_t* table, const unsigned char* m, std::size_t groups) {
    using namespace poly1305_limbs;
    if (groups == 0) return;
    std::uint64_t h26[5];
    To26(h, h26);
    Poly1305Avx2Blocks26(h26, table, m, groups);
    U128 sum = U128{h26[0]} + (U128{h26[1]} << 26) + (U128{h26[2]} << 52);
    h[0] = static_cast<std::uint64_t>(sum) & kMask44;
    sum = (sum >> 44) + (U128{h26[3]} << 34) + (U128{h26[4]} << 60);
    h[1] = static_cast<std::uint64_t>(sum) & kMask44;
    h[2] = static_cast<std::uint64_t>(sum >> 44);
    // Above 2^130 folds back in as times 5.
    const std::uint64_t c = h[2] >> 42;
    h[2] &= kMask42;
    h[0] += c * 5;
    h[1] += h[0] >> 44;
    h[0] &= kMask44;
    SecureWipeObject(h26);
}

#endif

#else

bool Poly1305Avx2Available() { return false; }
void Poly1305Avx2Powers26(const std::uint64_t*, std::uint64_t*) {}
void Poly1305Avx2Blocks26(std::uint64_t*, const std::uint64_t*, const unsigned char*, std::size_t) {}
#if defined(__SIZEOF_INT128__)
void Poly1305Avx2Powers(const std::uint64_t*, std::uint64_t*) {}
void Poly1305Avx2Blocks(std::uint64_t*, const std::uint64_t*, const unsigned char*, std::size_t) {}
#endif

#endif

}  // namespace mg
