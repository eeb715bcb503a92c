// Big-endian word access for the block ciphers. Loads and stores go byte by
// byte so that no buffer has to be aligned and the host's byte order never
// matters.
#ifndef MG_CIPHER_BYTE_ORDER_H
#define MG_CIPHER_BYTE_ORDER_H

#include <cstdint>

namespace mg {

inline std::uint32_t LoadBe32(const unsigned char* p)
{
    return (static_cast<std::uint32_t>(p[0]) << 24) | (static_cast<std::uint32_t>(p[1]) << 16) |
           (static_cast<std::uint32_t>(p[2]) << 8) | static_cast<std::uint32_t>(p[3]);
}

inline void StoreBe32(unsigned char* p, std::uint32_t v)
{
    p[0] = static_cast<unsigned char>(v >> 24);
    p[1] = static_cast<unsigned char>(v >> 16);
    p[2] = static_cast<unsigned char>(v >> 8);
    p[3] = static_cast<unsigned char>(v);
}

}  // namespace mg

#endif
