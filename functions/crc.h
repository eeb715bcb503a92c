#ifndef MG_FUNCTIONS_CRC_H
#define MG_FUNCTIONS_CRC_H

#include "marrowgate/host_abi.h"

namespace mg::functions {

// CRC(cData, nType) and CRCFILE(cFileName, nType): type 1 gives the CRC-16 as
// an integer, any other type the CRC-32 as a number, both of width 10.
void MG_FASTCALL CRC(abi::ParamBlock* params);
void MG_FASTCALL CRCFILE(abi::ParamBlock* params);

}  // namespace mg::functions

#endif
