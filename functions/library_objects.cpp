#include "functions/library_objects.h"

#include "host/host_ops.h"
#include "host/library_hooks.h"

namespace mg::functions {

LibraryObjects::LibraryObjects() = default;
LibraryObjects::~LibraryObjects() = default;

IMessageDigest& LibraryObjects::Digest(std::int32_t hashType) {
    switch (hashType) {
        case 1: return sha1;
        case 2: return sha256;
        case 3: return sha384;
        case 5: return md5;
        case 6: return ripemd128;
        case 7: return ripemd160;
        default: return sha512;
    }
}

LibraryObjects& Objects() { return static_cast<LibraryObjects&>(host::CurrentState()); }

}  // namespace mg::functions

namespace mg::host {
std::unique_ptr<IThreadState> NewThreadState() { return std::make_unique<functions::LibraryObjects>(); }
}  // namespace mg::host
