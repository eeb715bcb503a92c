#ifndef MG_FUNCTIONS_LIBRARY_OBJECTS_H
#define MG_FUNCTIONS_LIBRARY_OBJECTS_H

#include "cipher/blowfish.h"
#include "cipher/rijndael.h"
#include "cipher/tea.h"
#include "digest/md5.h"
#include "digest/ripemd.h"
#include "digest/sha.h"
#include "functions/cipher_settings.h"
#include "host/thread_state.h"

namespace mg::functions {

// The long-lived algorithm objects of one host thread. Members are built in
// the library's load order and destroyed in reverse with the thread's context.
class LibraryObjects : public host::IThreadState {
public:
    LibraryObjects();
    ~LibraryObjects() override;

    // The digest object of a hash type 1..7; other numbers mean type 4.
    IMessageDigest& Digest(std::int32_t hashType);

    CRijndael rijndael;
    CBlowfish blowfish;
    CTea tea;
    CSHA sha1{0};
    CSHA sha256{1};
    CSHA sha384{2};
    CSHA sha512{3};
    CMD5 md5;
    CRIPEMD ripemd128{0};
    CRIPEMD ripemd160{1};
    CipherSettings settings;
};

// The calling thread's objects; valid inside a routine.
LibraryObjects& Objects();

}  // namespace mg::functions

#endif
