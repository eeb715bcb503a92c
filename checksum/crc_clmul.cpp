// CRC-32 and CRC-16 by carry-less multiplication folding (PCLMULQDQ).
//
// A CRC with initial value 0 and no final xor is linear: the register after
// a message M is M(x) * x^w mod P. Folding replaces a 128-bit piece X of the
// message by a piece congruent to X * x^D mod P that lands D bits further on,
// where it is xored into the data found there; four pieces 64 bytes apart
// are folded side by side. When fewer than 16 bytes are left, the one
// remaining piece and the tail are still congruent to the whole message, so
// the byte tables finish the job on those at most 31 bytes; no Barrett
// reduction is needed. A register carried in from earlier data is xored into
// the first bytes, which is what the byte-wise step does with it too.
//
// Both CRCs fold with two multiplications of 64 x 64 bits per piece: the
// high-order half H and the low-order half L of X = H x^64 + L give
// X x^D = H x^(64+D) + L x^D, and the constants are those powers of x
// reduced mod P (at most 32 bits), so the products fit in 128 bits.
//
// CRC-32 is bit-reflected: a little-endian 128-bit load has the message's
// first bit in bit 0, so bit k stands for x^(127-k), the low 64-bit lane is
// H, and the constants are stored bit-reversed. A carry-less product of two
// such reflected values comes out as x times the product, so the constants
// are taken one power lower. CRC-16 is MSB-first: after reversing the bytes
// of a load, bit k stands for x^k, the high lane is H, and the products are
// plain.
//
// Compiled for 32-bit x86 too: the main loop uses seven XMM registers.

#include "checksum/crc_kernels.h"

#if defined(__i386__) || defined(__x86_64__)

#include <immintrin.h>

#include <cstring>

#include "checksum/crc_fold_constants.h"

#define MG_CLMUL_TARGET __attribute__((target("pclmul,sse4.1,ssse3")))

namespace mg {
namespace {

using crc_fold::FoldConstants;

constexpr FoldConstants kCrc32By512 = crc_fold::Crc32(512);
constexpr FoldConstants kCrc32By128 = crc_fold::Crc32(128);
constexpr FoldConstants kCrc16By512 = crc_fold::Crc16(512);
constexpr FoldConstants kCrc16By128 = crc_fold::Crc16(128);

// Shorter inputs go to the tables: the fixed cost of the folding would not pay.
constexpr std::size_t kMinFold = 64;

MG_CLMUL_TARGET inline __m128i Constants(FoldConstants c) {
    return _mm_set_epi64x(static_cast<long long>(c.hi), static_cast<long long>(c.lo));
}

// Multiplies low lane by low lane and high by high: the constants are laid
// out so that each half of x meets its power of x.
MG_CLMUL_TARGET inline __m128i Fold(__m128i x, __m128i k) {
    return _mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11));
}

MG_CLMUL_TARGET inline __m128i Load(const unsigned char* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

MG_CLMUL_TARGET inline bool AnyZeroByte(__m128i a, __m128i b, __m128i c, __m128i d) {
    const __m128i least = _mm_min_epu8(_mm_min_epu8(a, b), _mm_min_epu8(c, d));
    return _mm_movemask_epi8(_mm_cmpeq_epi8(least, _mm_setzero_si128())) != 0;
}

}  // namespace

MG_CLMUL_TARGET std::uint32_t Crc32Clmul(std::uint32_t crc, const unsigned char* p, std::size_t n) {
    if (n < kMinFold) return Crc32Portable(crc, p, n);
    const __m128i k512 = Constants(kCrc32By512);
    const __m128i k128 = Constants(kCrc32By128);
    __m128i x0 = _mm_xor_si128(Load(p), _mm_cvtsi32_si128(static_cast<int>(crc)));
    __m128i x1 = Load(p + 16);
    __m128i x2 = Load(p + 32);
    __m128i x3 = Load(p + 48);
    p += 64;
    n -= 64;
    for (; n >= 64; p += 64, n -= 64) {
        x0 = _mm_xor_si128(Fold(x0, k512), Load(p));
        x1 = _mm_xor_si128(Fold(x1, k512), Load(p + 16));
        x2 = _mm_xor_si128(Fold(x2, k512), Load(p + 32));
        x3 = _mm_xor_si128(Fold(x3, k512), Load(p + 48));
    }
    __m128i x = _mm_xor_si128(Fold(x0, k128), x1);
    x = _mm_xor_si128(Fold(x, k128), x2);
    x = _mm_xor_si128(Fold(x, k128), x3);
    for (; n >= 16; p += 16, n -= 16) x = _mm_xor_si128(Fold(x, k128), Load(p));
    unsigned char rest[16];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(rest), x);
    return Crc32Portable(Crc32Portable(0, rest, 16), p, n);
}

