#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "kdf/argon2_kernels.h"

namespace mg {

// Argon2's memory, numbered block by block, held in chunks of at most
// kChunkBlocks blocks: a 32-bit process whose address space is cut up can
// still find the pieces where one run of a gigabyte or even 19 MiB is not to
// be had. The blocks are wiped when the memory is released.
class CArgon2Memory {
public:
    static constexpr std::size_t kChunkShift = 10;  // 1 MiB chunks
    static constexpr std::size_t kChunkBlocks = std::size_t{1} << kChunkShift;

    // Throws std::bad_alloc when any piece cannot be had; what was taken by
    // then is given back.
    explicit CArgon2Memory(std::size_t blocks);
    ~CArgon2Memory();
    CArgon2Memory(const CArgon2Memory&) = delete;
    CArgon2Memory& operator=(const CArgon2Memory&) = delete;

    Argon2Block& operator[](std::size_t index) {
        return m_chunks[index >> kChunkShift][index & (kChunkBlocks - 1)];
    }
    std::size_t Blocks() const { return m_iBlocks; }

private:
    std::vector<std::unique_ptr<Argon2Block[]>> m_chunks;
    std::size_t m_iBlocks;
};

}  // namespace mg
