// The two recipient types this library builds (age-encryption.org/v1):
// X25519 key pairs and scrypt passphrases. Their text forms, and the
// stanzas that wrap and unwrap a file key for them.
#ifndef MG_AGE_AGE_RECIPIENTS_H
#define MG_AGE_AGE_RECIPIENTS_H

#include <array>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "age/age_header.h"

namespace mg::age {

// Fills a buffer from a secure generator; throws when it cannot.
using RandomFill = std::function<void(unsigned char*, std::size_t)>;

class CAgeRecipients {
public:
    static constexpr unsigned kSealWorkFactor = 18;  // what the age tool writes
    static constexpr unsigned kMaxWorkFactor = 22;
    using Key = std::array<unsigned char, 32>;

    static std::string NewIdentity(const RandomFill& random);
    // The age1... recipient of an AGE-SECRET-KEY-1... identity; throws
    // CAgeError kBadIdentity.
    static std::string RecipientOf(const std::string& identity);

    // Recipients separated by spaces, commas or line breaks; throws
    // kBadRecipient naming the first word that is not one.
    static std::vector<Key> ParseRecipients(const std::string& text);

    static AgeStanza WrapX25519(const unsigned char* fileKey, const Key& recipient, const RandomFill& random);
    static AgeStanza WrapScrypt(const unsigned char* fileKey, const std::string& passphrase, unsigned workFactor,
                                const RandomFill& random);

    // Finds the file key in `stanzas`: with `key` as the passphrase when the
    // header holds a scrypt stanza, else as identities, one per line (blank
    // lines and # comments skipped). Throws kNotAge for malformed stanzas,
    // kWorkFactor, kBadIdentity or kNoMatch.
    static void Unwrap(const std::vector<AgeStanza>& stanzas, const std::string& key, unsigned char* fileKey);
};

}  // namespace mg::age

#endif
