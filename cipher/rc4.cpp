#include "cipher/rc4.h"

#include <cstdint>
#include <cstring>
#include <stdexcept>

namespace mg {

void Rc4Setup(const unsigned char* key, std::int32_t keyLength, Rc4State& s)
{
    // The schedule would divide by the key length (and read a null key).
    if (key == nullptr || keyLength < 1)
        throw std::runtime_error("FileCrypt ERROR: Key Data Length should be > 0!");
    for (int k = 0; k < 256; ++k) s.perm[k] = static_cast<unsigned char>(k);
    s.i = 0;
    s.j = 0;
    unsigned char x = 0;
    std::int32_t keyIndex = 0;
    for (int k = 0; k < 256; ++k) {
        const unsigned char t = s.perm[k];
        x = static_cast<unsigned char>(x + t + key[keyIndex]);
        s.perm[k] = s.perm[x];
        s.perm[x] = t;
        if (++keyIndex == keyLength) keyIndex = 0;
    }
}

namespace {

// One step of the keystream generator.
inline unsigned char NextKeyByte(unsigned char* perm, unsigned& i, unsigned& j)
{
    i = (i + 1) & 0xFF;
    const unsigned ti = perm[i];
    j = (j + ti) & 0xFF;
    const unsigned tj = perm[j];
    perm[i] = static_cast<unsigned char>(tj);
    perm[j] = static_cast<unsigned char>(ti);
    return perm[(ti + tj) & 0xFF];
}

}  // namespace

void Rc4Crypt(unsigned char* buf, std::int32_t length, Rc4State& s)
{
    // Byte-serial by nature; what can go is the traffic around the state:
    // eight keystream bytes are gathered in a register and meet the data in
    // one load, XOR and store.
    unsigned i = s.i;
    unsigned j = s.j;
    unsigned char* const perm = s.perm;
    std::int32_t n = 0;
    for (; n + 8 <= length; n += 8) {
        std::uint64_t stream = 0;
#pragma GCC unroll 8
        for (int k = 0; k < 8; ++k) {
            const std::uint64_t key = NextKeyByte(perm, i, j);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
            stream |= key << (56 - 8 * k);
#else
            stream |= key << (8 * k);
#endif
        }
        std::uint64_t data;
        std::memcpy(&data, buf + n, sizeof data);
        data ^= stream;
        std::memcpy(buf + n, &data, sizeof data);
    }
    for (; n < length; ++n) {
        buf[n] ^= NextKeyByte(perm, i, j);
    }
    s.i = static_cast<unsigned char>(i);
    s.j = static_cast<unsigned char>(j);
}

}  // namespace mg
