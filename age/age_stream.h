// The payload of an age file: a 16-byte nonce, then the data in 64 KiB
// chunks, each sealed with ChaCha20-Poly1305 under a key derived from the
// file key and the nonce, its nonce an 11-byte big-endian counter and a byte
// that marks the last chunk (the STREAM construction of age-encryption.org/v1).
#ifndef MG_AGE_AGE_STREAM_H
#define MG_AGE_AGE_STREAM_H

#include <cstddef>
#include <istream>
#include <ostream>

#include "age/age_recipients.h"

namespace mg::age {

class CAgeStream {
public:
    static constexpr std::size_t kChunk = 64 * 1024;
    static constexpr std::size_t kNonceLength = 16;

    // Writes nonce and sealed chunks of all of `in` to `out`. Throws CAgeError
    // kRead or kWrite (without a subject).
    static void Seal(std::istream& in, std::ostream& out, const unsigned char* fileKey, const RandomFill& random);
    // Reads the nonce (a short one: kNotAge) and opens every chunk to `out`;
    // throws kDamaged at the first chunk that fails or a payload that ends
    // anywhere but after a valid last chunk.
    static void Open(std::istream& in, std::ostream& out, const unsigned char* fileKey);
};

}  // namespace mg::age

#endif