namespace {

// CRC-16, optionally ending at the first NUL byte. The NUL test rides along
// with the loads of the main loop, so a string is read only once.
template <bool kUntilNul>
MG_CLMUL_TARGET inline std::uint16_t Crc16Fold(std::uint16_t crc, const unsigned char* p, std::size_t n) {
    if (n < kMinFold) return kUntilNul ? Crc16UntilNulPortable(crc, p, n) : Crc16Portable(crc, p, n);
    const __m128i reverse = _mm_setr_epi8(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
    const __m128i k512 = Constants(kCrc16By512);
    const __m128i k128 = Constants(kCrc16By128);
    __m128i b0 = Load(p), b1 = Load(p + 16), b2 = Load(p + 32), b3 = Load(p + 48);
    if (kUntilNul && AnyZeroByte(b0, b1, b2, b3)) return Crc16UntilNulPortable(crc, p, 64);
    __m128i x0 = _mm_xor_si128(_mm_shuffle_epi8(b0, reverse), _mm_set_epi32(static_cast<int>(std::uint32_t{crc} << 16), 0, 0, 0));
    __m128i x1 = _mm_shuffle_epi8(b1, reverse);
    __m128i x2 = _mm_shuffle_epi8(b2, reverse);
    __m128i x3 = _mm_shuffle_epi8(b3, reverse);
    p += 64;
    n -= 64;
    for (; n >= 64; p += 64, n -= 64) {
        b0 = Load(p);
        b1 = Load(p + 16);
        b2 = Load(p + 32);
        b3 = Load(p + 48);
        if (kUntilNul && AnyZeroByte(b0, b1, b2, b3)) {
            n = 64;  // the NUL is in these 64 bytes; the search below finds it
            break;
        }
        x0 = _mm_xor_si128(Fold(x0, k512), _mm_shuffle_epi8(b0, reverse));
        x1 = _mm_xor_si128(Fold(x1, k512), _mm_shuffle_epi8(b1, reverse));
        x2 = _mm_xor_si128(Fold(x2, k512), _mm_shuffle_epi8(b2, reverse));
        x3 = _mm_xor_si128(Fold(x3, k512), _mm_shuffle_epi8(b3, reverse));
    }
    if (kUntilNul) {
        const void* nul = std::memchr(p, 0, n);
        if (nul != nullptr) n = static_cast<std::size_t>(static_cast<const unsigned char*>(nul) - p);
    }
    __m128i x = _mm_xor_si128(Fold(x0, k128), x1);
    x = _mm_xor_si128(Fold(x, k128), x2);
    x = _mm_xor_si128(Fold(x, k128), x3);
    for (; n >= 16; p += 16, n -= 16) x = _mm_xor_si128(Fold(x, k128), _mm_shuffle_epi8(Load(p), reverse));
    unsigned char rest[16];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(rest), _mm_shuffle_epi8(x, reverse));
    return Crc16Portable(Crc16Portable(0, rest, 16), p, n);
}

}  // namespace

MG_CLMUL_TARGET std::uint16_t Crc16Clmul(std::uint16_t crc, const unsigned char* p, std::size_t n) {
    return Crc16Fold<false>(crc, p, n);
}

MG_CLMUL_TARGET std::uint16_t Crc16UntilNulClmul(std::uint16_t crc, const unsigned char* p, std::size_t n) {
    return Crc16Fold<true>(crc, p, n);
}

}  // namespace mg

#endif
