// The 64-bit block of Blowfish and TEA as the mode loop sees it: two 32-bit
// words read big-endian, so that IV bytes line up with data bytes.
#ifndef MG_CIPHER_WORD_PAIR_BLOCK_H
#define MG_CIPHER_WORD_PAIR_BLOCK_H

#include <cstddef>
#include <cstdint>

#include "cipher/byte_order.h"

namespace mg {

// Base of a one-block-at-a-time engine; the derived engine adds Encipher and
// Decipher on Block.
class WordPairBlocks {
public:
    struct Block {
        std::uint32_t l, r;
    };
    static constexpr bool kBatched = false;

    std::size_t BlockBytes() const { return 8; }
    Block Load(const unsigned char* p) const { return {LoadBe32(p), LoadBe32(p + 4)}; }
    void Store(unsigned char* p, const Block& b) const
    {
        StoreBe32(p, b.l);
        StoreBe32(p + 4, b.r);
    }
    Block Xor(const Block& a, const Block& b) const { return {a.l ^ b.l, a.r ^ b.r}; }
};

}  // namespace mg

#endif
