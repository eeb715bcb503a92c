// Signature and file operations of the block ciphers. They need SHA-1 and the
// chunked file reader, which are not in place yet; until then these refuse.
#include <stdexcept>

#include "cipher/blowfish.h"
#include "cipher/rijndael.h"
#include "cipher/tea.h"

namespace mg {

void CRijndael::GetSignature(unsigned char*) { throw std::runtime_error("not yet built"); }
void CRijndael::EncryptFile(const char*, const char*) { throw std::runtime_error("not yet built"); }
void CRijndael::DecryptFile(const char*, const char*) { throw std::runtime_error("not yet built"); }

void CBlowfish::GetSignature(unsigned char*) { throw std::runtime_error("not yet built"); }
void CBlowfish::EncryptFile(const char*, const char*) { throw std::runtime_error("not yet built"); }
void CBlowfish::DecryptFile(const char*, const char*) { throw std::runtime_error("not yet built"); }

void CTea::GetSignature(unsigned char*) { throw std::runtime_error("not yet built"); }
void CTea::EncryptFile(const char*, const char*) { throw std::runtime_error("not yet built"); }
void CTea::DecryptFile(const char*, const char*) { throw std::runtime_error("not yet built"); }

}  // namespace mg
