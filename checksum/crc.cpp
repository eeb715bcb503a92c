#include "checksum/crc.h"

#include <array>
#include <fstream>

namespace mg {

namespace {

constexpr std::array<std::uint32_t, 256> MakeCrc32Table() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t r = i;
        for (int bit = 0; bit < 8; ++bit) r = (r & 1) ? (r >> 1) ^ 0xEDB88320u : r >> 1;
        table[i] = r;
    }
    return table;
}

constexpr std::array<std::uint16_t, 256> MakeCrc16Table() {
    std::array<std::uint16_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t r = i << 8;
        for (int bit = 0; bit < 8; ++bit) r = (r & 0x8000) ? (r << 1) ^ 0x1021u : r << 1;
        table[i] = static_cast<std::uint16_t>(r);
    }
    return table;
}

constexpr std::array<std::uint32_t, 256> kCrc32Table = MakeCrc32Table();
constexpr std::array<std::uint16_t, 256> kCrc16Table = MakeCrc16Table();

static_assert(kCrc32Table[1] == 0x77073096u, "CRC-32 table");
static_assert(kCrc16Table[1] == 0x1021u, "CRC-16 table");

inline std::uint32_t Crc32Update(std::uint32_t r, const unsigned char* p, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) r = (r >> 8) ^ kCrc32Table[(r ^ p[i]) & 0xFF];
    return r;
}

inline std::uint16_t Crc16Update(std::uint16_t r, const unsigned char* p, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i)
        r = static_cast<std::uint16_t>((r << 8) ^ kCrc16Table[((r >> 8) ^ p[i]) & 0xFF]);
    return r;
}

// Feeds the file through update in 16000-byte reads. The stream is left
// unbuffered: reads of this size are best served straight into our buffer.
template <class Register, class Update>
Register CrcFile(const char* path, Update update) {
    Register r = 0;
    if (path == nullptr) return r;
    std::ifstream in;
    in.rdbuf()->pubsetbuf(nullptr, 0);
    in.open(path, std::ios::in | std::ios::binary);
    if (!in) return r;
    unsigned char buffer[16000];
    for (;;) {
        in.read(reinterpret_cast<char*>(buffer), sizeof buffer);
        const std::streamsize got = in.gcount();
        if (got > 0) r = update(r, buffer, static_cast<std::size_t>(got));
        // Short read: end of file or a failing read; either way no more data.
        if (!in) break;
    }
    return r;
}

}  // namespace

std::uint32_t Crc32Buffer(const unsigned char* data, std::uint32_t length) {
    return length == 0 ? 0 : Crc32Update(0, data, length);
}

std::uint16_t Crc16String(const unsigned char* data, std::size_t length) {
    std::size_t n = 0;
    while (n < length && data[n] != 0) ++n;
    return Crc16Update(0, data, n);
}

std::uint32_t Crc32File(const char* path) { return CrcFile<std::uint32_t>(path, Crc32Update); }

std::uint16_t Crc16File(const char* path) { return CrcFile<std::uint16_t>(path, Crc16Update); }

}  // namespace mg
