// CRC-32 and CRC-16 folding on 256-bit registers (VPCLMULQDQ with AVX2, for
// processors without AVX-512): the scheme of crc_vpclmul.cpp with two 128-bit
// pieces per register and four registers, 128 bytes per pass; what is left
// after the wide loop is finished as in crc_clmul.cpp.

#include "checksum/crc_kernels.h"

#if defined(__i386__) || defined(__x86_64__)

#include <immintrin.h>

#include <cstring>

#include "checksum/crc_fold_constants.h"

#define MG_VPCLMUL256_TARGET __attribute__((target("vpclmulqdq,pclmul,avx,avx2,sse4.1,ssse3")))

namespace mg {
namespace {

using crc_fold::FoldConstants;

constexpr std::size_t kMinWide = 128;

MG_VPCLMUL256_TARGET inline __m128i Narrow(FoldConstants c) {
    return _mm_set_epi64x(static_cast<long long>(c.hi), static_cast<long long>(c.lo));
}

MG_VPCLMUL256_TARGET inline __m256i Broadcast(FoldConstants c) { return _mm256_broadcastsi128_si256(Narrow(c)); }

// Folds both 128-bit pieces of x and xors in the data d.
MG_VPCLMUL256_TARGET inline __m256i FoldInto(__m256i x, __m256i k, __m256i d) {
    return _mm256_xor_si256(_mm256_xor_si256(_mm256_clmulepi64_epi128(x, k, 0x00), _mm256_clmulepi64_epi128(x, k, 0x11)),
                            d);
}

MG_VPCLMUL256_TARGET inline __m128i Fold(__m128i x, __m128i k) {
    return _mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11));
}

