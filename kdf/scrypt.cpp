#include "kdf/scrypt.h"

#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <stdexcept>
#include <vector>

#include "cpu/secure_wipe.h"
#include "kdf/pbkdf2.h"

namespace mg {

namespace {

constexpr std::int32_t kSha256 = 2;
constexpr std::size_t kPieceBytes = std::size_t{1} << 20;

inline std::uint32_t Rotl(std::uint32_t v, int n) { return (v << n) | (v >> (32 - n)); }

void Salsa208(std::uint32_t* b) {
    std::uint32_t x[16];
    std::memcpy(x, b, sizeof x);
    for (int i = 0; i < 8; i += 2) {
        x[4] ^= Rotl(x[0] + x[12], 7);   x[8] ^= Rotl(x[4] + x[0], 9);
        x[12] ^= Rotl(x[8] + x[4], 13);  x[0] ^= Rotl(x[12] + x[8], 18);
        x[9] ^= Rotl(x[5] + x[1], 7);    x[13] ^= Rotl(x[9] + x[5], 9);
        x[1] ^= Rotl(x[13] + x[9], 13);  x[5] ^= Rotl(x[1] + x[13], 18);
        x[14] ^= Rotl(x[10] + x[6], 7);  x[2] ^= Rotl(x[14] + x[10], 9);
        x[6] ^= Rotl(x[2] + x[14], 13);  x[10] ^= Rotl(x[6] + x[2], 18);
        x[3] ^= Rotl(x[15] + x[11], 7);  x[7] ^= Rotl(x[3] + x[15], 9);
        x[11] ^= Rotl(x[7] + x[3], 13);  x[15] ^= Rotl(x[11] + x[7], 18);
        x[1] ^= Rotl(x[0] + x[3], 7);    x[2] ^= Rotl(x[1] + x[0], 9);
        x[3] ^= Rotl(x[2] + x[1], 13);   x[0] ^= Rotl(x[3] + x[2], 18);
        x[6] ^= Rotl(x[5] + x[4], 7);    x[7] ^= Rotl(x[6] + x[5], 9);
        x[4] ^= Rotl(x[7] + x[6], 13);   x[5] ^= Rotl(x[4] + x[7], 18);
        x[11] ^= Rotl(x[10] + x[9], 7);  x[8] ^= Rotl(x[11] + x[10], 9);
        x[9] ^= Rotl(x[8] + x[11], 13);  x[10] ^= Rotl(x[9] + x[8], 18);
        x[12] ^= Rotl(x[15] + x[14], 7); x[13] ^= Rotl(x[12] + x[15], 9);
        x[14] ^= Rotl(x[13] + x[12], 13); x[15] ^= Rotl(x[14] + x[13], 18);
    }
    for (int i = 0; i < 16; ++i) b[i] += x[i];
}

// in and out are 2r 64-byte blocks (32r words); they must not overlap.
void BlockMix(const std::uint32_t* in, std::uint32_t* out, std::uint32_t r) {
    std::uint32_t x[16];
    std::memcpy(x, in + (2 * r - 1) * 16, sizeof x);
    for (std::uint32_t i = 0; i < 2 * r; ++i) {
        for (int k = 0; k < 16; ++k) x[k] ^= in[i * 16 + k];
        Salsa208(x);
        // Even blocks to the first half, odd ones to the second.
        std::memcpy(out + ((i & 1) * r + i / 2) * 16, x, sizeof x);
    }
}

// The table, in pieces of whole entries.
class CTable {
public:
    CTable(std::size_t entries, std::size_t entryWords) : m_iEntryWords(entryWords) {
        std::size_t perPiece = kPieceBytes / (entryWords * 4);
        if (perPiece == 0) perPiece = 1;
        m_iPerPiece = perPiece;
        for (std::size_t done = 0; done < entries; done += perPiece) {
            const std::size_t count = entries - done < perPiece ? entries - done : perPiece;
            std::uint32_t* piece = new (std::nothrow) std::uint32_t[count * entryWords];
            if (piece == nullptr) throw std::bad_alloc();
            m_oPieces.emplace_back(piece, count * entryWords);
        }
    }
    ~CTable() {
        for (Piece& piece : m_oPieces) SecureWipe(piece.words.get(), piece.count * 4);
    }
    CTable(const CTable&) = delete;
    CTable& operator=(const CTable&) = delete;

