#ifndef MG_FUNCTIONS_GENERATE_KEY_H
#define MG_FUNCTIONS_GENERATE_KEY_H

#include <cstdint>
#include <string>

#include "marrowgate/host_abi.h"

namespace mg::functions {

// GENERATEKEY(nLength, lDigits, lUpper, lSymbols) and ONLOAD.
void MG_FASTCALL GENERATEKEY(abi::ParamBlock* params);
void MG_FASTCALL ONLOAD(abi::ParamBlock* params);

// The characters a key is drawn from, in the order the index formula relies on.
std::string KeyPool(bool digits, bool upper, bool symbols);
// Position in a pool of `poolSize` characters for a 15-bit random value.
std::size_t PoolIndex(std::uint32_t r, std::size_t poolSize);
// Seed of the C runtime generator for the time value t (seconds).
std::uint32_t OnloadSeed(std::uint32_t t);

}  // namespace mg::functions

#endif
