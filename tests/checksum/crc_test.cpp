// CRC-32 (init 0, no final xor) and CRC-16 (XMODEM parameters) over memory
// and files.

#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <stdexcept>
#include <string>

#include "checksum/crc.h"
#include "tests/hostsim/temp_dir.h"

namespace mg {
namespace {

const unsigned char* U(const std::string& s) { return reinterpret_cast<const unsigned char*>(s.data()); }

// Bit-at-a-time definitions, independent of the tables.
std::uint32_t BitwiseCrc32(const std::string& s) {
    std::uint32_t r = 0;
    for (unsigned char c : s) {
        r ^= c;
        for (int i = 0; i < 8; ++i) r = (r & 1) ? (r >> 1) ^ 0xEDB88320u : r >> 1;
    }
    return r;
}

std::uint16_t BitwiseCrc16(const std::string& s) {
    std::uint32_t r = 0;
    for (unsigned char c : s) {
        r ^= static_cast<std::uint32_t>(c) << 8;
        for (int i = 0; i < 8; ++i) r = (r & 0x8000) ? ((r << 1) ^ 0x1021) & 0xFFFF : (r << 1) & 0xFFFF;
    }
    return static_cast<std::uint16_t>(r);
}

std::string RandomBytes(std::size_t n, unsigned seed) {
    std::mt19937 random(seed);
    std::string s(n, '\0');
    for (auto& c : s) c = static_cast<char>(random());
    return s;
}

// Check values from the CRC catalogue ("123456789"), and the documented ones for "abc".
TEST(Crc, CheckValues) {
    EXPECT_EQ(Crc32Buffer(U("123456789"), 9), 0x2DFD2D88u);
    EXPECT_EQ(Crc16String(U("123456789"), 9), 0x31C3);
    EXPECT_EQ(Crc32Buffer(U("abc"), 3), 3395655888u);
    EXPECT_EQ(Crc16String(U("abc"), 3), 40406);
    EXPECT_EQ(Crc32Buffer(nullptr, 0), 0u);
    EXPECT_EQ(Crc16String(nullptr, 0), 0);
}

TEST(Crc, TablesMatchBitwiseDefinition) {
    for (unsigned seed = 0; seed < 20; ++seed) {
        const std::string data = RandomBytes(1 + seed * 97, seed);
        EXPECT_EQ(Crc32Buffer(U(data), static_cast<std::uint32_t>(data.size())), BitwiseCrc32(data));
        // The CRC-16 of a value stops at its first NUL; the CRC-32 does not.
        const std::string text = data.substr(0, data.find('\0'));
        EXPECT_EQ(Crc16String(U(data), data.size()), BitwiseCrc16(text));
    }
    std::string all;
    for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
    EXPECT_EQ(Crc32Buffer(U(all), 256), BitwiseCrc32(all));
    EXPECT_EQ(Crc16String(U(all) + 1, 255), BitwiseCrc16(all.substr(1)));
}

// Across the 64 KiB reads of the file routines; random contents hold the
// bytes a text-mode read would change.
TEST(CrcFile, MatchesContentsAcrossReadBoundaries) {
    mg::testing::TempDir dir;
    const std::string path = dir.File("contents.bin");
    for (std::size_t size : {0u, 1u, 65535u, 65536u, 65537u, 131073u, 200000u}) {
        const std::string contents = RandomBytes(size, static_cast<unsigned>(size));
        mg::testing::Spill(path, contents);
        EXPECT_EQ(Crc32File(path.c_str()), BitwiseCrc32(contents)) << size;
        // Unlike a value, a file counts its NUL bytes.
        EXPECT_EQ(Crc16File(path.c_str()), BitwiseCrc16(contents)) << size;
    }
}

TEST(CrcFile, UnreadableGivesZero) {
    mg::testing::TempDir dir;
    const std::string missing = dir.File("absent.bin");
    EXPECT_EQ(Crc32File(missing.c_str()), 0u);
    EXPECT_EQ(Crc16File(missing.c_str()), 0);
    EXPECT_EQ(Crc32File(nullptr), 0u);
    // A directory either fails to open or fails on the first read.
    const std::string folder = dir.File("");
    EXPECT_EQ(Crc32File(folder.c_str()), 0u);
    EXPECT_EQ(Crc16File(folder.c_str()), 0);
}

// A stream whose bytes end in a failing read, as a disk error would.
class FailingAfter : public std::streambuf {
public:
    explicit FailingAfter(std::string bytes) : bytes_(std::move(bytes)) {
        setg(bytes_.data(), bytes_.data(), bytes_.data() + bytes_.size());
    }

protected:
    int_type underflow() override { throw std::runtime_error("read error"); }

private:
    std::string bytes_;
};

TEST(CrcFile, AReadErrorPartWayGivesZeroNotTheCrcOfThePartRead) {
    const std::string contents = RandomBytes(100000, 7);
    FailingAfter failing(contents);
    std::istream in(&failing);
    EXPECT_EQ(Crc32Stream(in), 0u);
    FailingAfter failing16(contents);
    std::istream in16(&failing16);
    EXPECT_EQ(Crc16Stream(in16), 0);
    std::istringstream whole(contents);
    EXPECT_EQ(Crc32Stream(whole), BitwiseCrc32(contents)) << "a clean end is no error";
}

}  // namespace
}  // namespace mg