    std::uint32_t* Entry(std::size_t i) { return m_oPieces[i / m_iPerPiece].words.get() + (i % m_iPerPiece) * m_iEntryWords; }

private:
    struct Piece {
        Piece(std::uint32_t* p, std::size_t n) : words(p), count(n) {}
        std::unique_ptr<std::uint32_t[]> words;
        std::size_t count;
    };
    std::size_t m_iEntryWords;
    std::size_t m_iPerPiece;
    std::vector<Piece> m_oPieces;
};

void RoMix(unsigned char* block, std::uint32_t r, std::size_t n, CTable& table) {
    const std::size_t words = 32 * static_cast<std::size_t>(r);
    std::vector<std::uint32_t> x(words), y(words);
    for (std::size_t k = 0; k < words; ++k) {
        const unsigned char* p = block + 4 * k;
        x[k] = p[0] | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[3]} << 24);
    }
    for (std::size_t i = 0; i < n; ++i) {
        std::memcpy(table.Entry(i), x.data(), words * 4);
        BlockMix(x.data(), y.data(), r);
        x.swap(y);
    }
    for (std::size_t i = 0; i < n; ++i) {
        // N is a power of two no larger than 2^31: the low word decides.
        const std::size_t j = x[(2 * r - 1) * 16] & (n - 1);
        const std::uint32_t* v = table.Entry(j);
        for (std::size_t k = 0; k < words; ++k) x[k] ^= v[k];
        BlockMix(x.data(), y.data(), r);
        x.swap(y);
    }
    for (std::size_t k = 0; k < words; ++k) {
        unsigned char* p = block + 4 * k;
        p[0] = static_cast<unsigned char>(x[k]);
        p[1] = static_cast<unsigned char>(x[k] >> 8);
        p[2] = static_cast<unsigned char>(x[k] >> 16);
        p[3] = static_cast<unsigned char>(x[k] >> 24);
    }
    SecureWipe(x.data(), words * 4);
    SecureWipe(y.data(), words * 4);
}

}  // namespace

void Scrypt(const unsigned char* password, std::size_t passwordLength, const unsigned char* salt,
            std::size_t saltLength, unsigned logN, std::uint32_t r, std::uint32_t p, unsigned char* out,
            std::size_t outLength) {
    if (logN < 1 || logN > 31 || r == 0 || p == 0 || std::uint64_t{r} * p >= (std::uint64_t{1} << 30))
        throw std::invalid_argument("scrypt parameters out of range");
    const std::uint64_t n = std::uint64_t{1} << logN;
    const std::uint64_t tableBytes = n * 128 * r;
    if (tableBytes > std::numeric_limits<std::size_t>::max() / 2 || logN >= sizeof(std::size_t) * 8)
        throw std::invalid_argument("scrypt table beyond the address space");

    const std::size_t blockBytes = 128 * static_cast<std::size_t>(r);
    std::vector<unsigned char> b(blockBytes * p);
    CTable table(static_cast<std::size_t>(n), blockBytes / 4);
    Pbkdf2(kSha256, password, passwordLength, salt, saltLength, 1, b.data(), b.size());
    for (std::uint32_t i = 0; i < p; ++i) RoMix(b.data() + i * blockBytes, r, static_cast<std::size_t>(n), table);
    Pbkdf2(kSha256, password, passwordLength, b.data(), b.size(), 1, out, outLength);
    SecureWipe(b.data(), b.size());
}

}  // namespace mg
