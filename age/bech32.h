// Bech32 (BIP 173) as age keys use it: no limit on the length of the data
// part, one case throughout, the checksum over the lower-case text.
#ifndef MG_AGE_BECH32_H
#define MG_AGE_BECH32_H

#include <string>
#include <vector>

namespace mg::age {

class Bech32 {
public:
    // The lower-case text of `data` under the human-readable part `hrp`
    // (given in lower case).
    static std::string Encode(const std::string& hrp, const std::vector<unsigned char>& data);
    // False for anything that is not valid Bech32 whose 5-bit groups make
    // whole bytes (padding of at most four zero bits). `hrp` comes back in
    // lower case.
    static bool Decode(const std::string& text, std::string& hrp, std::vector<unsigned char>& data);
};

}  // namespace mg::age

#endif
