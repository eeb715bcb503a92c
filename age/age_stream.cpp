#include "age/age_stream.h"

#include <cstring>
#include <memory>
#include <vector>

#include "age/age_error.h"
#include "age/age_header.h"
#include "cipher/chacha20_poly1305.h"
#include "cpu/secure_wipe.h"
#include "fileio/background_task.h"
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

void WriteOut(std::ostream& out, const unsigned char* data, std::size_t length) {
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

// Many chunks per read and per write: a call into the stream and a system
// call per 64 KiB cost more than sealing it. Each side has two buffers: a
// batch is written on a thread of its own while the next one is read and
// sealed (or opened) into the other, so a large file costs about the slower
// of the cipher and the kernel's copies, not both. The buffers hold
// plaintext and are wiped when done, after the writer has stopped.
constexpr std::size_t kBatch = 4;

struct Buffers {
    std::vector<unsigned char> plain[2] = {std::vector<unsigned char>(kBatch * CAgeStream::kChunk),
                                           std::vector<unsigned char>(kBatch * CAgeStream::kChunk)};
    std::vector<unsigned char> sealed[2] = {std::vector<unsigned char>(kBatch * kSealedChunk),
                                            std::vector<unsigned char>(kBatch * kSealedChunk)};
    ~Buffers() {
        for (auto* side : {plain, sealed})
            for (int i = 0; i < 2; ++i) SecureWipe(side[i].data(), side[i].size());
    }
};

// Writes batches in order behind the caller. A file of one batch is written
// at once, without a thread.
class CWriteBehind {
public:
    explicit CWriteBehind(std::ostream& out) : m_rOut(out) {}

    void Write(const unsigned char* data, std::size_t length, bool last) {
        if (last && m_pTask == nullptr) {
            WriteOut(m_rOut, data, length);
            return;
        }
        if (m_pTask == nullptr) m_pTask = std::make_unique<CBackgroundTask>();
        std::ostream& out = m_rOut;
        if (!m_pTask->Submit([&out, data, length] {
                out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(length));
                return static_cast<bool>(out);
            }))
            throw CAgeError(AgeFailure::kWrite);
    }

    // Waits for the last batch; the output is then the caller's again.
    void Finish() {
        if (m_pTask != nullptr && !m_pTask->Wait()) throw CAgeError(AgeFailure::kWrite);
    }

private:
    std::ostream& m_rOut;
    std::unique_ptr<CBackgroundTask> m_pTask;
};

}  // namespace

void CAgeStream::Seal(std::istream& in, std::ostream& out, const unsigned char* fileKey, const RandomFill& random) {
    unsigned char nonce[kNonceLength];
    random(nonce, sizeof nonce);
    WriteOut(out, nonce, sizeof nonce);
    unsigned char key[32];
    ScopedWipe wipeKey(key);
    PayloadKey(fileKey, nonce, key);
    const CChaCha20Poly1305 aead(key);
    Buffers b;
    CWriteBehind writer(out);
    unsigned char chunkNonce[CChaCha20Poly1305::kNonceLength];
    for (std::uint64_t counter = 0, side = 0;; side ^= 1) {
        std::vector<unsigned char>& plain = b.plain[side];
        std::vector<unsigned char>& sealedOut = b.sealed[side];
        const std::size_t got = ReadFull(in, plain.data(), plain.size());
        // A full chunk is the last one only when nothing follows it; an empty
        // chunk only ever stands for an empty file.
        const bool end = got < plain.size() || AtEnd(in);
        std::size_t sealed = 0;
        for (std::size_t at = 0;; at += kChunk, ++counter) {
            const std::size_t n = got - at < kChunk ? got - at : kChunk;
            const bool last = end && at + n == got;
            ChunkNonce(counter, last, chunkNonce);
            aead.Seal(chunkNonce, nullptr, 0, plain.data() + at, n, sealedOut.data() + sealed);
            sealed += n + kTag;
            if (last || at + n == got) {
                ++counter;
                break;
            }
        }
        writer.Write(sealedOut.data(), sealed, end);
        if (end) break;
    }
    writer.Finish();
}

void CAgeStream::Open(std::istream& in, std::ostream& out, const unsigned char* fileKey) {
    unsigned char nonce[kNonceLength];
    if (ReadFull(in, nonce, sizeof nonce) != sizeof nonce) throw CAgeError(AgeFailure::kNotAge);
    unsigned char key[32];
    ScopedWipe wipeKey(key);
    PayloadKey(fileKey, nonce, key);
    const CChaCha20Poly1305 aead(key);
    Buffers b;
    CWriteBehind writer(out);
    unsigned char chunkNonce[CChaCha20Poly1305::kNonceLength];
    for (std::uint64_t counter = 0, side = 0;; side ^= 1) {
        std::vector<unsigned char>& sealedIn = b.sealed[side];
        std::vector<unsigned char>& plain = b.plain[side];
        const std::size_t got = ReadFull(in, sealedIn.data(), sealedIn.size());
        const bool end = got < sealedIn.size() || AtEnd(in);
        std::size_t opened = 0;
        for (std::size_t at = 0;; at += kSealedChunk, ++counter) {
            const std::size_t n = got - at < kSealedChunk ? got - at : kSealedChunk;
            const bool last = end && at + n == got;
            if (n < kTag || (last && n == kTag && counter > 0)) throw CAgeError(AgeFailure::kDamaged);
            ChunkNonce(counter, last, chunkNonce);
            // The plaintext buffer is ours alone and wiped on failure.
            if (!aead.OpenInOnePass(chunkNonce, nullptr, 0, sealedIn.data() + at, n, plain.data() + opened))
                throw CAgeError(AgeFailure::kDamaged);
            opened += n - kTag;
            if (last || at + n == got) {
                ++counter;
                break;
            }
        }
        writer.Write(plain.data(), opened, end);
        if (end) break;
    }
    writer.Finish();
}

}  // namespace mg::age
