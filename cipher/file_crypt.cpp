#include "cipher/file_crypt.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <istream>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>

#include "fileio/file_identity.h"
#include "fileio/file_streams.h"
#include "fileio/run_pipeline.h"
#include "cpu/secure_wipe.h"
#include "digest/sha.h"

namespace mg {

namespace {

// Padding never takes a chunk beyond 384 bytes: a count block that does not
// fit is written as a chunk of its own.
constexpr std::size_t kChunkBuffer = kFileChunkLength;
// Chunks per read and write: 261,888 bytes, a few system calls per MiB and
// still within the second-level cache while the cipher runs over it.
constexpr std::size_t kRunChunks = 682;

[[noreturn]] void Fail(const char* text, const char* name, const char* ending = "!") {
    throw std::runtime_error(std::string(text) + name + ending);
}

void RefuseSameFile(const char* inFile, const char* outFile) {
    if (std::strcmp(inFile, outFile) == 0 || SameExistingFile(inFile, outFile))
        Fail("FileCrypt ERROR: The same File for Input and Output ", inFile);
}

// Runs through fileio/run_pipeline.h with this format's messages; the last
// chunk of every run waits for the next, as the last chunk of the file carries
// the padding. Returns the tail (at its end, the last chunk) in `run`.
template <class Transform>
std::size_t StreamOrFail(CFileStreams& files, unsigned char* const (&buffers)[3], std::size_t capacity,
                         const char* inFile, const char* outFile, Transform transform, unsigned char*& run) {
    const RunTail tail = StreamRuns(files, buffers, capacity, kChunkBuffer, transform);
    if (tail.failure == RunFailure::kRead) Fail("FileCrypt ERROR: Cannot read File ", inFile);
    if (tail.failure == RunFailure::kWrite) Fail("FileCrypt ERROR: Cannot write File ", outFile);
    run = tail.data;
    return tail.length;
}

void WriteOrFail(CFileStreams& files, const unsigned char* data, std::int32_t length, const char* outFile) {
    if (!files.Write(data, length)) Fail("FileCrypt ERROR: Cannot write File ", outFile);
}

// The extra block after a plaintext of whole blocks: filler in the chosen
// padding mode, then the block size as the count.
void FillCountBlock(unsigned char* block, std::int32_t blockSize, std::int32_t padding) {
    const std::size_t filler = static_cast<std::size_t>(blockSize - 1);
    switch (padding) {
    case IBlockCipher::kPadSpaces:
        std::memset(block, 0x20, filler);
        break;
    case IBlockCipher::kPadCount:
        std::memset(block, blockSize, filler);
        break;
    case IBlockCipher::kPadRandomCount:
        // As Pad draws its filler: 255 never appears.
        std::srand(static_cast<unsigned>(std::time(nullptr)));
        for (std::size_t i = 0; i < filler; ++i) block[i] = static_cast<unsigned char>(std::rand() % 255);
        break;
    default:
        std::memset(block, 0, filler);
        break;
    }
    block[filler] = static_cast<unsigned char>(blockSize);
}

}  // namespace

void WriteSignature(const char* tag, const unsigned char* keyStore, std::int32_t keyStoreLength,
                    std::initializer_list<std::int32_t> numbers, unsigned char* out) {
    // Longest text: 8 tag bytes, a 56-byte key store, four numbers. It holds
    // the key, so it is wiped however this ends.
    char text[160];
    ScopedWipe wipeText(text);
    std::size_t length = std::min(std::strlen(tag), sizeof text);
    std::memcpy(text, tag, length);
    const std::size_t keyBytes = std::min(static_cast<std::size_t>(std::max(keyStoreLength, 0)), sizeof text - length);
    std::memcpy(text + length, keyStore, keyBytes);
    length += keyBytes;
    for (std::int32_t number : numbers) {
        const auto r = std::to_chars(text + length, text + sizeof text, number);
        if (r.ec != std::errc()) break;
        length = static_cast<std::size_t>(r.ptr - text);
    }
    const char* zero = static_cast<const char*>(std::memchr(text, 0, length));
    if (zero != nullptr) length = static_cast<std::size_t>(zero - text);

    CSHA sha1(0);
    sha1.AddData(reinterpret_cast<const unsigned char*>(text), static_cast<std::int32_t>(length));
    sha1.FinalDigest(out);
}

void EncryptCipherFile(IBlockCipher& cipher, const char* inFile, const char* outFile) {
    if (inFile == nullptr) inFile = "";
    if (outFile == nullptr) outFile = "";
    RefuseSameFile(inFile, outFile);
    CFileStreams files;
    if (!files.OpenInput(inFile)) Fail("FileCrypt ERROR: Cannot open File ", inFile);
    if (!files.OpenOutput(outFile)) Fail("FileCrypt ERROR: Cannot open File ", outFile);

    unsigned char header[kFileHeaderLength + 1] = {};
    cipher.GetSignature(header);
    WriteOrFail(files, header, kFileHeaderLength, outFile);
    cipher.ResetChain();

    const std::int32_t blockSize = cipher.BlockSize();
    // The plaintext is read, enciphered in place and written a run of chunks
    // at a time, one chunk more than a run read ahead so that the last chunk
    // is known before it is enciphered. The chunks are those of a
    // chunk-by-chunk loop, and so are the bytes: ECB has no chain, and the
    // chained modes still get one call per chunk (Blowfish restarts its chain
    // at every call). Room after the run for the padding of a last chunk.
    const std::size_t capacity = (kRunChunks + 1) * kChunkBuffer;
    const std::size_t room = capacity + kChunkBuffer;
    // Three runs: one read ahead, one enciphered, one written.
    std::unique_ptr<unsigned char[]> storage(new unsigned char[3 * room]);
    ScopedWipe wipeRuns(storage.get(), 3 * room);
    unsigned char* const buffers[3] = {storage.get(), storage.get() + room, storage.get() + 2 * room};
    unsigned char* run = nullptr;
    const bool oneCall = cipher.Mode() == IBlockCipher::kModeEcb;
    const std::size_t step = oneCall ? kRunChunks * kChunkBuffer : kChunkBuffer;
    auto encrypt = [&](unsigned char* p, std::size_t length, std::size_t by) {
        for (std::size_t at = 0; at < length; at += by) {
            const auto n = static_cast<std::int32_t>(std::min(by, length - at));
            cipher.Encrypt(p + at, p + at, n);
        }
    };
    auto encryptAndWrite = [&](unsigned char* p, std::size_t length, std::size_t by) {
        encrypt(p, length, by);
        WriteOrFail(files, p, static_cast<std::int32_t>(length), outFile);
    };
    const std::size_t have = StreamOrFail(files, buffers, capacity, inFile, outFile,
                                          [&](unsigned char* p, std::size_t length) { encrypt(p, length, step); }, run);
    if (have > 0) {
        // Every chunk but the last, then the last (1 to 384 bytes) padded.
        const std::size_t whole = (have - 1) / kChunkBuffer * kChunkBuffer;
        if (whole > 0) encryptAndWrite(run, whole, step);
        unsigned char* chunk = run + whole;
        const auto count = static_cast<std::int32_t>(have - whole);
        const auto bs = static_cast<std::size_t>(blockSize);
        const std::int32_t padded = cipher.Pad(chunk, count);
        if (padded > count) {
            // Modes 0 and 1 have no count of their own: it replaces their last filler byte.
            chunk[padded - 1] = static_cast<unsigned char>(padded - count);
            encryptAndWrite(chunk, static_cast<std::size_t>(padded), kChunkBuffer);
        } else if (count + blockSize <= kFileChunkLength) {
            FillCountBlock(chunk + count, blockSize, cipher.Padding());
            encryptAndWrite(chunk, static_cast<std::size_t>(count) + bs, kChunkBuffer);
        } else {
            // A full final chunk: the count block is a chunk of its own.
            encryptAndWrite(chunk, static_cast<std::size_t>(count), kChunkBuffer);
            FillCountBlock(chunk, blockSize, cipher.Padding());
            encryptAndWrite(chunk, bs, kChunkBuffer);
        }
    }
    if (!files.CloseOutput()) Fail("FileCrypt ERROR: Cannot write File ", outFile);
}

void DecryptCipherFile(IBlockCipher& cipher, const char* inFile, const char* outFile) {
    if (inFile == nullptr) inFile = "";
    if (outFile == nullptr) outFile = "";
    RefuseSameFile(inFile, outFile);
    CFileStreams files;
    if (!files.OpenInput(inFile)) Fail("FileCrypt ERROR: Cannot open File ", inFile);

    // The header is checked before the output is opened, so that a wrong key
    // or setting never truncates an existing file. Missing header bytes of a
    // short file count as zero.
    unsigned char expected[kFileHeaderLength + 1] = {};
    cipher.GetSignature(expected);
    unsigned char header[kFileHeaderLength + 1] = {};
    files.Input().read(reinterpret_cast<char*>(header), kFileHeaderLength);
    if (files.Input().bad()) Fail("FileCrypt ERROR: Cannot read File ", inFile);
    if (std::memcmp(expected, header, kFileHeaderLength) != 0)
        Fail("FileCrypt ERROR: File ", inFile, " cannot be Correctly Decrypted!");

    if (!files.OpenOutput(outFile)) Fail("FileCrypt ERROR: Cannot open File ", outFile);
    cipher.ResetChain();

    const std::int32_t blockSize = cipher.BlockSize();
    // As the encryption: runs of whole chunks deciphered in place, one chunk
    // read ahead so that the last one, which carries the padding count, is
    // known. ECB takes a run in one call; the chained modes one call per
    // chunk, as the chunks were enciphered.
    const std::size_t capacity = (kRunChunks + 1) * kChunkBuffer;
    std::unique_ptr<unsigned char[]> storage(new unsigned char[3 * capacity]);
    ScopedWipe wipeRuns(storage.get(), 3 * capacity);
    unsigned char* const buffers[3] = {storage.get(), storage.get() + capacity, storage.get() + 2 * capacity};
    unsigned char* run = nullptr;
    const std::size_t step = cipher.Mode() == IBlockCipher::kModeEcb ? kRunChunks * kChunkBuffer : kChunkBuffer;
    auto decrypt = [&](unsigned char* p, std::size_t length) {
        for (std::size_t at = 0; at < length; at += step) {
            const auto n = static_cast<std::int32_t>(std::min(step, length - at));
            cipher.Decrypt(p + at, p + at, n);
        }
    };
    const std::size_t have = StreamOrFail(files, buffers, capacity, inFile, outFile, decrypt, run);
    if (have > 0) {
        const std::size_t whole = (have - 1) / kChunkBuffer * kChunkBuffer;
        if (whole > 0) {
            decrypt(run, whole);
            WriteOrFail(files, run, static_cast<std::int32_t>(whole), outFile);
        }
        unsigned char* last = run + whole;
        auto count = static_cast<std::int32_t>(have - whole);
        cipher.Decrypt(last, last, count);
        // Decrypt accepted count, so it holds at least one block and k fits.
        const std::int32_t k = last[count - 1];
        if (k >= 1 && k <= blockSize) count -= k;
        WriteOrFail(files, last, count, outFile);
    }
    if (!files.CloseOutput()) Fail("FileCrypt ERROR: Cannot write File ", outFile);
}

}  // namespace mg
