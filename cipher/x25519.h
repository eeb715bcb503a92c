// X25519 Diffie-Hellman (RFC 7748, section 5). The field is held in ten
// limbs of alternately 26 and 25 bits, so that every product fits a 64-bit
// integer and 32-bit builds need no wider arithmetic. The ladder runs the
// same steps and touches the same memory whatever the scalar is.
#ifndef MG_CIPHER_X25519_H
#define MG_CIPHER_X25519_H

#include <cstddef>

namespace mg {

class CX25519 {
public:
    static constexpr std::size_t kLength = 32;

    // out = X25519(scalar, u). False when the result is all zeros (u was a
    // point of small order), which a key exchange must refuse.
    static bool SharedSecret(const unsigned char* scalar, const unsigned char* u, unsigned char* out);
    // out = X25519(scalar, 9): the public key of a private key.
    static void PublicKey(const unsigned char* scalar, unsigned char* out);
};

}  // namespace mg

#endif
