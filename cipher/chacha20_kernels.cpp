// The ChaCha20 block function on vector registers: four blocks side by side
// in SSE2 registers (every x86 CPU of the last twenty years, the 32-bit ones
// included), eight in AVX2 or sixteen in AVX-512 registers, each register holding one state word
// of every block. All loads and stores are unaligned.
#include "cipher/chacha20_kernels.h"

#include "cipher/chacha20.h"
#include "cpu/cpu_features.h"
#include "cpu/secure_wipe.h"
#include "cpu/x86_intrinsics.h"

#if defined(__i386__) || defined(__x86_64__)
#define MG_CHACHA_X86 1
// 64-bit Windows gives no 32-byte stack alignment for the spills of 256-bit
// registers, and sixteen state words plus their inputs do not fit in the
// registers: the AVX2 path is left out there.
#if !(defined(_WIN32) && defined(__x86_64__))
#define MG_CHACHA_AVX2 1
#endif
// Sixteen blocks in the 32 registers of AVX-512: only where registers are
// that many (64-bit) and the stack may be realigned for them (not Windows).
#if defined(__x86_64__) && !defined(_WIN32)
#define MG_CHACHA_AVX512 1
#endif
#endif

namespace mg {

#if MG_CHACHA_X86

namespace {

#define MG_SSE2 __attribute__((target("sse2")))
#define MG_AVX2 __attribute__((target("avx,avx2")))

MG_SSE2 inline __m128i Rotl128(__m128i v, int n) {
    return _mm_or_si128(_mm_slli_epi32(v, n), _mm_srli_epi32(v, 32 - n));
}

MG_SSE2 inline void Quarter128(__m128i& a, __m128i& b, __m128i& c, __m128i& d) {
    a = _mm_add_epi32(a, b); d = Rotl128(_mm_xor_si128(d, a), 16);
    c = _mm_add_epi32(c, d); b = Rotl128(_mm_xor_si128(b, c), 12);
    a = _mm_add_epi32(a, b); d = Rotl128(_mm_xor_si128(d, a), 8);
    c = _mm_add_epi32(c, d); b = Rotl128(_mm_xor_si128(b, c), 7);
}

// Keystream bytes at out + at, XORed onto in + at when there is an input.
MG_SSE2 inline void Put128(const unsigned char* in, unsigned char* out, std::size_t at, __m128i v) {
    if (in != nullptr) v = _mm_xor_si128(v, _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + at)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + at), v);
}

// Four blocks from the state, counters state[12] .. state[12] + 3.
MG_SSE2 __attribute__((noinline)) void FourBlocksSse2(const std::uint32_t* state, const unsigned char* in,
                                                      unsigned char* out) {
    __m128i x[16], start[16];
    for (int i = 0; i < 16; ++i) start[i] = _mm_set1_epi32(static_cast<int>(state[i]));
    start[12] = _mm_add_epi32(start[12], _mm_set_epi32(3, 2, 1, 0));
    for (int i = 0; i < 16; ++i) x[i] = start[i];
    for (int round = 0; round < 10; ++round) {
        Quarter128(x[0], x[4], x[8], x[12]);
        Quarter128(x[1], x[5], x[9], x[13]);
        Quarter128(x[2], x[6], x[10], x[14]);
        Quarter128(x[3], x[7], x[11], x[15]);
        Quarter128(x[0], x[5], x[10], x[15]);
        Quarter128(x[1], x[6], x[11], x[12]);
        Quarter128(x[2], x[7], x[8], x[13]);
        Quarter128(x[3], x[4], x[9], x[14]);
    }
    for (int i = 0; i < 16; ++i) x[i] = _mm_add_epi32(x[i], start[i]);
    // Words 4g..4g+3 of the four blocks, transposed so that each register
    // holds 16 consecutive bytes of one block.
    for (int g = 0; g < 4; ++g) {
        const __m128i t0 = _mm_unpacklo_epi32(x[4 * g], x[4 * g + 1]);
        const __m128i t1 = _mm_unpacklo_epi32(x[4 * g + 2], x[4 * g + 3]);
        const __m128i t2 = _mm_unpackhi_epi32(x[4 * g], x[4 * g + 1]);
        const __m128i t3 = _mm_unpackhi_epi32(x[4 * g + 2], x[4 * g + 3]);
        Put128(in, out, 0 * 64 + 16 * g, _mm_unpacklo_epi64(t0, t1));
        Put128(in, out, 1 * 64 + 16 * g, _mm_unpackhi_epi64(t0, t1));
        Put128(in, out, 2 * 64 + 16 * g, _mm_unpacklo_epi64(t2, t3));
        Put128(in, out, 3 * 64 + 16 * g, _mm_unpackhi_epi64(t2, t3));
    }
}

