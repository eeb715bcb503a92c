#ifndef MG_FUNCTIONS_SEAL_H
#define MG_FUNCTIONS_SEAL_H

#include "marrowgate/host_abi.h"

namespace mg::functions {

// SEAL(cData, cKey [, cContext]): AES-GCM with a fresh random 12-byte nonce;
// the result is nonce || ciphertext || 16-byte tag. cContext is
// authenticated, not encrypted. UNSEAL(cSealed, cKey [, cContext]) returns
// cData, or fails without a plaintext when anything was changed.
void MG_FASTCALL SEAL(abi::ParamBlock* params);
void MG_FASTCALL UNSEAL(abi::ParamBlock* params);

}  // namespace mg::functions

#endif
