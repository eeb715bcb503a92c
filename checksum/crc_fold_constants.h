#pragma once

// Constants of the carry-less multiplication folding shared by
// crc_clmul.cpp and crc_vpclmul.cpp, computed at compile time from the two
// polynomials. crc_clmul.cpp explains the scheme and the two bit orders.

#include <cstdint>

namespace mg::crc_fold {

// x^k mod P, P of the given degree with its leading term included.
constexpr std::uint64_t XPowMod(unsigned k, std::uint64_t poly, int degree) {
    std::uint64_t r = 1;
    for (unsigned i = 0; i < k; ++i) {
        r <<= 1;
        if (r & (std::uint64_t{1} << degree)) r ^= poly;
    }
    return r;
}

constexpr std::uint64_t Reverse64(std::uint64_t v) {
    std::uint64_t r = 0;
    for (int i = 0; i < 64; ++i) r |= ((v >> i) & 1) << (63 - i);
    return r;
}

constexpr std::uint64_t kPoly32 = 0x104C11DB7;
constexpr std::uint64_t kPoly16 = 0x11021;

// The constants that fold a 128-bit piece D bits further on, as they go in
// the low and the high 64-bit lane of a register.
struct FoldConstants {
    std::uint64_t lo;
    std::uint64_t hi;
};

// CRC-32, reflected: the low lane meets the high-order half, the constants
// are bit-reversed and one power lower (a reflected product comes out
// multiplied by x).
constexpr FoldConstants Crc32(unsigned d) {
    return {Reverse64(XPowMod(63 + d, kPoly32, 32)), Reverse64(XPowMod(d - 1, kPoly32, 32))};
}

// CRC-16, MSB first: the high lane meets the high-order half.
constexpr FoldConstants Crc16(unsigned d) { return {XPowMod(d, kPoly16, 16), XPowMod(64 + d, kPoly16, 16)}; }

// x^w mod P is P without its leading term.
static_assert(XPowMod(32, kPoly32, 32) == 0x04C11DB7, "CRC-32 polynomial");
static_assert(XPowMod(16, kPoly16, 16) == 0x1021, "CRC-16 polynomial");

}  // namespace mg::crc_fold
