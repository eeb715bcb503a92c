#include "kdf/argon2_memory.h"

#include <new>

#include "cpu/secure_wipe.h"

namespace mg {

CArgon2Memory::CArgon2Memory(std::size_t blocks) : m_iBlocks(blocks) {
    const std::size_t chunks = (blocks + kChunkBlocks - 1) / kChunkBlocks;
    m_chunks.reserve(chunks);
    for (std::size_t c = 0; c < chunks; ++c) {
        const std::size_t size = c + 1 < chunks ? kChunkBlocks : blocks - c * kChunkBlocks;
        // Not value-initialised: every block is written before it is read.
        Argon2Block* piece = new (std::nothrow) Argon2Block[size];
        if (piece == nullptr) throw std::bad_alloc();
        m_chunks.emplace_back(piece);
    }
}

CArgon2Memory::~CArgon2Memory() {
    for (std::size_t c = 0; c < m_chunks.size(); ++c) {
        const std::size_t size = c + 1 < m_chunks.size() ? kChunkBlocks : m_iBlocks - c * kChunkBlocks;
        SecureWipe(m_chunks[c].get(), size * sizeof(Argon2Block));
    }
}

}  // namespace mg
