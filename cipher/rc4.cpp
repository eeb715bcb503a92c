#include "cipher/rc4.h"

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

void Rc4Crypt(unsigned char* buf, std::int32_t length, Rc4State& s)
{
    unsigned char i = s.i;
    unsigned char j = s.j;
    for (std::int32_t n = 0; n < length; ++n) {
        i = static_cast<unsigned char>(i + 1);
        const unsigned char ti = s.perm[i];
        j = static_cast<unsigned char>(j + ti);
        const unsigned char tj = s.perm[j];
        s.perm[i] = tj;
        s.perm[j] = ti;
        buf[n] ^= s.perm[static_cast<unsigned char>(ti + tj)];
    }
    s.i = i;
    s.j = j;
}

}  // namespace mg
