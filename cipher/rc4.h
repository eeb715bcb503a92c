// RC4, the library's stream cipher. It has no object: the caller owns the
// state for the length of one request.
#ifndef MG_CIPHER_RC4_H
#define MG_CIPHER_RC4_H

#include <cstdint>

namespace mg {

struct Rc4State {
    unsigned char perm[256];
    unsigned char i;
    unsigned char j;
};
static_assert(sizeof(Rc4State) == 258);

// Runs the key schedule; keys longer than 256 bytes count with their first
// 256. Throws std::runtime_error for keyLength < 1.
void Rc4Setup(const unsigned char* key, std::int32_t keyLength, Rc4State& s);

// XORs the next `length` keystream bytes into buf; successive calls continue
// one keystream. A length of 0 or less does nothing.
void Rc4Crypt(unsigned char* buf, std::int32_t length, Rc4State& s);

}  // namespace mg

#endif
