// Rijndael on the AES instructions: AES-NI on 128-bit registers (tier 1),
// VAES on 256-bit registers with AVX2 (tier 2: processors without AVX-512)
// and VAES on 512-bit registers (tier 3), for all three block sizes.
//
// An AES round instruction does ShiftRows of a 4-column state, SubBytes,
// MixColumns and the round key. A 6- or 8-column block lives in two
// registers, and before each round a blend and a byte shuffle per register
// move every byte to where the 4-column ShiftRows picks up what the wider
// ShiftRows would have put there; SubBytes and MixColumns do not care which
// register a column is in. A 24-byte block keeps columns 0-3 in the first
// register and 4, 5, 0, 1 in the second: with the two copies of columns 0 and
// 1 each register finds all of its bytes in distinct positions (one blend and
// one shuffle suffice), and both copies stay equal through every round since
// the round key is laid out the same way.
#ifndef MG_CIPHER_RIJNDAEL_ACCEL_H
#define MG_CIPHER_RIJNDAEL_ACCEL_H

#include <cstddef>
#include <cstdint>

namespace mg::rijndael_accel {

// Round keys as the instructions read them: row r is the round key of round
// r in block byte order, two 16-byte halves in the register layout above.
// Decryption rows are those of the equivalent inverse cipher. No alignment is
// asked for: the kernels read the rows unaligned, and an over-aligned member
// would be a promise that hosts allocating with 8-byte alignment break.
struct Keys {
    unsigned char enc[15][32];
    unsigned char dec[15][32];
};

// Runs Encrypt or Decrypt of `count` blocks in `mode` (modes::Encrypt), with
// `chain` as the chain register.
using RunFn = void (*)(const Keys& keys, std::int32_t rounds, std::int32_t mode, unsigned char* chain,
                       const unsigned char* in, unsigned char* out, std::size_t count);

struct Kernels {
    RunFn encrypt;
    RunFn decrypt;
};

// The best kernels for blocks of blockSize bytes of a tier no higher than
// limit that this CPU runs, and that tier in *level; nullptr (and 0) when
// only the portable code qualifies.
const Kernels* Select(std::int32_t limit, std::int32_t blockSize, std::int32_t* level);

// Fills `keys` from the encryption schedule (big-endian column words, rows
// of 8); only for blocks whose kernels Select returned.
void LayOut(const std::uint32_t (*encWords)[8], std::int32_t rounds, std::int32_t blockSize, Keys& keys);

// Where each register's bytes come from before a round, as one blend (0x80:
// from the other register) and one byte shuffle per register. Derived from
// the ShiftRows offsets at compile time; `ok` says a layout was found.
struct WidePermutation {
    unsigned char shuffle[2][16];
    unsigned char blend[2][16];
    bool ok;
};

constexpr WidePermutation MakeWidePermutation(int nb, bool decrypt)
{
    // Register h, column slot c holds state column layout[h][c].
    const int layout[2][4] = {{0, 1, 2, 3}, {4, 5, nb == 8 ? 6 : 0, nb == 8 ? 7 : 1}};
    const int shift[4] = {0, 1, nb == 8 ? 3 : 2, nb == 8 ? 4 : 3};
    WidePermutation p{};
    p.ok = true;
    for (int h = 0; h < 2; ++h) {
        // For each byte position of the register the instruction reads, the
        // places (register, position) that hold the byte it needs.
        int candidates[16][2][2] = {};
        int count[16] = {};
        for (int q = 0; q < 4; ++q) {
            for (int r = 0; r < 4; ++r) {
                const int pos = 4 * q + r;
                // The instruction's own ShiftRows moves position (q, r) to column c.
                const int c = decrypt ? (q + r) % 4 : (q - r + 4) % 4;
                const int column = layout[h][c];
                const int source = decrypt ? (column - shift[r] + nb) % nb : (column + shift[r]) % nb;
                // The register itself first, so that the search keeps bytes home.
                for (int pass = 0; pass < 2; ++pass) {
                    const int hh = pass == 0 ? h : 1 - h;
                    for (int cc = 0; cc < 4; ++cc) {
                        if (layout[hh][cc] != source) continue;
                        candidates[pos][count[pos]][0] = hh;
                        candidates[pos][count[pos]][1] = 4 * cc + r;
                        ++count[pos];
                    }
                }
            }
        }
        // Depth-first search for a choice with distinct source positions.
        int choice[16] = {};
        int depth = 0;
        bool used[16] = {};
        while (depth >= 0 && depth < 16) {
            if (choice[depth] >= count[depth]) {
                choice[depth] = 0;
                --depth;
                if (depth >= 0) {
                    used[candidates[depth][choice[depth]][1]] = false;
                    ++choice[depth];
                }
                continue;
            }
            const int pos = candidates[depth][choice[depth]][1];
            if (used[pos]) {
                ++choice[depth];
                continue;
            }
            used[pos] = true;
            ++depth;
        }
        if (depth < 0) {
            p.ok = false;
            return p;
        }
        for (int pos = 0; pos < 16; ++pos) {
            const int hh = candidates[pos][choice[pos]][0];
            const int from = candidates[pos][choice[pos]][1];
            p.shuffle[h][pos] = static_cast<unsigned char>(from);
            p.blend[h][from] = hh == h ? 0x00 : 0x80;
        }
    }
    return p;
}

}  // namespace mg::rijndael_accel

#endif
