#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kdf/argon2.h"

namespace mg {

// An Argon2 hash in the PHC string format (C2SP phc-strings):
//   $argon2id$v=19$m=<KiB>,t=<passes>,p=<lanes>[,data=<B64>]$<salt B64>$<tag B64>
// with argon2i or argon2d in place of argon2id, and "$v=<n>" left out for
// version 16. Parsing is strict: the fields in that order, decimal numbers
// without leading zeros, canonical B64 without padding (no stray trailing
// bits), nothing after the tag. A key id (keyid=) is refused: the key it
// names is not ours to find.
class CPhcString {
public:
    // Limits checked while parsing, before anything is computed or allocated
    // for the hash itself.
    struct Limits {
        std::uint32_t maxMemoryKiB;
        std::uint32_t maxPasses;
        std::uint32_t maxLanes;
    };
    static constexpr std::size_t kMinSalt = 8;
    static constexpr std::size_t kMinTag = 4;
    static constexpr std::size_t kMaxData = 32;

    // std::nullopt for anything that is not such a string within the limits
    // (and whose parameters Argon2 does not define).
    static std::optional<CPhcString> Parse(std::string_view text, const Limits& limits);

    // The deterministic encoding of the given hash, with "$v=" always
    // written, as the systems that read these strings write it.
    static std::string Format(const CArgon2::Parameters& parameters, const unsigned char* salt, std::size_t saltLength,
                              const unsigned char* tag, std::size_t tagLength);

    const CArgon2::Parameters& Parameters() const { return m_parameters; }
    const std::vector<unsigned char>& Salt() const { return m_salt; }
    const std::vector<unsigned char>& AssociatedData() const { return m_data; }
    const std::vector<unsigned char>& Tag() const { return m_tag; }

private:
    CArgon2::Parameters m_parameters;
    std::vector<unsigned char> m_salt;
    std::vector<unsigned char> m_data;
    std::vector<unsigned char> m_tag;
};

}  // namespace mg
