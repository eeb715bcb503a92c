#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>

namespace mg {

// The library's two checksums. CRC-32: reflected polynomial 0xEDB88320 but
// started from 0 and not complemented ("123456789" -> 0x2DFD2D88), so it is
// not the zip CRC. CRC-16: polynomial 0x1021, MSB first, init 0, no final
// xor (the XMODEM parameters, "123456789" -> 0x31C3).

std::uint32_t Crc32Buffer(const unsigned char* data, std::uint32_t length);

// Stops at the first NUL byte: the value is treated as a C string.
std::uint16_t Crc16String(const unsigned char* data, std::size_t length);

// CRC of a file's bytes as stored (read in binary mode, NUL bytes included);
// 0 when the file cannot be opened or a read fails.
std::uint32_t Crc32File(const char* path);
std::uint16_t Crc16File(const char* path);

// The same over a stream from its position to its end; 0 when a read fails.
std::uint32_t Crc32Stream(std::istream& in);
std::uint16_t Crc16Stream(std::istream& in);

}  // namespace mg