#if MG_CHACHA_AVX2

// The rounds in intrinsics, where the hand-allocated ones below do not apply
// (32-bit: eight vector registers).
#if !defined(__x86_64__)
MG_AVX2 inline __m256i Rotl256(__m256i v, int n) {
    return _mm256_or_si256(_mm256_slli_epi32(v, n), _mm256_srli_epi32(v, 32 - n));
}

MG_AVX2 inline void Quarter256(__m256i& a, __m256i& b, __m256i& c, __m256i& d, __m256i rot16, __m256i rot8) {
    a = _mm256_add_epi32(a, b); d = _mm256_shuffle_epi8(_mm256_xor_si256(d, a), rot16);
    c = _mm256_add_epi32(c, d); b = Rotl256(_mm256_xor_si256(b, c), 12);
    a = _mm256_add_epi32(a, b); d = _mm256_shuffle_epi8(_mm256_xor_si256(d, a), rot8);
    c = _mm256_add_epi32(c, d); b = Rotl256(_mm256_xor_si256(b, c), 7);
}
#endif

MG_AVX2 inline void Put256(const unsigned char* in, unsigned char* out, std::size_t at, __m256i v) {
    if (in != nullptr) v = _mm256_xor_si256(v, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + at)));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + at), v);
}

// Words 4g..4g+3 and 4g+4..4g+7 (g = 0 or 2) of the eight blocks, finished
// with their inputs and transposed so that each register holds 32
// consecutive bytes of one block. Half the state at a time, so that the
// transpose does not spill.
MG_AVX2 inline void PutHalf(const unsigned char* in, unsigned char* out, std::size_t at, const __m256i* x,
                            const __m256i* input) {
    __m256i rows[2][4];
#pragma GCC unroll 2
    for (int h = 0; h < 2; ++h) {
        const __m256i a = _mm256_add_epi32(x[4 * h], input[4 * h]);
        const __m256i b = _mm256_add_epi32(x[4 * h + 1], input[4 * h + 1]);
        const __m256i c = _mm256_add_epi32(x[4 * h + 2], input[4 * h + 2]);
        const __m256i d = _mm256_add_epi32(x[4 * h + 3], input[4 * h + 3]);
        const __m256i t0 = _mm256_unpacklo_epi32(a, b);
        const __m256i t1 = _mm256_unpacklo_epi32(c, d);
        const __m256i t2 = _mm256_unpackhi_epi32(a, b);
        const __m256i t3 = _mm256_unpackhi_epi32(c, d);
        // Low half: block b, high half: block b + 4.
        rows[h][0] = _mm256_unpacklo_epi64(t0, t1);
        rows[h][1] = _mm256_unpackhi_epi64(t0, t1);
        rows[h][2] = _mm256_unpacklo_epi64(t2, t3);
        rows[h][3] = _mm256_unpackhi_epi64(t2, t3);
    }
#pragma GCC unroll 4
    for (int b = 0; b < 4; ++b) {
        Put256(in, out, b * 64 + at, _mm256_permute2x128_si256(rows[0][b], rows[1][b], 0x20));
        Put256(in, out, (b + 4) * 64 + at, _mm256_permute2x128_si256(rows[0][b], rows[1][b], 0x31));
    }
}

#if defined(__x86_64__)
// Two quarter rounds side by side on eight-lane registers (the numbers of
// a, b, c and d of each), with ymm14 and ymm15 as their temporaries.
#define MG_Y(n) "%%ymm" #n
#define MG_CHACHA_OP2(op, x0, y0, x1, y1) \
    op " " MG_Y(x0) ", " MG_Y(y0) ", " MG_Y(y0) "\n\t" op " " MG_Y(x1) ", " MG_Y(y1) ", " MG_Y(y1) "\n\t"
#define MG_CHACHA_HALF2(mask, right, left, a0, b0, c0, d0, a1, b1, c1, d1) \
    MG_CHACHA_OP2("vpaddd", b0, a0, b1, a1)                                \
    MG_CHACHA_OP2("vpxor", a0, d0, a1, d1)                                 \
    "vpshufb %[" #mask "], " MG_Y(d0) ", " MG_Y(d0) "\n\t"                  \
    "vpshufb %[" #mask "], " MG_Y(d1) ", " MG_Y(d1) "\n\t"                  \
    MG_CHACHA_OP2("vpaddd", d0, c0, d1, c1)                                \
    MG_CHACHA_OP2("vpxor", c0, b0, c1, b1)                                 \
    "vpsrld $" #right ", " MG_Y(b0) ", %%ymm14\n\t"                         \
    "vpsrld $" #right ", " MG_Y(b1) ", %%ymm15\n\t"                         \
    "vpslld $" #left ", " MG_Y(b0) ", " MG_Y(b0) "\n\t"                     \
    "vpslld $" #left ", " MG_Y(b1) ", " MG_Y(b1) "\n\t"                     \
    MG_CHACHA_OP2("vpor", 14, b0, 15, b1)
