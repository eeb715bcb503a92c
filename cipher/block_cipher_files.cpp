// Signature and file operations of the block ciphers: one implementation
// (cipher/file_crypt.h); each cipher adds its signature text, and its own
// Encrypt decides how the chain runs from chunk to chunk.
#include "cipher/blowfish.h"
#include "cipher/file_crypt.h"
#include "cipher/rijndael.h"
#include "cipher/tea.h"

namespace mg {

void IBlockCipher::EncryptFile(const char* inFile, const char* outFile) {
    CheckInitialized();
    EncryptCipherFile(*this, inFile, outFile);
}

void IBlockCipher::DecryptFile(const char* inFile, const char* outFile) {
    CheckInitialized();
    DecryptCipherFile(*this, inFile, outFile);
}

void CRijndael::GetSignature(unsigned char* out) {
    WriteSignature("RIJNDAEL", m_acKeyStore, m_iKeySize, {m_iBlockSize, m_iKeySize, m_iMode, m_iPadding}, out);
}

void CBlowfish::GetSignature(unsigned char* out) {
    WriteSignature("BLOWFISH", m_acKeyStore, kKeyStoreSize, {m_iMode, m_iPadding}, out);
}

void CTea::GetSignature(unsigned char* out) {
    WriteSignature("TEA", m_acKeyStore, kKeyStoreSize, {m_iMode, m_iPadding}, out);
}

}  // namespace mg
