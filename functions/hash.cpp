#include "functions/hash.h"

#include <cstring>
#include <string>
#include <vector>

#include "cpu/secure_wipe.h"
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
constexpr std::size_t kMaxBlock = 128;

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
    IMessageDigest& digest = ChosenDigest(args, 3);
    const std::size_t n = static_cast<std::size_t>(digest.DigestLength());
    const std::size_t b = static_cast<std::size_t>(digest.BlockLength());
    host::HandleLock data(args.Handle(1));

    // The key is prepared in a copy: the caller's key value is never changed.
    // The copy, the pads made from it and the inner digest are as good as the
    // key to anyone who reads them, so they are wiped however the call ends.
    unsigned char key[kMaxBlock] = {};
    ScopedWipe wipeKey(key);
    {
        host::HandleLock keyLock(args.Handle(2));
        const std::int32_t keyLength = args.Length(2);
        if (static_cast<std::size_t>(keyLength) > b) {
            digest.Reset();
            digest.AddData(keyLock.data(), keyLength);
            digest.FinalDigest(key);
        } else if (keyLength > 0) {
            std::memcpy(key, keyLock.data(), static_cast<std::size_t>(keyLength));
        }
    }
    unsigned char pad[kMaxBlock];
    unsigned char inner[kMaxDigest];
    ScopedWipe wipePad(pad);
    ScopedWipe wipeInner(inner);
    unsigned char out[kMaxDigest];
    for (std::size_t i = 0; i < b; ++i) pad[i] = static_cast<unsigned char>(key[i] ^ 0x36);
    digest.Reset();
    digest.AddData(pad, static_cast<std::int32_t>(b));
    digest.AddData(data.data(), args.Length(1));
    digest.FinalDigest(inner);
    for (std::size_t i = 0; i < b; ++i) pad[i] = static_cast<unsigned char>(key[i] ^ 0x5C);
    digest.Reset();
    digest.AddData(pad, static_cast<std::int32_t>(b));
    digest.AddData(inner, static_cast<std::int32_t>(n));
    digest.FinalDigest(out);
    ReturnDigest(out, static_cast<std::int32_t>(n));
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
