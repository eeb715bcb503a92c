// The text header of an age file (age-encryption.org/v1): the version line,
// the recipient stanzas and the MAC line, read and written byte for byte as
// the format defines them.
#ifndef MG_AGE_AGE_HEADER_H
#define MG_AGE_AGE_HEADER_H

#include <istream>
#include <string>
#include <vector>

namespace mg::age {

struct AgeStanza {
    std::vector<std::string> args;  // the type first
    std::vector<unsigned char> body;
};

class CAgeHeader {
public:
    static constexpr std::size_t kMacLength = 32;
    static constexpr std::size_t kFileKeyLength = 16;

    // Reads a header up to and including its MAC line and no further.
    // Throws CAgeError kNotAge for anything the grammar does not allow,
    // kRead when the stream fails.
    static CAgeHeader Read(std::istream& in);
    // A header for `stanzas` whose MAC is made with `fileKey`.
    static std::string Write(const std::vector<AgeStanza>& stanzas, const unsigned char* fileKey);

    const std::vector<AgeStanza>& Stanzas() const { return m_oStanzas; }
    // Whether the MAC matches the file key, compared in constant time.
    bool MacMatches(const unsigned char* fileKey) const;

private:
    std::vector<AgeStanza> m_oStanzas;
    std::string m_sMacInput;  // the header up to and including "---"
    std::vector<unsigned char> m_oMac;
};

}  // namespace mg::age

#endif
