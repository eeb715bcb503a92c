#ifndef MG_FUNCTIONS_SEAL_FILE_H
#define MG_FUNCTIONS_SEAL_FILE_H

#include "marrowgate/host_abi.h"

namespace mg::functions {

// Files in the age format (age-encryption.org/v1) and the X25519 keys for them:
// SEALFILE(cInFile, cOutFile, cKey [, lRecipients]) and
// UNSEALFILE(cInFile, cOutFile, cKey) return nothing;
// GENERATEIDENTITY() returns a new AGE-SECRET-KEY-1... identity,
// RECIPIENT(cIdentity) its age1... recipient.
void MG_FASTCALL SEALFILE(abi::ParamBlock* params);
void MG_FASTCALL UNSEALFILE(abi::ParamBlock* params);
void MG_FASTCALL GENERATEIDENTITY(abi::ParamBlock* params);
void MG_FASTCALL RECIPIENT(abi::ParamBlock* params);

}  // namespace mg::functions

#endif
