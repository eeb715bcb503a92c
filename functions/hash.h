#ifndef MG_FUNCTIONS_HASH_H
#define MG_FUNCTIONS_HASH_H

#include "marrowgate/host_abi.h"

namespace mg::functions {

// HASH(cData, nType), HMAC(cData, cKey, nType), HASHFILE(cFileName, nType).
// Hash types: 1 SHA-1, 2 SHA-256, 3 SHA-384, 4 SHA-512 (default), 5 MD5,
// 6 RIPEMD-128, 7 RIPEMD-160. Results are the raw digest bytes.
void MG_FASTCALL HASH(abi::ParamBlock* params);
void MG_FASTCALL HMAC(abi::ParamBlock* params);
void MG_FASTCALL HASHFILE(abi::ParamBlock* params);

}  // namespace mg::functions

#endif
