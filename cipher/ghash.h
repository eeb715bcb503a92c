// GHASH, the authenticator of GCM (NIST SP 800-38D), in portable code whose
// time depends on the lengths only: the carry-less products come from integer
// multiplications of operands with holes between their bits, so no table is
// indexed by the key or the data.
#ifndef MG_CIPHER_GHASH_H
#define MG_CIPHER_GHASH_H

#include <cstddef>
#include <cstdint>

namespace mg {

class CGhash {
public:
    CGhash() = default;
    ~CGhash();
    CGhash(const CGhash&) = delete;
    CGhash& operator=(const CGhash&) = delete;

    // h: the hash key, E_K(0^128). Starts a new digest.
    void SetKey(const unsigned char* h);
    void Reset();
    // Absorbs len bytes. A final partial block is padded with zeros, so only
    // the last call for the associated data and for the text may end mid-block.
    void Update(const unsigned char* data, std::size_t len);
    // The closing block: both lengths in bytes, hashed as bit counts.
    void AddLengths(std::uint64_t aadBytes, std::uint64_t textBytes);
    void Digest(unsigned char* out) const;
    void Clear();

private:
    void AddBlock(std::uint64_t hi, std::uint64_t lo);

    // Big-endian halves of the 128-bit values: bit 127 - i is the coefficient of x^i.
    std::uint64_t m_auH[2] = {};
    std::uint64_t m_auY[2] = {};
};

}  // namespace mg

#endif
