#include "functions/encrypt_file.h"

#include "cipher/rc4_file.h"
#include "cpu/secure_wipe.h"
#include "functions/cipher_setup.h"
#include "host/handle_lock.h"

namespace mg::functions {
namespace {

enum Position { kInFile = 1, kOutFile = 2, kKey = 3, kType = 4, kIv = 9 };

// The file layer wants zero-terminated names; they are used as given, blanks
// included.
void TerminateName(const Arguments& args, int position) {
    host::TerminateOrRaise(args.Handle(position), args.Length(position));
}

const char* Text(const host::HandleLock& lock) { return reinterpret_cast<const char*>(lock.data()); }

void Run(abi::ParamBlock* params, bool encrypt) {
    const Arguments args(params);
    LibraryObjects& objects = Objects();
    CipherSettings& settings = objects.settings;
    settings.Reset();
    // Before anything is locked: a name that cannot grow ends the call here.
    TerminateName(args, kInFile);
    TerminateName(args, kOutFile);

    host::HandleLock inName(args.Handle(kInFile));
    host::HandleLock outName(args.Handle(kOutFile));
    host::HandleLock key(args.Handle(kKey));
    settings.Fill(args, kType);

    if (settings.IsRc4()) {
        // The RC4 file routines take the key as a text, ending at its first
        // zero byte; only 256 bytes of it can matter to the key schedule.
        char keyText[257] = {};
        ScopedWipe wipeKeyText(keyText);
        const unsigned char* bytes = key.data();
        const std::int32_t length = args.Length(kKey);
        for (std::int32_t i = 0; bytes != nullptr && i < length && i < 256 && bytes[i] != 0; ++i)
            keyText[i] = static_cast<char>(bytes[i]);
        if (encrypt) {
            Rc4EncryptFile(Text(inName), Text(outName), keyText);
        } else {
            Rc4DecryptFile(Text(inName), Text(outName), keyText);
        }
        return;
    }

    IBlockCipher& cipher = InitializeBlockCipher(objects, args, key.data(), args.Length(kKey), kIv);
    const ClearAfterCall forget(cipher);
    if (encrypt) {
        cipher.EncryptFile(Text(inName), Text(outName));
    } else {
        cipher.DecryptFile(Text(inName), Text(outName));
    }
}

}  // namespace

void MG_FASTCALL ENCRYPTFILE(abi::ParamBlock* params) { Run(params, true); }
void MG_FASTCALL DECRYPTFILE(abi::ParamBlock* params) { Run(params, false); }

}  // namespace mg::functions
