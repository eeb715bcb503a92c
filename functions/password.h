#ifndef MG_FUNCTIONS_PASSWORD_H
#define MG_FUNCTIONS_PASSWORD_H

#include "marrowgate/host_abi.h"

namespace mg::functions {

// HASHPASSWORD(cPassword [, nMemory, nIterations]): an Argon2id PHC string.
// VERIFYPASSWORD(cPassword, cStored): .T. when the password matches.
// DERIVEKEY(cPassword, cSalt, nIterations [, nLength, nType]): PBKDF2 key.
void MG_FASTCALL HASHPASSWORD(abi::ParamBlock* params);
void MG_FASTCALL VERIFYPASSWORD(abi::ParamBlock* params);
void MG_FASTCALL DERIVEKEY(abi::ParamBlock* params);

}  // namespace mg::functions

#endif
