// Base64 (RFC 4648, section 4), unpadded as the age header and PHC strings
// write it, or padded as the age armor does. Decoding accepts only the
// canonical text, so that one value has one encoding and a stored hash or a
// file cannot be changed unnoticed.
#ifndef MG_ENCODING_BASE64_H
#define MG_ENCODING_BASE64_H

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace mg {

class Base64 {
public:
    static std::string Encode(const unsigned char* data, std::size_t length, bool pad);
    // Without '=': false for padding, a stray character, a length that no
    // byte count gives, or unused bits that are not zero.
    static bool DecodeRaw(std::string_view text, std::vector<unsigned char>& out);
    // With '=' to a multiple of four characters, as the armor has it.
    static bool DecodePadded(std::string_view text, std::vector<unsigned char>& out);
    static bool IsAlphabet(char c);
};

}  // namespace mg

#endif