#define MG_CHACHA_QR2(a0, b0, c0, d0, a1, b1, c1, d1)                \
    MG_CHACHA_HALF2(r16, 20, 12, a0, b0, c0, d0, a1, b1, c1, d1) \
    MG_CHACHA_HALF2(r8, 25, 7, a0, b0, c0, d0, a1, b1, c1, d1)
// Words 8 and 9 in registers trade places with words 10 and 11 in memory.
#define MG_CHACHA_SWAP_C             \
    "vmovdqu 320(%[x]), %%ymm14\n\t" \
    "vmovdqu 352(%[x]), %%ymm15\n\t" \
    "vmovdqu %%ymm8, 320(%[x])\n\t"  \
    "vmovdqu %%ymm9, 352(%[x])\n\t"  \
    "vmovdqa %%ymm14, %%ymm8\n\t"    \
    "vmovdqa %%ymm15, %%ymm9\n\t"
#endif

MG_AVX2 __attribute__((noinline)) void EightBlocksAvx2(const std::uint32_t* state, const unsigned char* in,
                                                       unsigned char* out) {
    // Byte shuffles that rotate each 32-bit word left by 16 and by 8.
    const __m256i rot16 = _mm256_setr_epi8(2, 3, 0, 1, 6, 7, 4, 5, 10, 11, 8, 9, 14, 15, 12, 13,
                                           2, 3, 0, 1, 6, 7, 4, 5, 10, 11, 8, 9, 14, 15, 12, 13);
    const __m256i rot8 = _mm256_setr_epi8(3, 0, 1, 2, 7, 4, 5, 6, 11, 8, 9, 10, 15, 12, 13, 14,
                                          3, 0, 1, 2, 7, 4, 5, 6, 11, 8, 9, 10, 15, 12, 13, 14);
    __m256i x[16];
    for (int i = 0; i < 16; ++i) x[i] = _mm256_set1_epi32(static_cast<int>(state[i]));
    const __m256i counters = _mm256_add_epi32(x[12], _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
    x[12] = counters;
#if defined(__x86_64__)
    // Sixteen state words, two shift temporaries and two shuffle masks do not
    // fit sixteen registers, and the compiler's choice of what to spill cost
    // a fifth of the speed. Here words 10 and 11 stay in memory while the
    // quarter rounds on 8 and 9 run, and trade places with them (two stores
    // and two loads) for the rounds on 10 and 11; the masks are memory
    // operands. Two quarter rounds go side by side, one temporary each.
    std::size_t rounds = 10;
    __asm__ volatile(
        "vmovdqu 0(%[x]), %%ymm0\n\t"
        "vmovdqu 32(%[x]), %%ymm1\n\t"
        "vmovdqu 64(%[x]), %%ymm2\n\t"
        "vmovdqu 96(%[x]), %%ymm3\n\t"
        "vmovdqu 128(%[x]), %%ymm4\n\t"
        "vmovdqu 160(%[x]), %%ymm5\n\t"
        "vmovdqu 192(%[x]), %%ymm6\n\t"
        "vmovdqu 224(%[x]), %%ymm7\n\t"
        "vmovdqu 256(%[x]), %%ymm8\n\t"
        "vmovdqu 288(%[x]), %%ymm9\n\t"
        "vmovdqu 384(%[x]), %%ymm10\n\t"
        "vmovdqu 416(%[x]), %%ymm11\n\t"
        "vmovdqu 448(%[x]), %%ymm12\n\t"
        "vmovdqu 480(%[x]), %%ymm13\n\t"
        "1:\n\t"
        MG_CHACHA_QR2(0, 4, 8, 10, 1, 5, 9, 11)
        MG_CHACHA_SWAP_C
        MG_CHACHA_QR2(2, 6, 8, 12, 3, 7, 9, 13)
        MG_CHACHA_QR2(0, 5, 8, 13, 1, 6, 9, 10)
        MG_CHACHA_SWAP_C
        MG_CHACHA_QR2(2, 7, 8, 11, 3, 4, 9, 12)
        "dec %[n]\n\t"
        "jnz 1b\n\t"
        "vmovdqu %%ymm0, 0(%[x])\n\t"
        "vmovdqu %%ymm1, 32(%[x])\n\t"
        "vmovdqu %%ymm2, 64(%[x])\n\t"
        "vmovdqu %%ymm3, 96(%[x])\n\t"
        "vmovdqu %%ymm4, 128(%[x])\n\t"
        "vmovdqu %%ymm5, 160(%[x])\n\t"
        "vmovdqu %%ymm6, 192(%[x])\n\t"
        "vmovdqu %%ymm7, 224(%[x])\n\t"
        "vmovdqu %%ymm8, 256(%[x])\n\t"
        "vmovdqu %%ymm9, 288(%[x])\n\t"
        "vmovdqu %%ymm10, 384(%[x])\n\t"
        "vmovdqu %%ymm11, 416(%[x])\n\t"
        "vmovdqu %%ymm12, 448(%[x])\n\t"
        "vmovdqu %%ymm13, 480(%[x])\n\t"
        : [n] "+r"(rounds), "+m"(x)
        : [x] "r"(x), [r16] "m"(rot16), [r8] "m"(rot8)
        : "cc", "xmm0", "xmm1", "xmm2", "xmm3", "xmm4", "xmm5", "xmm6", "xmm7", "xmm8", "xmm9", "xmm10", "xmm11",
          "xmm12", "xmm13", "xmm14", "xmm15");
#undef MG_CHACHA_SWAP_C
#undef MG_CHACHA_QR2
#undef MG_CHACHA_HALF2
#undef MG_CHACHA_OP2
#undef MG_Y
#else
    for (int round = 0; round < 10; ++round) {
        Quarter256(x[0], x[4], x[8], x[12], rot16, rot8);
        Quarter256(x[1], x[5], x[9], x[13], rot16, rot8);
        Quarter256(x[2], x[6], x[10], x[14], rot16, rot8);
        Quarter256(x[3], x[7], x[11], x[15], rot16, rot8);
        Quarter256(x[0], x[5], x[10], x[15], rot16, rot8);
        Quarter256(x[1], x[6], x[11], x[12], rot16, rot8);
        Quarter256(x[2], x[7], x[8], x[13], rot16, rot8);
        Quarter256(x[3], x[4], x[9], x[14], rot16, rot8);
    }
#endif
    __m256i input[16];
    for (int i = 0; i < 16; ++i) input[i] = i == 12 ? counters : _mm256_set1_epi32(static_cast<int>(state[i]));
    PutHalf(in, out, 0, x, input);
    PutHalf(in, out, 32, x + 8, input + 8);
}

#endif

#if MG_CHACHA_AVX512

#define MG_AVX512 __attribute__((target("avx,avx2,avx512f")))

MG_AVX512 inline void Quarter512(__m512i& a, __m512i& b, __m512i& c, __m512i& d) {
    a = _mm512_add_epi32(a, b); d = _mm512_rol_epi32(_mm512_xor_si512(d, a), 16);
    c = _mm512_add_epi32(c, d); b = _mm512_rol_epi32(_mm512_xor_si512(b, c), 12);
    a = _mm512_add_epi32(a, b); d = _mm512_rol_epi32(_mm512_xor_si512(d, a), 8);
    c = _mm512_add_epi32(c, d); b = _mm512_rol_epi32(_mm512_xor_si512(b, c), 7);
}

MG_AVX512 inline void Put512(const unsigned char* in, unsigned char* out, std::size_t at, __m512i v) {
    if (in != nullptr) v = _mm512_xor_si512(v, _mm512_loadu_si512(in + at));
    _mm512_storeu_si512(out + at, v);
}

MG_AVX512 __attribute__((noinline)) void SixteenBlocksAvx512(const std::uint32_t* state, const unsigned char* in,
                                                             unsigned char* out) {
    __m512i x[16];
    for (int i = 0; i < 16; ++i) x[i] = _mm512_set1_epi32(static_cast<int>(state[i]));
    const __m512i counters =
        _mm512_add_epi32(x[12], _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15));
    x[12] = counters;
    // Unrolled: a loop leaves the compiler copying registers between its rounds.
#pragma GCC unroll 10
    for (int round = 0; round < 10; ++round) {
        Quarter512(x[0], x[4], x[8], x[12]);
        Quarter512(x[1], x[5], x[9], x[13]);
        Quarter512(x[2], x[6], x[10], x[14]);
        Quarter512(x[3], x[7], x[11], x[15]);
        Quarter512(x[0], x[5], x[10], x[15]);
        Quarter512(x[1], x[6], x[11], x[12]);
        Quarter512(x[2], x[7], x[8], x[13]);
        Quarter512(x[3], x[4], x[9], x[14]);
    }
    for (int i = 0; i < 16; ++i) {
        const __m512i input = i == 12 ? counters : _mm512_set1_epi32(static_cast<int>(state[i]));
        x[i] = _mm512_add_epi32(x[i], input);
    }
    // As the SSE2 transpose, within each 128-bit quarter: quarter q of
    // rows[g][b] holds words 4g..4g+3 of block 4q + b. A 4x4 transpose of
    // those quarters then gives each block whole in one register, so that
    // the data moves in full 64-byte loads and stores.
    __m512i rows[4][4];
    for (int g = 0; g < 4; ++g) {
        const __m512i t0 = _mm512_unpacklo_epi32(x[4 * g], x[4 * g + 1]);
        const __m512i t1 = _mm512_unpacklo_epi32(x[4 * g + 2], x[4 * g + 3]);
        const __m512i t2 = _mm512_unpackhi_epi32(x[4 * g], x[4 * g + 1]);
        const __m512i t3 = _mm512_unpackhi_epi32(x[4 * g + 2], x[4 * g + 3]);
        rows[g][0] = _mm512_unpacklo_epi64(t0, t1);
        rows[g][1] = _mm512_unpackhi_epi64(t0, t1);
        rows[g][2] = _mm512_unpacklo_epi64(t2, t3);
        rows[g][3] = _mm512_unpackhi_epi64(t2, t3);
    }
    for (int b = 0; b < 4; ++b) {
        const __m512i u0 = _mm512_shuffle_i32x4(rows[0][b], rows[1][b], 0x44);
        const __m512i u1 = _mm512_shuffle_i32x4(rows[0][b], rows[1][b], 0xEE);
        const __m512i u2 = _mm512_shuffle_i32x4(rows[2][b], rows[3][b], 0x44);
        const __m512i u3 = _mm512_shuffle_i32x4(rows[2][b], rows[3][b], 0xEE);
        Put512(in, out, b * 64, _mm512_shuffle_i32x4(u0, u2, 0x88));
        Put512(in, out, (b + 4) * 64, _mm512_shuffle_i32x4(u0, u2, 0xDD));
        Put512(in, out, (b + 8) * 64, _mm512_shuffle_i32x4(u1, u3, 0x88));
        Put512(in, out, (b + 12) * 64, _mm512_shuffle_i32x4(u1, u3, 0xDD));
    }
}

