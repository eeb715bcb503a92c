#include "cipher/chacha20_poly1305.h"

#include <cstdint>
#include <cstring>

#include "cipher/chacha20.h"
#include "cipher/poly1305.h"
#include "cpu/secure_wipe.h"

namespace mg {

namespace {

void StoreLe64(unsigned char* p, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

void PadTo16(CPoly1305& mac, std::size_t length) {
    static const unsigned char zeros[16] = {};
    if (length % 16 != 0) mac.Update(zeros, 16 - length % 16);
}

// Each 16 KiB slice is authenticated right after it is encrypted, or right
// before it is decrypted, while it is still in the first-level cache (16 KiB
// in, 16 KiB out).
constexpr std::size_t kSlice = 16384;

}  // namespace

CChaCha20Poly1305::CChaCha20Poly1305(const unsigned char* key) { std::memcpy(m_aKey, key, kKeyLength); }

CChaCha20Poly1305::~CChaCha20Poly1305() { SecureWipeObject(m_aKey); }

void CChaCha20Poly1305::Pass(const unsigned char* nonce, const unsigned char* aad, std::size_t aadLength,
                             const unsigned char* in, std::size_t length, unsigned char* out, Direction direction,
                             unsigned char* tag) const {
    // The one-time key is the first half of keystream block 0; the data
    // starts at counter 1.
    CChaCha20 stream(m_aKey, nonce, 0);
    unsigned char block[CChaCha20::kBlockLength];
    ScopedWipe wipeBlock(block);
    stream.NextBlock(block);
    CPoly1305 mac(block);
    mac.Update(aad, aadLength);
    PadTo16(mac, aadLength);
    for (std::size_t done = 0; done < length;) {
        const std::size_t n = length - done < kSlice ? length - done : kSlice;
        if (direction == Direction::kSeal) {
            stream.Crypt(in + done, out + done, n);
            mac.Update(out + done, n);
        } else {
            mac.Update(in + done, n);
            if (direction == Direction::kOpen) stream.Crypt(in + done, out + done, n);
        }
        done += n;
    }
    PadTo16(mac, length);
    unsigned char lengths[16];
    StoreLe64(lengths, aadLength);
    StoreLe64(lengths + 8, length);
    mac.Update(lengths, sizeof lengths);
    mac.Final(tag);
}

void CChaCha20Poly1305::Seal(const unsigned char* nonce, const unsigned char* aad, std::size_t aadLength,
                             const unsigned char* plain, std::size_t length, unsigned char* out) const {
    Pass(nonce, aad, aadLength, plain, length, out, Direction::kSeal, out + length);
}

bool CChaCha20Poly1305::Open(const unsigned char* nonce, const unsigned char* aad, std::size_t aadLength,
                             const unsigned char* sealed, std::size_t sealedLength, unsigned char* out) const {
    if (sealedLength < kTagLength) return false;
    const std::size_t length = sealedLength - kTagLength;
    unsigned char tag[kTagLength];
    Pass(nonce, aad, aadLength, sealed, length, nullptr, Direction::kMacOnly, tag);
    if (!TagsEqual(tag, sealed + length, kTagLength)) return false;
    CChaCha20(m_aKey, nonce, 1).Crypt(sealed, out, length);
    return true;
}

bool CChaCha20Poly1305::OpenInOnePass(const unsigned char* nonce, const unsigned char* aad, std::size_t aadLength,
                                      const unsigned char* sealed, std::size_t sealedLength, unsigned char* out) const {
    if (sealedLength < kTagLength) return false;
    const std::size_t length = sealedLength - kTagLength;
    unsigned char tag[kTagLength];
    Pass(nonce, aad, aadLength, sealed, length, out, Direction::kOpen, tag);
    if (TagsEqual(tag, sealed + length, kTagLength)) return true;
    SecureWipe(out, length);
    return false;
}

}  // namespace mg
