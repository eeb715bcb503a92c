#include "functions/cipher_setup.h"

#include <algorithm>
#include <cstring>

#include "cpu/secure_wipe.h"
#include "host/handle_lock.h"

namespace mg::functions {

IBlockCipher& InitializeBlockCipher(LibraryObjects& objects, const Arguments& args, const unsigned char* key,
                                    std::int32_t keyLength, int ivAt) {
    const CipherSettings& s = objects.settings;
    // The IV is taken into a block-sized copy rather than by resizing the
    // caller's handle: the bytes used are the same, and nothing can fail.
    unsigned char iv[IBlockCipher::kMaxBlockSize] = {};
    ScopedWipe wipeIv(iv);
    if (args.Given(ivAt)) {
        host::HandleLock lock(args.Handle(ivAt));
        const unsigned char* bytes = lock.data();
        const std::int32_t n = std::min<std::int32_t>(std::max<std::int32_t>(args.Length(ivAt), 0), s.blockSize);
        if (bytes != nullptr && n > 0) std::memcpy(iv, bytes, static_cast<std::size_t>(n));
    }

    if (s.IsBlowfish()) {
        std::uint32_t words[2] = {
            std::uint32_t(iv[0]) << 24 | std::uint32_t(iv[1]) << 16 | std::uint32_t(iv[2]) << 8 | iv[3],
            std::uint32_t(iv[4]) << 24 | std::uint32_t(iv[5]) << 16 | std::uint32_t(iv[6]) << 8 | iv[7],
        };
        ScopedWipe wipeWords(words);
        objects.blowfish.Initialize(key, keyLength, words, s.mode, s.padding);
        return objects.blowfish;
    }
    if (s.IsTea()) {
        objects.tea.Initialize(key, keyLength, iv, s.mode, s.padding);
        return objects.tea;
    }
    objects.rijndael.Initialize(key, keyLength, iv, s.keySize, s.blockSize, s.mode, s.padding);
    return objects.rijndael;
}

}  // namespace mg::functions
