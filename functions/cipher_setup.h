#ifndef MG_FUNCTIONS_CIPHER_SETUP_H
#define MG_FUNCTIONS_CIPHER_SETUP_H

#include "cipher/block_cipher.h"
#include "functions/arguments.h"
#include "functions/library_objects.h"

namespace mg::functions {

// Initialises the thread's block cipher chosen by the settings with the key
// and the IV argument at `ivAt` (cut or zero-extended to the block size; all
// zero when absent) and returns it.
IBlockCipher& InitializeBlockCipher(LibraryObjects& objects, const Arguments& args, const unsigned char* key,
                                    std::int32_t keyLength, int ivAt);

// The thread's cipher objects live from call to call; the key of one call
// need not. Clears the cipher when the call ends, however it ends.
class ClearAfterCall {
public:
    explicit ClearAfterCall(IBlockCipher& cipher) : m_rCipher(cipher) {}
    ~ClearAfterCall() { m_rCipher.Clear(); }
    ClearAfterCall(const ClearAfterCall&) = delete;
    ClearAfterCall& operator=(const ClearAfterCall&) = delete;

private:
    IBlockCipher& m_rCipher;
};

}  // namespace mg::functions

#endif
