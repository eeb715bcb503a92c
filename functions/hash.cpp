#include "functions/hash.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "digest/hmac.h"
#include "functions/arguments.h"
#include "functions/library_objects.h"
#include "host/handle_lock.h"
#include "host/owned_handle.h"

namespace mg::functions {
namespace {

IMessageDigest& ChosenDigest(const Arguments& args, int typeAt) {
    return Objects().Digest(args.IntegerOr(typeAt, 4));
}

// Hands `length` digest bytes to the host as a character value.
void ReturnDigest(const unsigned char* digest, std::int32_t length) {
    host::OwnedHandle result(host::AllocOrRaise(static_cast<std::size_t>(length)));
    host::HandleLock lock(result.get());
    std::memcpy(lock.data(), digest, static_cast<std::size_t>(length));
    host::ReturnValue(host::TextValue('C', result.get(), length));
}

constexpr std::size_t kMaxDigest = 64;

}  // namespace

void MG_FASTCALL HASH(abi::ParamBlock* params) {
    const Arguments args(params);
    IMessageDigest& digest = ChosenDigest(args, 2);
    host::HandleLock data(args.Handle(1));
    unsigned char out[kMaxDigest];
    digest.Reset();
    digest.AddData(data.data(), args.Length(1));
    digest.FinalDigest(out);
    ReturnDigest(out, digest.DigestLength());
}

void MG_FASTCALL HMAC(abi::ParamBlock* params) {
    const Arguments args(params);
    // CHmac works on its own copy of the key and wipes it, the pads and the
    // inner digest: the caller's key value is never changed.
    CHmac hmac(args.IntegerOr(3, 4));
    {
        host::HandleLock key(args.Handle(2));
        hmac.SetKey(key.data(), static_cast<std::size_t>(std::max(args.Length(2), 0)));
    }
    host::HandleLock data(args.Handle(1));
    hmac.Update(data.data(), static_cast<std::size_t>(std::max(args.Length(1), 0)));
    unsigned char out[kMaxDigest];
    hmac.Final(out);
    ReturnDigest(out, static_cast<std::int32_t>(hmac.Length()));
}

void MG_FASTCALL HASHFILE(abi::ParamBlock* params) {
    const Arguments args(params);
    const abi::MemHandle nameHandle = args.Handle(1);
    const std::int32_t nameLength = args.Length(1);
    host::TerminateOrRaise(nameHandle, nameLength);
    IMessageDigest& digest = ChosenDigest(args, 2);
    host::HandleLock name(nameHandle);
    const std::string fileName(reinterpret_cast<const char*>(name.data()), static_cast<std::size_t>(nameLength));
    unsigned char out[kMaxDigest];
    digest.Reset();
    digest.DigestFile(fileName, out);
    ReturnDigest(out, digest.DigestLength());
}

}  // namespace mg::functions
