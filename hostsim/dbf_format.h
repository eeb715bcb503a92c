#ifndef MG_HOSTSIM_DBF_FORMAT_H
#define MG_HOSTSIM_DBF_FORMAT_H

#include <cstddef>
#include <cstdint>
#include <string>

// What the table-file reader and writer share about the file layout.
//
// Table file: a 32-byte header (version byte; last update YY MM DD; record
// count, 32-bit; header length and record length, 16-bit; table flags at 28,
// 0x02 meaning a memo file; code page mark at 29), 32-byte field descriptors
// (name of up to 10 characters NUL-padded to 11 bytes, type letter, offset in
// the record, width, decimals, flags), the byte 0x0D, in the host's own form
// 263 bytes reserved for the database container's path, then the records:
// a deletion mark (' ' or '*') and the fields, and finally the byte 0x1A.
// All integers are little-endian.
//
// Memo file (.fpt): a 512-byte header holding the next free block (32-bit) at
// 0 and the block size (16-bit) at 6, both big-endian; each memo starts on a
// block boundary with its type (1 text, 0 binary) and length, 32-bit
// big-endian, followed by its bytes. A memo field holds the memo's block
// number, 0 for an empty memo.
//
// Hidden _NullFlags field (type '0', system flag): one bit per field, lowest
// bit first, given in field order to each varying field (set when the value
// is shorter than the field, whose last byte then holds the length) and then
// to each nullable field (set when it holds null).
namespace mg::hostsim::dbf {

inline constexpr unsigned char kDBase3 = 0x03;
inline constexpr unsigned char kHost = 0x30;
inline constexpr unsigned char kHostAutoIncrement = 0x31;
inline constexpr unsigned char kHostVarying = 0x32;

inline constexpr std::size_t kHeaderSize = 32;
inline constexpr std::size_t kDescriptorSize = 32;
inline constexpr std::size_t kBacklinkSize = 263;
inline constexpr std::size_t kMemoHeaderSize = 512;
inline constexpr unsigned char kHeaderEnd = 0x0D;
inline constexpr unsigned char kFileEnd = 0x1A;

inline constexpr unsigned char kFlagSystem = 0x01;
inline constexpr unsigned char kFlagNullable = 0x02;
inline constexpr unsigned char kFlagBinary = 0x04;
inline constexpr unsigned char kTableHasMemo = 0x02;
inline constexpr char kNullFlagsName[] = "_NullFlags";

inline std::uint32_t Le32(const unsigned char* p) {
    return p[0] | static_cast<std::uint32_t>(p[1]) << 8 | static_cast<std::uint32_t>(p[2]) << 16 |
           static_cast<std::uint32_t>(p[3]) << 24;
}
inline std::uint16_t Le16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
inline std::uint32_t Be32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
           static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}
inline std::uint64_t Le64(const unsigned char* p) { return Le32(p) | static_cast<std::uint64_t>(Le32(p + 4)) << 32; }

inline void PutLe32(unsigned char* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}
inline void PutLe16(unsigned char* p, std::uint16_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}
inline void PutBe32(unsigned char* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * (3 - i)));
}
inline void PutLe64(unsigned char* p, std::uint64_t v) {
    PutLe32(p, static_cast<std::uint32_t>(v));
    PutLe32(p + 4, static_cast<std::uint32_t>(v >> 32));
}

// The memo file that belongs to a table file: its extension replaced by .fpt,
// in the case of the table file's extension.
inline std::string MemoPath(const std::string& tablePath) {
    const std::size_t slash = tablePath.find_last_of("/\\");
    const std::size_t dot = tablePath.find_last_of('.');
    const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    const std::string stem = hasExtension ? tablePath.substr(0, dot) : tablePath;
    const bool upper = hasExtension && dot + 1 < tablePath.size() && tablePath[dot + 1] >= 'A' && tablePath[dot + 1] <= 'Z';
    return stem + (upper ? ".FPT" : ".fpt");
}

}  // namespace mg::hostsim::dbf

#endif
