// AES-GCM on the AES and carry-less multiplication instructions: counter-mode
// encryption and GHASH over several blocks per step, the hash of each group
// folded with one reduction (tier 1: AES-NI and PCLMULQDQ on 128-bit
// registers; tier 2: VAES and VPCLMULQDQ on 256-bit registers with AVX2;
// tier 3: the same on 512-bit registers).
#ifndef MG_CIPHER_GCM_ACCEL_H
#define MG_CIPHER_GCM_ACCEL_H

#include <cstddef>
#include <cstdint>

namespace mg::gcm_accel {

// AES round keys in block byte order, row r for round r: 11, 13 or 15 rows.
// A short call spends more on its key than on its data, so the kernels
// expand the key themselves into this compact form rather than through the
// general Rijndael object with its decryption keys and wide layouts.
using KeySchedule = unsigned char[15][16];

constexpr std::size_t kPowers = 32;

// Powers of the hash key in register form (the block's bytes reversed):
// row i is H^(kPowers - i), so that a group of n blocks finds its factors,
// first block first, in the last n rows. folded[i] holds the XOR of the two
// halves of powers[i] in both halves, the factor of the middle term of a
// three-multiplication (Karatsuba) product.
struct HashKey {
    unsigned char powers[kPowers][16];
    unsigned char folded[kPowers][16];
};

// The schedule of a 16-, 24- or 32-byte AES key.
using ExpandFn = void (*)(const unsigned char* key, std::size_t keyLength, KeySchedule& keys);

// Extends the powers in `hash`, of which the first `have` (H^1 .. H^have)
// are there, to `want` (at most kPowers), for the key whose AES round keys
// are `keys`. A message of n blocks, whichever of its text
// or associated data is longer, needs min(n, kPowers) powers.
using PrepareFn = void (*)(const KeySchedule& keys, std::int32_t rounds, HashKey& hash,
                           std::size_t have, std::size_t want);

// One whole GCM operation: j0 is the pre-counter block, aad the associated
// data; len bytes of `in` go to `out` (the same buffer or one clear of it),
// and the tag, E(j0) ^ GHASH, to `tag`. decrypt: the hash is of `in`.
using CryptFn = void (*)(const KeySchedule& keys, std::int32_t rounds, const HashKey& hash,
                         const unsigned char* j0, const unsigned char* aad, std::size_t aadLen,
                         const unsigned char* in, unsigned char* out, std::size_t len, bool decrypt,
                         unsigned char* tag);

struct Kernels {
    ExpandFn expand;
    PrepareFn prepare;
    CryptFn crypt;
};

// The best kernels of a tier no higher than limit that this CPU runs, and
// that tier in *level; nullptr (and 0) when only the portable code qualifies.
const Kernels* Select(std::int32_t limit, std::int32_t* level);

}  // namespace mg::gcm_accel

#endif
