// The encrypted file of the block ciphers: a 32-byte header (the SHA-1 of the
// cipher's signature text, then zeros) and the ciphertext of the padded
// plaintext in 384-byte chunks, each chunk one Encrypt call. The three
// ciphers share this code; they differ only in their signature text and in
// how their own Encrypt carries the chain from one call to the next.
//
// Every non-empty plaintext ends with a count byte k (1..block size) that
// tells how many bytes to drop after decryption: a partial last block is
// padded up and its last byte set to the count; a plaintext of whole blocks
// gets one extra block of padding ending in the block size. Decryption finds
// the true final chunk by reading one chunk ahead, and drops nothing when the
// last byte is not a possible count, so no input can make it read outside the
// chunk.
#ifndef MG_CIPHER_FILE_CRYPT_H
#define MG_CIPHER_FILE_CRYPT_H

#include <cstdint>
#include <initializer_list>

#include "cipher/block_cipher.h"

namespace mg {

constexpr std::int32_t kFileHeaderLength = 32;
constexpr std::int32_t kFileChunkLength = 384;

// Writes the 20-byte SHA-1 of the signature text: tag, key store, then each
// number in decimal. The text counts as a zero-terminated string, so a key
// store with a zero byte cuts it there (files depend on this).
void WriteSignature(const char* tag, const unsigned char* keyStore, std::int32_t keyStoreLength,
                    std::initializer_list<std::int32_t> numbers, unsigned char* out);

// The initialised check is the caller's: it comes before everything else.
void EncryptCipherFile(IBlockCipher& cipher, const char* inFile, const char* outFile);
void DecryptCipherFile(IBlockCipher& cipher, const char* inFile, const char* outFile);

}  // namespace mg

#endif
