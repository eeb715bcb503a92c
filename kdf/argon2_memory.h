#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "kdf/argon2_kernels.h"

namespace mg {

// Argon2's memory, numbered block by block, held in chunks of at most
// kChunkBlocks blocks: a 32-bit process whose address space is cut up can
// still find the pieces where one run of a gigabyte or even 19 MiB is not to
// be had. The blocks are wiped when the memory is released.
//
// On Linux the chunks come straight from the kernel, aligned so that they
// can be backed by huge pages: one page fault per 2 MiB instead of one per
// 4 KiB, and no heap growing and shrinking again on every call, which cost
// more than the hashing of the default 19 MiB.
class CArgon2Memory {
public:
    static constexpr std::size_t kChunkShift = 11;  // 2 MiB chunks
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
    std::size_t ChunkBlocks(std::size_t chunk) const;
    void Release() noexcept;

    std::vector<Argon2Block*> m_chunks;
    std::size_t m_iBlocks;
};

}  // namespace mg
