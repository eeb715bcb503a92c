// The ASCII armor of age files: strict PEM (RFC 7468, section 3) with the
// label "AGE ENCRYPTED FILE", 64-column lines of padded canonical base64,
// LF or CRLF line ends, whitespace allowed only around the block.
#ifndef MG_AGE_ARMOR_H
#define MG_AGE_ARMOR_H

#include <string>
#include <vector>

namespace mg::age {

class Armor {
public:
    static constexpr char kBegin[] = "-----BEGIN AGE ENCRYPTED FILE-----";
    static constexpr char kEnd[] = "-----END AGE ENCRYPTED FILE-----";

    // Whether `start` (the first bytes of a file) is armored: optional
    // whitespace, then the first character of the begin line.
    static bool LooksArmored(const std::string& start);
    // The binary file inside; throws CAgeError kNotAge when the armor breaks a rule.
    static std::vector<unsigned char> Decode(const std::string& text);
    static std::string Encode(const unsigned char* data, std::size_t length);
};

}  // namespace mg::age

#endif
