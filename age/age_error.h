// The ways sealing and opening an age file can fail, each with the text the
// library reports for it.
#ifndef MG_AGE_AGE_ERROR_H
#define MG_AGE_AGE_ERROR_H

#include <stdexcept>
#include <string>

namespace mg::age {

enum class AgeFailure {
    kOpen,            // subject: the file
    kRead,            // the file
    kWrite,           // the file
    kSameFile,        // the input file
    kNotAge,          // the file: the header does not parse or its MAC fails
    kWorkFactor,      // the file: scrypt asks for more than 2^22
    kNoMatch,         // the file: no stanza opens with the key given
    kDamaged,         // the file: a chunk fails, or the payload ends wrongly
    kEmptyPassphrase,
    kBadRecipient,    // the word
    kBadIdentity,
};

class CAgeError : public std::runtime_error {
public:
    explicit CAgeError(AgeFailure failure, const std::string& subject = std::string());
    AgeFailure Failure() const { return m_eFailure; }

private:
    AgeFailure m_eFailure;
};

}  // namespace mg::age

#endif
