#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "kdf/argon2_kernels.h"

namespace mg {

// Argon2 (RFC 9106): the three variants, both versions, secret and
// associated data. Lanes are filled one after the other, slice by slice,
// which gives the same result as filling them in parallel.
class CArgon2 {
public:
    enum class Type : std::uint32_t { kD = 0, kI = 1, kId = 2 };
    static constexpr std::uint32_t kVersion10 = 0x10;
    static constexpr std::uint32_t kVersion13 = 0x13;

    struct Parameters {
        Type type = Type::kId;
        std::uint32_t version = kVersion13;
        std::uint32_t memoryKiB = 19456;
        std::uint32_t passes = 2;
        std::uint32_t lanes = 1;
    };

    struct Inputs {
        std::span<const unsigned char> password;
        std::span<const unsigned char> salt;
        std::span<const unsigned char> secret;
        std::span<const unsigned char> associatedData;
    };

    // Throws std::invalid_argument for parameters Argon2 does not define:
    // lanes 1..2^24-1, memory at least 8 KiB per lane, at least one pass,
    // version 0x10 or 0x13. `fill` picks a compression variant (tests and
    // benchmarks); by default the best this CPU allows.
    explicit CArgon2(const Parameters& parameters, Argon2FillFn fill = nullptr);

    // KiB actually used: the memory rounded down to whole segments.
    std::size_t MemoryBlocks() const { return m_iLaneLength * m_parameters.lanes; }

    // Writes tagLength (4 or more) bytes of tag. Throws std::invalid_argument
    // for a tag under 4 bytes or a salt under 8, std::bad_alloc when the
    // memory cannot be had. Every block, the pre-hash and the inputs' copies
    // are wiped before it returns or throws.
    void Hash(const Inputs& inputs, unsigned char* tag, std::size_t tagLength) const;

private:
    Parameters m_parameters;
    Argon2FillFn m_pFill;
    std::size_t m_iSegmentLength;
    std::size_t m_iLaneLength;
};

// Argon2's variable-length hash H' (RFC 9106, section 3.3).
void Argon2HPrime(unsigned char* out, std::size_t outLength, const unsigned char* in, std::size_t inLength);

}  // namespace mg
