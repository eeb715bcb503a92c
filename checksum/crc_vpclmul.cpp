// CRC-32 and CRC-16 folding on 512-bit registers (VPCLMULQDQ, AVX-512): the
// scheme of crc_clmul.cpp with four 128-bit pieces per register and four
// registers, 256 bytes per pass. What is left after the wide loop (the four
// pieces of one register, then fewer than 64 bytes) is finished as there.
// The 32-bit build has eight vector registers: the four accumulators, the
// constant and the data folded in straight from memory fit them.

#include "checksum/crc_kernels.h"

#if defined(__i386__) || defined(__x86_64__)

#include "cpu/x86_intrinsics.h"

#include <cstring>

#include "checksum/crc_fold_constants.h"

#define MG_VPCLMUL_TARGET __attribute__((target("vpclmulqdq,pclmul,avx512f,avx512bw,sse4.1,ssse3")))

namespace mg {
namespace {

using crc_fold::FoldConstants;

constexpr std::size_t kMinWide = 256;

MG_VPCLMUL_TARGET inline __m512i Broadcast(FoldConstants c) {
    return _mm512_broadcast_i32x4(_mm_set_epi64x(static_cast<long long>(c.hi), static_cast<long long>(c.lo)));
}

MG_VPCLMUL_TARGET inline __m128i Narrow(FoldConstants c) {
    return _mm_set_epi64x(static_cast<long long>(c.hi), static_cast<long long>(c.lo));
}

// Folds every 128-bit piece of x and xors in the data d: one three-way xor.
MG_VPCLMUL_TARGET inline __m512i FoldInto(__m512i x, __m512i k, __m512i d) {
    return _mm512_ternarylogic_epi64(_mm512_clmulepi64_epi128(x, k, 0x00), _mm512_clmulepi64_epi128(x, k, 0x11), d,
                                     0x96);
}

MG_VPCLMUL_TARGET inline __m128i Fold(__m128i x, __m128i k) {
    return _mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11));
}

MG_VPCLMUL_TARGET inline __m512i Load(const unsigned char* p) { return _mm512_loadu_si512(p); }

// The two CRCs differ in the byte order of a piece (Swap), in where a
// register carried in is xored, and in the tables that finish.
struct Crc32Traits {
    using Register = std::uint32_t;
    static constexpr FoldConstants k2048 = crc_fold::Crc32(2048);
    static constexpr FoldConstants k512 = crc_fold::Crc32(512);
    static constexpr FoldConstants k128 = crc_fold::Crc32(128);
    MG_VPCLMUL_TARGET static __m512i Swap(__m512i x) { return x; }
    MG_VPCLMUL_TARGET static __m128i Swap(__m128i x) { return x; }
    MG_VPCLMUL_TARGET static __m512i Carry(Register crc) {
        return _mm512_zextsi128_si512(_mm_cvtsi32_si128(static_cast<int>(crc)));
    }
    static Register Finish(Register crc, const unsigned char* p, std::size_t n) { return Crc32Portable(crc, p, n); }
};

