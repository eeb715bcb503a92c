#include "cipher/rc4_file.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <cstring>
#include <stdexcept>
#include <string>

#include "fileio/run_pipeline.h"
#include "fileio/file_identity.h"
#include "fileio/file_streams.h"
#include "cipher/rc4.h"
#include "cpu/secure_wipe.h"

namespace mg {

namespace {

constexpr std::size_t kChunkLength = 384;

// Only the first 256 key bytes take part in the key schedule.
std::int32_t KeyLength(const char* keyText) {
    std::int32_t n = 0;
    if (keyText != nullptr)
        while (n < 256 && keyText[n] != 0) ++n;
    return n;
}

[[noreturn]] void Fail(const char* text, const char* name) { throw std::runtime_error(std::string(text) + name + "!"); }

void CryptFile(const char* inFile, const char* outFile, const char* keyText) {
    if (inFile == nullptr) inFile = "";
    if (outFile == nullptr) outFile = "";
    const std::int32_t keyLength = KeyLength(keyText);
    if (keyLength == 0) throw std::runtime_error("FileCrypt ERROR: Key Data Length should be > 0!");
    if (std::strcmp(inFile, outFile) == 0 || SameExistingFile(inFile, outFile))
        Fail("Input and Output files cannot be the same ", inFile);

    CFileStreams files;
    if (!files.OpenInput(inFile)) Fail("Unable to open input file ", inFile);
    if (!files.OpenOutput(outFile)) Fail("Unable to open output file ", outFile);

    // Runs of whole chunks are read, enciphered in place and written at once,
    // the next read and the last written in the background while one is
    // enciphered (fileio/run_pipeline.h). Each chunk takes one key stream
    // byte more than it has (the format's stride); the byte is drawn and
    // dropped.
    constexpr std::size_t kRun = 682 * kChunkLength;
    std::unique_ptr<unsigned char[]> storage(new unsigned char[3 * kRun]);
    Rc4State state;
    // The state gives the key stream away, and so do the runs once
    // enciphered bytes were XORed into known plaintext.
    ScopedWipe wipeState(state);
    ScopedWipe wipeRuns(storage.get(), 3 * kRun);
    unsigned char* const buffers[3] = {storage.get(), storage.get() + kRun, storage.get() + 2 * kRun};
    Rc4Setup(reinterpret_cast<const unsigned char*>(keyText), keyLength, state);
    auto crypt = [&state](unsigned char* run, std::size_t length) {
        for (std::size_t at = 0; at < length; at += kChunkLength) {
            const auto n = static_cast<std::int32_t>(std::min<std::size_t>(kChunkLength, length - at));
            Rc4Crypt(run + at, n, state);
            unsigned char dropped = 0;
            Rc4Crypt(&dropped, 1, state);
        }
    };
    const RunTail tail = StreamRuns(files, buffers, kRun, 0, crypt);
    if (tail.failure == RunFailure::kRead) Fail("Unable to read input file ", inFile);
    if (tail.failure == RunFailure::kWrite) Fail("Unable to write output file ", outFile);
    crypt(tail.data, tail.length);
    if (!files.Write(tail.data, static_cast<std::int32_t>(tail.length))) Fail("Unable to write output file ", outFile);
    if (!files.CloseOutput()) Fail("Unable to write output file ", outFile);
}

}  // namespace

void Rc4EncryptFile(const char* inFile, const char* outFile, const char* keyText) {
    CryptFile(inFile, outFile, keyText);
}

void Rc4DecryptFile(const char* inFile, const char* outFile, const char* keyText) {
    CryptFile(inFile, outFile, keyText);
}

}  // namespace mg
