#include "cipher/rc4_file.h"

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>

#include "fileio/double_buffering.h"
#include "fileio/file_identity.h"
#include "fileio/file_streams.h"
#include "cipher/rc4.h"
#include "cpu/secure_wipe.h"

namespace mg {

namespace {

constexpr std::int32_t kReaderSize = 1024;
constexpr std::int32_t kChunkLength = 384;
// The keystream stride of the format: one more than the chunk.
constexpr std::int32_t kKeystreamPerChunk = kChunkLength + 1;

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

    unsigned char buffer[kReaderSize];
    unsigned char chunk[kKeystreamPerChunk] = {};
    CDoubleBuffering reader(files.Input(), buffer, kReaderSize, kChunkLength);
    Rc4State state;
    // The state gives the key stream away, and the chunk's unused tail holds
    // key stream bytes.
    ScopedWipe wipeState(state);
    ScopedWipe wipeChunk(chunk);
    Rc4Setup(reinterpret_cast<const unsigned char*>(keyText), keyLength, state);
    for (;;) {
        const std::int32_t count = reader.GetData(chunk, -1);
        if (reader.ReadFailed()) Fail("Unable to read input file ", inFile);
        if (count <= 0) break;
        Rc4Crypt(chunk, kKeystreamPerChunk, state);
        if (!files.Write(chunk, count)) Fail("Unable to write output file ", outFile);
    }
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
