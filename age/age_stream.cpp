#include "age/age_stream.h"

#include <cstring>
#include <vector>

#include "age/age_error.h"
#include "age/age_header.h"
#include "cipher/chacha20_poly1305.h"
#include "cpu/secure_wipe.h"
#include "kdf/hkdf.h"

namespace mg::age {

namespace {

constexpr std::size_t kTag = CChaCha20Poly1305::kTagLength;
constexpr std::size_t kSealedChunk = CAgeStream::kChunk + kTag;

// As many bytes as the stream has, up to `length`.
std::size_t ReadFull(std::istream& in, unsigned char* data, std::size_t length) {
    in.read(reinterpret_cast<char*>(data), static_cast<std::streamsize>(length));
    if (in.bad()) throw CAgeError(AgeFailure::kRead);
    return static_cast<std::size_t>(in.gcount());
}

bool AtEnd(std::istream& in) {
    const bool end = in.peek() == std::char_traits<char>::eof();
    if (in.bad()) throw CAgeError(AgeFailure::kRead);
    return end;
}

void Write(std::ostream& out, const unsigned char* data, std::size_t length) {
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(length));
    if (!out) throw CAgeError(AgeFailure::kWrite);
}

void PayloadKey(const unsigned char* fileKey, const unsigned char* nonce, unsigned char* key) {
    static const unsigned char kInfo[] = {'p', 'a', 'y', 'l', 'o', 'a', 'd'};
    HkdfSha256(fileKey, CAgeHeader::kFileKeyLength, nonce, CAgeStream::kNonceLength, kInfo, sizeof kInfo, key, 32);
}

void ChunkNonce(std::uint64_t counter, bool last, unsigned char* nonce) {
    std::memset(nonce, 0, CChaCha20Poly1305::kNonceLength);
    for (int i = 0; i < 8; ++i) nonce[10 - i] = static_cast<unsigned char>(counter >> (8 * i));
    nonce[11] = last ? 1 : 0;
}

// Chunk buffers that are wiped when done: they hold plaintext.
struct Buffers {
    std::vector<unsigned char> plain = std::vector<unsigned char>(CAgeStream::kChunk);
    std::vector<unsigned char> sealed = std::vector<unsigned char>(kSealedChunk);
    ~Buffers() {
        SecureWipe(plain.data(), plain.size());
        SecureWipe(sealed.data(), sealed.size());
    }
};

}  // namespace

void CAgeStream::Seal(std::istream& in, std::ostream& out, const unsigned char* fileKey, const RandomFill& random) {
    unsigned char nonce[kNonceLength];
    random(nonce, sizeof nonce);
    Write(out, nonce, sizeof nonce);
    unsigned char key[32];
    ScopedWipe wipeKey(key);
    PayloadKey(fileKey, nonce, key);
    const CChaCha20Poly1305 aead(key);
    Buffers b;
    unsigned char chunkNonce[CChaCha20Poly1305::kNonceLength];
    for (std::uint64_t counter = 0;; ++counter) {
        const std::size_t n = ReadFull(in, b.plain.data(), kChunk);
        // A full chunk is the last one only when nothing follows it; an empty
        // chunk only ever stands for an empty file.
        const bool last = n < kChunk || AtEnd(in);
        ChunkNonce(counter, last, chunkNonce);
        aead.Seal(chunkNonce, nullptr, 0, b.plain.data(), n, b.sealed.data());
        Write(out, b.sealed.data(), n + kTag);
        if (last) break;
    }
}

void CAgeStream::Open(std::istream& in, std::ostream& out, const unsigned char* fileKey) {
    unsigned char nonce[kNonceLength];
    if (ReadFull(in, nonce, sizeof nonce) != sizeof nonce) throw CAgeError(AgeFailure::kNotAge);
    unsigned char key[32];
    ScopedWipe wipeKey(key);
    PayloadKey(fileKey, nonce, key);
    const CChaCha20Poly1305 aead(key);
    Buffers b;
    unsigned char chunkNonce[CChaCha20Poly1305::kNonceLength];
    for (std::uint64_t counter = 0;; ++counter) {
        const std::size_t n = ReadFull(in, b.sealed.data(), kSealedChunk);
        const bool last = n < kSealedChunk || AtEnd(in);
        if (n < kTag || (last && n == kTag && counter > 0)) throw CAgeError(AgeFailure::kDamaged);
        ChunkNonce(counter, last, chunkNonce);
        if (!aead.Open(chunkNonce, nullptr, 0, b.sealed.data(), n, b.plain.data()))
            throw CAgeError(AgeFailure::kDamaged);
        Write(out, b.plain.data(), n - kTag);
        if (last) return;
    }
}

}  // namespace mg::age
