#include "age/age_error.h"

namespace mg::age {

namespace {

std::string Text(AgeFailure failure, const std::string& subject) {
    const std::string prefix = "SealFile ERROR: ";
    switch (failure) {
    case AgeFailure::kOpen: return prefix + "Cannot open File " + subject + "!";
    case AgeFailure::kRead: return prefix + "Cannot read File " + subject + "!";
    case AgeFailure::kWrite: return prefix + "Cannot write File " + subject + "!";
    case AgeFailure::kSameFile: return prefix + "The same File for Input and Output " + subject + "!";
    case AgeFailure::kNotAge: return prefix + "File " + subject + " is not a valid age file!";
    case AgeFailure::kWorkFactor: return prefix + "File " + subject + " asks for a work factor above 22!";
    case AgeFailure::kNoMatch: return prefix + "No key opens File " + subject + "!";
    case AgeFailure::kDamaged: return prefix + "File " + subject + " is damaged or truncated!";
    case AgeFailure::kEmptyPassphrase: return prefix + "Passphrase must not be empty!";
    case AgeFailure::kBadRecipient: return prefix + "Not a valid recipient: " + subject + "!";
    case AgeFailure::kBadIdentity: return prefix + "Not a valid identity!";
    }
    return prefix;
}

}  // namespace

CAgeError::CAgeError(AgeFailure failure, const std::string& subject)
    : std::runtime_error(Text(failure, subject)), m_eFailure(failure) {}

}  // namespace mg::age
