#pragma once

// The CRC engines behind crc.h in every variant this build carries. Each
// continues a register over more bytes, so long inputs can be fed in pieces.
// The portable variants (slicing-by-8 tables) are the reference: every other
// variant must give the same register bit for bit.

#include <cstddef>
#include <cstdint>
#include <span>

#include "cpu/cpu_features.h"

namespace mg {

// CRC-32, reflected, polynomial 0xEDB88320.
using Crc32Fn = std::uint32_t (*)(std::uint32_t crc, const unsigned char* data, std::size_t length);
// CRC-16, most significant bit first, polynomial 0x1021.
using Crc16Fn = std::uint16_t (*)(std::uint16_t crc, const unsigned char* data, std::size_t length);

struct CrcKernels {
    const char* name;
    Crc32Fn crc32;
    Crc16Fn crc16;
    // CRC-16 of the bytes before the first NUL among the length bytes (of
    // all of them when there is none).
    Crc16Fn crc16UntilNul;
    bool (*usable)(const CpuFeatures& cpu);
    // The implementation tier, numbered as the block ciphers' (0 portable,
    // 1 128-bit, 2 256-bit without AVX-512, 3 AVX-512): a cap on it lets
    // one machine measure the others.
    int tier;
};

// The variants, best first; the last one is the portable one.
std::span<const CrcKernels> AllCrcKernels();

// The first variant that the features allow, of a tier no higher than limit.
const CrcKernels& ChooseCrcKernels(const CpuFeatures& cpu, int limit = 3);

// Portable variants (crc.cpp).
std::uint32_t Crc32Portable(std::uint32_t crc, const unsigned char* data, std::size_t length);
std::uint16_t Crc16Portable(std::uint16_t crc, const unsigned char* data, std::size_t length);
std::uint16_t Crc16UntilNulPortable(std::uint16_t crc, const unsigned char* data, std::size_t length);

#if defined(__i386__) || defined(__x86_64__)
// Carry-less multiplication folding with PCLMULQDQ on 128-bit registers
// (crc_clmul.cpp).
std::uint32_t Crc32Clmul(std::uint32_t crc, const unsigned char* data, std::size_t length);
std::uint16_t Crc16Clmul(std::uint16_t crc, const unsigned char* data, std::size_t length);
std::uint16_t Crc16UntilNulClmul(std::uint16_t crc, const unsigned char* data, std::size_t length);
#endif

#if defined(__i386__) || defined(__x86_64__)
// The same on 512-bit registers with VPCLMULQDQ and AVX-512 (crc_vpclmul.cpp).
std::uint32_t Crc32Vpclmul(std::uint32_t crc, const unsigned char* data, std::size_t length);
std::uint16_t Crc16Vpclmul(std::uint16_t crc, const unsigned char* data, std::size_t length);
std::uint16_t Crc16UntilNulVpclmul(std::uint16_t crc, const unsigned char* data, std::size_t length);
// On 256-bit registers with VPCLMULQDQ and AVX2 (crc_vpclmul256.cpp).
std::uint32_t Crc32Vpclmul256(std::uint32_t crc, const unsigned char* data, std::size_t length);
std::uint16_t Crc16Vpclmul256(std::uint16_t crc, const unsigned char* data, std::size_t length);
std::uint16_t Crc16UntilNulVpclmul256(std::uint16_t crc, const unsigned char* data, std::size_t length);
#endif

}  // namespace mg
