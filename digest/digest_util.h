#pragma once

// Pieces shared by the digest classes. Word loads and stores use byte shifts,
// which keeps them independent of the host's byte order and alignment;
// compilers turn them into plain moves.

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace mg {

inline std::uint32_t LoadLe32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

inline std::uint32_t LoadBe32(const unsigned char* p) {
    return (static_cast<std::uint32_t>(p[0]) << 24) | (static_cast<std::uint32_t>(p[1]) << 16) |
           (static_cast<std::uint32_t>(p[2]) << 8) | static_cast<std::uint32_t>(p[3]);
}

inline std::uint64_t LoadBe64(const unsigned char* p) {
    return (static_cast<std::uint64_t>(LoadBe32(p)) << 32) | LoadBe32(p + 4);
}

inline void StoreLe32(unsigned char* p, std::uint32_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
    p[2] = static_cast<unsigned char>(v >> 16);
    p[3] = static_cast<unsigned char>(v >> 24);
}

inline void StoreBe32(unsigned char* p, std::uint32_t v) {
    p[0] = static_cast<unsigned char>(v >> 24);
    p[1] = static_cast<unsigned char>(v >> 16);
    p[2] = static_cast<unsigned char>(v >> 8);
    p[3] = static_cast<unsigned char>(v);
}

inline void StoreBe64(unsigned char* p, std::uint64_t v) {
    StoreBe32(p, static_cast<std::uint32_t>(v >> 32));
    StoreBe32(p + 4, static_cast<std::uint32_t>(v));
}

inline std::uint32_t Rotl32(std::uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }
inline std::uint32_t Rotr32(std::uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }
inline std::uint64_t Rotr64(std::uint64_t x, int n) { return (x >> n) | (x << (64 - n)); }

// Appends length bytes to a message whose partial block holds fill bytes:
// completes and compresses that block, compresses the whole blocks straight
// from the caller's memory in one run (compress(blocks, count)), and keeps
// the rest for later.
template <std::size_t BlockLen, class Compress>
void FeedBlocks(unsigned char* buffer, std::size_t fill, const unsigned char* data, std::size_t length,
                Compress compress) {
    if (fill != 0) {
        const std::size_t room = BlockLen - fill;
        if (length < room) {
            std::memcpy(buffer + fill, data, length);
            return;
        }
        std::memcpy(buffer + fill, data, room);
        compress(buffer, std::size_t{1});
        data += room;
        length -= room;
    }
    const std::size_t whole = length / BlockLen;
    if (whole != 0) compress(data, whole);
    data += whole * BlockLen;
    length -= whole * BlockLen;
    if (length != 0) std::memcpy(buffer, data, length);
}

// Message padding: the 0x80 marker, then zeros up to the length field of
// lengthBytes at the end of the block; spills into one more block when the
// marker leaves no room for the length. The caller stores the length and
// compresses the last block.
template <std::size_t BlockLen, std::size_t LengthBytes, class Compress>
void PadBlock(unsigned char* buffer, std::size_t fill, Compress compress) {
    buffer[fill++] = 0x80;
    if (fill > BlockLen - LengthBytes) {
        std::memset(buffer + fill, 0, BlockLen - fill);
        compress(buffer);
        fill = 0;
    }
    std::memset(buffer + fill, 0, BlockLen - LengthBytes - fill);
}

// MD5 and RIPEMD frame a message alike: 64-byte blocks and the bit count,
// little-endian, at the end of the last block. compress(blocks, count).
template <class Compress>
void AddLittleEndianMessage(unsigned char* buffer, std::uint64_t& bitCount, const unsigned char* data,
                            std::size_t length, Compress compress) {
    const std::size_t fill = static_cast<std::size_t>((bitCount >> 3) & 63);
    bitCount += static_cast<std::uint64_t>(length) << 3;
    FeedBlocks<64>(buffer, fill, data, length, compress);
}

template <class Compress>
void FinishLittleEndianMessage(unsigned char* buffer, std::uint64_t bitCount, Compress compress) {
    PadBlock<64, 8>(buffer, static_cast<std::size_t>((bitCount >> 3) & 63),
                    [&](const unsigned char* block) { compress(block, std::size_t{1}); });
    StoreLe32(buffer + 56, static_cast<std::uint32_t>(bitCount));
    StoreLe32(buffer + 60, static_cast<std::uint32_t>(bitCount >> 32));
    compress(buffer, std::size_t{1});
}

}  // namespace mg
