// The RC4 file form: no header, no padding, the output exactly as long as the
// input. The file is cut into chunks of at most 384 bytes and every chunk
// consumes 385 keystream bytes, of which only the first ones it needs are
// applied; files already written this way must keep decrypting, so the odd
// stride stays. Encryption and decryption are the same operation.
#ifndef MG_CIPHER_RC4_FILE_H
#define MG_CIPHER_RC4_FILE_H

namespace mg {

// keyText ends at its first zero byte; an empty key is refused before any
// file is opened. Names that lead to one file are refused before either is
// opened. Failures throw std::runtime_error.
void Rc4EncryptFile(const char* inFile, const char* outFile, const char* keyText);
void Rc4DecryptFile(const char* inFile, const char* outFile, const char* keyText);

}  // namespace mg

#endif
