#ifndef MG_FUNCTIONS_ENCRYPT_FILE_H
#define MG_FUNCTIONS_ENCRYPT_FILE_H

#include "marrowgate/host_abi.h"

namespace mg::functions {

// ENCRYPTFILE / DECRYPTFILE(cInFile, cOutFile, cKey, nType, nMode, nPadding,
// nKeySize, nBlockSize, cIV): no value is returned.
void MG_FASTCALL ENCRYPTFILE(abi::ParamBlock* params);
void MG_FASTCALL DECRYPTFILE(abi::ParamBlock* params);

}  // namespace mg::functions

#endif
