#include "checksum/crc.h"

#include <array>
#include <cstring>
#include <fstream>

#include "checksum/crc_kernels.h"

namespace mg {

namespace {

// Slicing-by-8 tables: entry [k][v] is the register change caused by the
// byte v followed by k zero bytes, so eight bytes fold into the register
// with eight independent look-ups. Table [0] is the classic byte table.
constexpr std::array<std::array<std::uint32_t, 256>, 8> MakeCrc32Tables() {
    std::array<std::array<std::uint32_t, 256>, 8> t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t r = i;
        for (int bit = 0; bit < 8; ++bit) r = (r & 1) ? (r >> 1) ^ 0xEDB88320u : r >> 1;
        t[0][i] = r;
    }
    for (std::size_t k = 1; k < 8; ++k)
        for (std::size_t i = 0; i < 256; ++i) t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
    return t;
}

constexpr std::array<std::array<std::uint16_t, 256>, 8> MakeCrc16Tables() {
    std::array<std::array<std::uint16_t, 256>, 8> t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t r = i << 8;
        for (int bit = 0; bit < 8; ++bit) r = (r & 0x8000) ? (r << 1) ^ 0x1021u : r << 1;
        t[0][i] = static_cast<std::uint16_t>(r);
    }
    for (std::size_t k = 1; k < 8; ++k)
        for (std::size_t i = 0; i < 256; ++i)
            t[k][i] = static_cast<std::uint16_t>((t[k - 1][i] << 8) ^ t[0][t[k - 1][i] >> 8]);
    return t;
}

constexpr auto kCrc32 = MakeCrc32Tables();
constexpr auto kCrc16 = MakeCrc16Tables();

static_assert(kCrc32[0][1] == 0x77073096u, "CRC-32 table");
static_assert(kCrc16[0][1] == 0x1021u, "CRC-16 table");

inline std::uint32_t Le32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// Feeds the stream through update in reads of 64 KiB straight into our
// buffer. The folding engines outrun the copy out of the page cache many
// times over, so what a file costs is the reads: a whole number of pages per
// read, and four times fewer calls than reads of 16000 bytes, make them about
// a third faster. The result does not depend on the size of the reads.
// A read that fails gives 0, as a file that cannot be opened does: the CRC
// of the part before the failure would pass for the file's.
template <class Register>
Register CrcStream(std::istream& in, Register (*update)(Register, const unsigned char*, std::size_t)) {
    Register r = 0;
    unsigned char buffer[64 * 1024];
    for (;;) {
        in.read(reinterpret_cast<char*>(buffer), sizeof buffer);
        const std::streamsize got = in.gcount();
        if (got > 0) r = update(r, buffer, static_cast<std::size_t>(got));
        if (in.bad()) return 0;
        if (!in) return r;
    }
}

template <class Register>
Register CrcFile(const char* path, Register (*update)(Register, const unsigned char*, std::size_t)) {
    if (path == nullptr) return 0;
    std::ifstream in;
    in.rdbuf()->pubsetbuf(nullptr, 0);  // the reads above go straight to the file
    in.open(path, std::ios::in | std::ios::binary);
    return in ? CrcStream<Register>(in, update) : 0;
}

const CrcKernels& Chosen() {
    static const CrcKernels& kernels = ChooseCrcKernels(Cpu());
    return kernels;
}

}  // namespace

std::uint32_t Crc32Portable(std::uint32_t crc, const unsigned char* p, std::size_t n) {
    for (; n >= 8; n -= 8, p += 8) {
        const std::uint32_t lo = Le32(p) ^ crc;
        const std::uint32_t hi = Le32(p + 4);
        crc = kCrc32[7][lo & 0xFF] ^ kCrc32[6][(lo >> 8) & 0xFF] ^ kCrc32[5][(lo >> 16) & 0xFF] ^
              kCrc32[4][lo >> 24] ^ kCrc32[3][hi & 0xFF] ^ kCrc32[2][(hi >> 8) & 0xFF] ^
              kCrc32[1][(hi >> 16) & 0xFF] ^ kCrc32[0][hi >> 24];
    }
    for (; n != 0; --n, ++p) crc = (crc >> 8) ^ kCrc32[0][(crc ^ *p) & 0xFF];
    return crc;
}

std::uint16_t Crc16Portable(std::uint16_t crc, const unsigned char* p, std::size_t n) {
    for (; n >= 8; n -= 8, p += 8) {
        crc = static_cast<std::uint16_t>(kCrc16[7][p[0] ^ (crc >> 8)] ^ kCrc16[6][p[1] ^ (crc & 0xFF)] ^
                                         kCrc16[5][p[2]] ^ kCrc16[4][p[3]] ^ kCrc16[3][p[4]] ^ kCrc16[2][p[5]] ^
                                         kCrc16[1][p[6]] ^ kCrc16[0][p[7]]);
    }
    for (; n != 0; --n, ++p) crc = static_cast<std::uint16_t>((crc << 8) ^ kCrc16[0][(crc >> 8) ^ *p]);
    return crc;
}

std::uint16_t Crc16UntilNulPortable(std::uint16_t crc, const unsigned char* p, std::size_t n) {
    if (n == 0) return crc;
    const void* nul = std::memchr(p, 0, n);
    if (nul != nullptr) n = static_cast<std::size_t>(static_cast<const unsigned char*>(nul) - p);
    return Crc16Portable(crc, p, n);
}

std::uint32_t Crc32Buffer(const unsigned char* data, std::uint32_t length) {
    return length == 0 ? 0 : Chosen().crc32(0, data, length);
}

std::uint16_t Crc16String(const unsigned char* data, std::size_t length) {
    return length == 0 ? 0 : Chosen().crc16UntilNul(0, data, length);
}

std::uint32_t Crc32File(const char* path) { return CrcFile<std::uint32_t>(path, Chosen().crc32); }

std::uint16_t Crc16File(const char* path) { return CrcFile<std::uint16_t>(path, Chosen().crc16); }

std::uint32_t Crc32Stream(std::istream& in) { return CrcStream<std::uint32_t>(in, Chosen().crc32); }

std::uint16_t Crc16Stream(std::istream& in) { return CrcStream<std::uint16_t>(in, Chosen().crc16); }

}  // namespace mg
