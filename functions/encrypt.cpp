#include "functions/encrypt.h"

#include <cstdint>

#include "cipher/rc4.h"
#include "cpu/secure_wipe.h"
#include "functions/cipher_setup.h"
#include "host/handle_lock.h"

namespace mg::functions {
namespace {

enum Position { kData = 1, kKey = 2, kType = 3, kIv = 8 };

// RC4 works in place on the data argument, which it then returns.
void Rc4InPlace(const Arguments& args, const unsigned char* key, std::int32_t keyLength, bool terminate) {
    const abi::MemHandle data = args.Handle(kData);
    const std::int32_t length = args.Length(kData);
    if (terminate) host::TerminateOrRaise(data, length);
    host::HandleLock lock(data);
    Rc4State state;
    ScopedWipe wipeState(state);  // the permutation gives the key stream away
    Rc4Setup(key, keyLength, state);
    Rc4Crypt(lock.data(), length, state);
    host::ReturnValue(host::TextValue('C', data, length));
}

void Run(abi::ParamBlock* params, bool encrypt) {
    const Arguments args(params);
    LibraryObjects& objects = Objects();
    CipherSettings& settings = objects.settings;
    settings.Reset();
    settings.Fill(args, kType);

    host::HandleLock key(args.Handle(kKey));
    const std::int32_t keyLength = args.Length(kKey);
    if (settings.IsRc4()) {
        Rc4InPlace(args, key.data(), keyLength, encrypt);
        return;
    }

    IBlockCipher& cipher = InitializeBlockCipher(objects, args, key.data(), keyLength, kIv);
    const ClearAfterCall forget(cipher);
    const abi::MemHandle data = args.Handle(kData);
    const std::int32_t length = args.Length(kData);
    std::int32_t total = length;
    const std::int32_t block = cipher.BlockSize();
    if (encrypt && length % block != 0) {
        // Within a block of the largest length a value can have, the padded
        // length no longer fits the value's length field: no handle grows that far.
        const std::int64_t padded = std::int64_t{length} + (block - length % block);
        if (padded > INT32_MAX) host::RaiseError(abi::kErrorCannotGrow);
        total = static_cast<std::int32_t>(padded);
        host::ResizeOrRaise(data, static_cast<std::size_t>(total));
    }
    // The value works in place, as RC4's does: the argument is the call's own
    // copy (the padding above already grows it), and a second handle of the
    // value's size would cost the host fresh, zero-filled pages and the
    // cipher a pass over them.
    host::HandleLock in(data);
    if (total != length) cipher.Pad(in.data(), length);
    if (encrypt) {
        cipher.Encrypt(in.data(), in.data(), total);
    } else {
        cipher.Decrypt(in.data(), in.data(), total);
    }
    host::ReturnValue(host::TextValue('C', data, total));
}

}  // namespace

void MG_FASTCALL ENCRYPT(abi::ParamBlock* params) { Run(params, true); }
void MG_FASTCALL DECRYPT(abi::ParamBlock* params) { Run(params, false); }

}  // namespace mg::functions