struct Crc16Traits {
    using Register = std::uint16_t;
    static constexpr FoldConstants k2048 = crc_fold::Crc16(2048);
    static constexpr FoldConstants k512 = crc_fold::Crc16(512);
    static constexpr FoldConstants k128 = crc_fold::Crc16(128);
    MG_VPCLMUL_TARGET static __m128i Reverse() {
        return _mm_setr_epi8(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
    }
    MG_VPCLMUL_TARGET static __m512i Swap(__m512i x) {
        return _mm512_shuffle_epi8(x, _mm512_broadcast_i32x4(Reverse()));
    }
    MG_VPCLMUL_TARGET static __m128i Swap(__m128i x) { return _mm_shuffle_epi8(x, Reverse()); }
    MG_VPCLMUL_TARGET static __m512i Carry(Register crc) {
        return _mm512_zextsi128_si512(_mm_set_epi32(static_cast<int>(std::uint32_t{crc} << 16), 0, 0, 0));
    }
    static Register Finish(Register crc, const unsigned char* p, std::size_t n) { return Crc16Portable(crc, p, n); }
};

MG_VPCLMUL_TARGET inline bool AnyZeroByte(__m512i a, __m512i b, __m512i c, __m512i d) {
    const __m512i least = _mm512_min_epu8(_mm512_min_epu8(a, b), _mm512_min_epu8(c, d));
    return _mm512_cmpeq_epi8_mask(least, _mm512_setzero_si512()) != 0;
}

// Called with at least kMinWide bytes, and for kUntilNul with no NUL in the
// first kMinWide of them.
template <class Traits, bool kUntilNul>
MG_VPCLMUL_TARGET inline typename Traits::Register Wide(typename Traits::Register crc, const unsigned char* p,
                                                        std::size_t n) {
    const __m512i k2048 = Broadcast(Traits::k2048);
    __m512i x0 = _mm512_xor_si512(Traits::Swap(Load(p)), Traits::Carry(crc));
    __m512i x1 = Traits::Swap(Load(p + 64));
    __m512i x2 = Traits::Swap(Load(p + 128));
    __m512i x3 = Traits::Swap(Load(p + 192));
    p += 256;
    n -= 256;
    for (; n >= 256; p += 256, n -= 256) {
        const __m512i b0 = Load(p), b1 = Load(p + 64), b2 = Load(p + 128), b3 = Load(p + 192);
        if (kUntilNul && AnyZeroByte(b0, b1, b2, b3)) break;
        x0 = FoldInto(x0, k2048, Traits::Swap(b0));
        x1 = FoldInto(x1, k2048, Traits::Swap(b1));
        x2 = FoldInto(x2, k2048, Traits::Swap(b2));
        x3 = FoldInto(x3, k2048, Traits::Swap(b3));
    }
    if (kUntilNul) {
        // Fewer than 256 bytes, or the block of 256 with the NUL, are left.
        const void* nul = std::memchr(p, 0, n < 256 ? n : 256);
        if (nul != nullptr) n = static_cast<std::size_t>(static_cast<const unsigned char*>(nul) - p);
    }
    const __m512i k512 = Broadcast(Traits::k512);
    __m512i x = FoldInto(x0, k512, x1);
    x = FoldInto(x, k512, x2);
    x = FoldInto(x, k512, x3);
    for (; n >= 64; p += 64, n -= 64) x = FoldInto(x, k512, Traits::Swap(Load(p)));
    const __m128i k128 = Narrow(Traits::k128);
    __m128i y = _mm_xor_si128(Fold(_mm512_extracti32x4_epi32(x, 0), k128), _mm512_extracti32x4_epi32(x, 1));
    y = _mm_xor_si128(Fold(y, k128), _mm512_extracti32x4_epi32(x, 2));
    y = _mm_xor_si128(Fold(y, k128), _mm512_extracti32x4_epi32(x, 3));
    for (; n >= 16; p += 16, n -= 16)
        y = _mm_xor_si128(Fold(y, k128), Traits::Swap(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))));
    unsigned char rest[16];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(rest), Traits::Swap(y));
    return Traits::Finish(Traits::Finish(0, rest, 16), p, n);
}

}  // namespace

MG_VPCLMUL_TARGET std::uint32_t Crc32Vpclmul(std::uint32_t crc, const unsigned char* p, std::size_t n) {
    if (n < kMinWide) return Crc32Clmul(crc, p, n);
    return Wide<Crc32Traits, false>(crc, p, n);
}

MG_VPCLMUL_TARGET std::uint16_t Crc16Vpclmul(std::uint16_t crc, const unsigned char* p, std::size_t n) {
    if (n < kMinWide) return Crc16Clmul(crc, p, n);
    return Wide<Crc16Traits, false>(crc, p, n);
}

MG_VPCLMUL_TARGET std::uint16_t Crc16UntilNulVpclmul(std::uint16_t crc, const unsigned char* p, std::size_t n) {
    if (n < kMinWide) return Crc16UntilNulClmul(crc, p, n);
    const __m512i b0 = Load(p), b1 = Load(p + 64), b2 = Load(p + 128), b3 = Load(p + 192);
    if (AnyZeroByte(b0, b1, b2, b3)) return Crc16UntilNulClmul(crc, p, kMinWide);
    return Wide<Crc16Traits, true>(crc, p, n);
}

}  // namespace mg

#endif
