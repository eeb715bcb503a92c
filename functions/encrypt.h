#ifndef MG_FUNCTIONS_ENCRYPT_H
#define MG_FUNCTIONS_ENCRYPT_H

#include "marrowgate/host_abi.h"

namespace mg::functions {

// ENCRYPT / DECRYPT(cData, cKey, nType, nMode, nPadding, nKeySize, nBlockSize, cIV)
void MG_FASTCALL ENCRYPT(abi::ParamBlock* params);
void MG_FASTCALL DECRYPT(abi::ParamBlock* params);

}  // namespace mg::functions

#endif
