// Sealing and opening whole files in the age format (age-encryption.org/v1):
// the binary form is written, the binary and armored forms are read.
#ifndef MG_AGE_AGE_FILE_H
#define MG_AGE_AGE_FILE_H

#include <istream>
#include <ostream>
#include <string>

#include "age/age_recipients.h"

namespace mg::age {

class CAgeFile {
public:
    // `key` holds age1... recipients when `recipients` is set, otherwise a
    // passphrase. Throws CAgeError with the message for the caller.
    static void Seal(const std::string& inName, const std::string& outName, const std::string& key, bool recipients,
                     const RandomFill& random, unsigned workFactor = CAgeRecipients::kSealWorkFactor);
    // `key` is a passphrase or identities, as the file's header asks. Nothing
    // reaches `outName` unless the whole file authenticated.
    static void Open(const std::string& inName, const std::string& outName, const std::string& key);

    // The same on streams; errors that concern the input carry no file name.
    static void SealStream(std::istream& in, std::ostream& out, const std::string& key, bool recipients,
                           const RandomFill& random, unsigned workFactor = CAgeRecipients::kSealWorkFactor);
    static void OpenStream(std::istream& in, std::ostream& out, const std::string& key);
};

}  // namespace mg::age

#endif