MG_VPCLMUL256_TARGET inline __m256i Load(const unsigned char* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

struct Crc32Traits {
    using Register = std::uint32_t;
    static constexpr FoldConstants k1024 = crc_fold::Crc32(1024);
    static constexpr FoldConstants k256 = crc_fold::Crc32(256);
    static constexpr FoldConstants k128 = crc_fold::Crc32(128);
    MG_VPCLMUL256_TARGET static __m256i Swap(__m256i x) { return x; }
    MG_VPCLMUL256_TARGET static __m128i Swap(__m128i x) { return x; }
    MG_VPCLMUL256_TARGET static __m256i Carry(Register crc) {
        return _mm256_set_m128i(_mm_setzero_si128(), _mm_cvtsi32_si128(static_cast<int>(crc)));
    }
    static Register Finish(Register crc, const unsigned char* p, std::size_t n) { return Crc32Portable(crc, p, n); }
};

struct Crc16Traits {
    using Register = std::uint16_t;
    static constexpr FoldConstants k1024 = crc_fold::Crc16(1024);
    static constexpr FoldConstants k256 = crc_fold::Crc16(256);
    static constexpr FoldConstants k128 = crc_fold::Crc16(128);
    MG_VPCLMUL256_TARGET static __m128i Reverse() {
        return _mm_setr_epi8(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
    }
    MG_VPCLMUL256_TARGET static __m256i Swap(__m256i x) {
        return _mm256_shuffle_epi8(x, _mm256_broadcastsi128_si256(Reverse()));
    }
    MG_VPCLMUL256_TARGET static __m128i Swap(__m128i x) { return _mm_shuffle_epi8(x, Reverse()); }
    MG_VPCLMUL256_TARGET static __m256i Carry(Register crc) {
        return _mm256_set_m128i(_mm_setzero_si128(), _mm_set_epi32(static_cast<int>(std::uint32_t{crc} << 16), 0, 0, 0));
    }
    static Register Finish(Register crc, const unsigned char* p, std::size_t n) { return Crc16Portable(crc, p, n); }
};

MG_VPCLMUL256_TARGET inline bool AnyZeroByte(__m256i a, __m256i b, __m256i c, __m256i d) {
    const __m256i least = _mm256_min_epu8(_mm256_min_epu8(a, b), _mm256_min_epu8(c, d));
    return _mm256_movemask_epi8(_mm256_cmpeq_epi8(least, _mm256_setzero_si256())) != 0;
}

// Called with at least kMinWide bytes, and for kUntilNul with no NUL in the
// first kMinWide of them.
template <class Traits, bool kUntilNul>
MG_VPCLMUL256_TARGET inline typename Traits::Register Wide(typename Traits::Register crc, const unsigned char* p,
                                                           std::size_t n) {
    const __m256i k1024 = Broadcast(Traits::k1024);
    __m256i x0 = _mm256_xor_si256(Traits::Swap(Load(p)), Traits::Carry(crc));
    __m256i x1 = Traits::Swap(Load(p + 32));
    __m256i x2 = Traits::Swap(Load(p + 64));
    __m256i x3 = Traits::Swap(Load(p + 96));
    p += 128;
    n -= 128;
    for (; n >= 128; p += 128, n -= 128) {
        const __m256i b0 = Load(p), b1 = Load(p + 32), b2 = Load(p + 64), b3 = Load(p + 96);
        if (kUntilNul && AnyZeroByte(b0, b1, b2, b3)) break;
        x0 = FoldInto(x0, k1024, Traits::Swap(b0));
        x1 = FoldInto(x1, k1024, Traits::Swap(b1));
        x2 = FoldInto(x2, k1024, Traits::Swap(b2));
        x3 = FoldInto(x3, k1024, Traits::Swap(b3));
    }
    if (kUntilNul) {
        // Fewer than 128 bytes, or the block of 128 with the NUL, are left.
        const void* nul = std::memchr(p, 0, n < 128 ? n : 128);
        if (nul != nullptr) n = static_cast<std::size_t>(static_cast<const unsigned char*>(nul) - p);
    }
    const __m256i k256 = Broadcast(Traits::k256);
    __m256i x = FoldInto(x0, k256, x1);
    x = FoldInto(x, k256, x2);
    x = FoldInto(x, k256, x3);
    for (; n >= 32; p += 32, n -= 32) x = FoldInto(x, k256, Traits::Swap(Load(p)));
    const __m128i k128 = Narrow(Traits::k128);
    __m128i y = _mm_xor_si128(Fold(_mm256_castsi256_si128(x), k128), _mm256_extracti128_si256(x, 1));
    for (; n >= 16; p += 16, n -= 16)
        y = _mm_xor_si128(Fold(y, k128), Traits::Swap(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))));
    unsigned char rest[16];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(rest), Traits::Swap(y));
    return Traits::Finish(Traits::Finish(0, rest, 16), p, n);
}

}  // namespace

MG_VPCLMUL256_TARGET std::uint32_t Crc32Vpclmul256(std::uint32_t crc, const unsigned char* p, std::size_t n) {
    if (n < kMinWide) return Crc32Clmul(crc, p, n);
    return Wide<Crc32Traits, false>(crc, p, n);
}

MG_VPCLMUL256_TARGET std::uint16_t Crc16Vpclmul256(std::uint16_t crc, const unsigned char* p, std::size_t n) {
    if (n < kMinWide) return Crc16Clmul(crc, p, n);
    return Wide<Crc16Traits, false>(crc, p, n);
}

MG_VPCLMUL256_TARGET std::uint16_t Crc16UntilNulVpclmul256(std::uint16_t crc, const unsigned char* p, std::size_t n) {
    if (n < kMinWide) return Crc16UntilNulClmul(crc, p, n);
    const __m256i b0 = Load(p), b1 = Load(p + 32), b2 = Load(p + 64), b3 = Load(p + 96);
    if (AnyZeroByte(b0, b1, b2, b3)) return Crc16UntilNulClmul(crc, p, kMinWide);
    return Wide<Crc16Traits, true>(crc, p, n);
}

}  // namespace mg

#endif