#endif

}  // namespace

#endif

void ChaCha20Blocks(const std::uint32_t* state, unsigned char* out, std::size_t blocks) {
    ChaCha20XorLimited(state, nullptr, out, blocks, ChaCha20Tier::kBest);
}

void ChaCha20Xor(const std::uint32_t* state, const unsigned char* in, unsigned char* out, std::size_t blocks) {
    ChaCha20XorLimited(state, in, out, blocks, ChaCha20Tier::kBest);
}

void ChaCha20XorLimited(const std::uint32_t* state, const unsigned char* in, unsigned char* out, std::size_t blocks,
                        ChaCha20Tier limit) {
    std::uint32_t s[16];
    for (int i = 0; i < 16; ++i) s[i] = state[i];
    auto advance = [&](std::size_t n) {
        if (in != nullptr) in += n * 64;
        out += n * 64;
        blocks -= n;
        s[12] += static_cast<std::uint32_t>(n);
    };
#if MG_CHACHA_X86
    const CpuFeatures& cpu = Cpu();
#if MG_CHACHA_AVX512
    if (cpu.avx512f && limit >= ChaCha20Tier::kAvx512) {
        while (blocks >= 16) {
            SixteenBlocksAvx512(s, in, out);
            advance(16);
        }
    }
#endif
#if MG_CHACHA_AVX2
    if (cpu.avx2 && limit >= ChaCha20Tier::kAvx2) {
        while (blocks >= 8) {
            EightBlocksAvx2(s, in, out);
            advance(8);
        }
    }
#endif
    if (cpu.sse2 && limit >= ChaCha20Tier::kSse2) {
        while (blocks >= 4) {
            FourBlocksSse2(s, in, out);
            advance(4);
        }
    }
#else
    (void)limit;
#endif
    // The rest one block at a time through a buffer, so that out may be in.
    unsigned char block[64];
    while (blocks > 0) {
        CChaCha20::PortableBlocks(s, block, 1);
        for (int i = 0; i < 64; ++i) out[i] = static_cast<unsigned char>(block[i] ^ (in != nullptr ? in[i] : 0));
        advance(1);
    }
    SecureWipeObject(block);
}

}  // namespace mg
