#ifndef MG_FUNCTIONS_CIPHER_SETTINGS_H
#define MG_FUNCTIONS_CIPHER_SETTINGS_H

#include <cstdint>

#include "functions/arguments.h"

namespace mg::functions {

// Cipher types as the host numbers them; any other number means Rijndael.
enum CipherType : std::int32_t {
    kTypeRijndael = 2,
    kTypeBlowfish = 4,
    kTypeTea = 8,
    kTypeRc4 = 1024,
};

// The settings of one cipher call, reset and filled from the arguments on
// every call so that no call depends on an earlier one.
struct CipherSettings {
    std::int32_t type = kTypeRijndael;
    std::int32_t mode = 0;
    std::int32_t keySize = 32;
    std::int32_t padding = 0;
    std::int32_t blockSize = 32;

    void Reset() { *this = CipherSettings{}; }
    // Reads type, mode, padding, key size and block size from the five
    // positions starting at `first`, replacing out-of-range values by defaults.
    void Fill(const Arguments& args, int first);

    bool IsBlowfish() const { return type == kTypeBlowfish; }
    bool IsTea() const { return type == kTypeTea; }
    bool IsRc4() const { return type == kTypeRc4; }
    bool IsRijndael() const { return !IsBlowfish() && !IsTea() && !IsRc4(); }
};

}  // namespace mg::functions

#endif
