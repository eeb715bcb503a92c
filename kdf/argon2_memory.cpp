#include "kdf/argon2_memory.h"

#include <new>

#include "cpu/secure_wipe.h"

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace mg {
namespace {

#if defined(__linux__)
constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;

std::size_t WholePages(std::size_t bytes) {
    const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    return (bytes + page - 1) / page * page;
}

void* MapChunk(std::size_t bytes) {
    const std::size_t size = WholePages(bytes);
    // Room to cut an aligned piece out of; where even that much address space
    // is not to be had, the piece is taken unaligned.
    void* raw = mmap(nullptr, size + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) {
        raw = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        return raw == MAP_FAILED ? nullptr : raw;
    }
    const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t aligned = (start + kHugePage - 1) & ~(kHugePage - 1);
    if (aligned != start) munmap(raw, aligned - start);
    const std::uintptr_t end = start + size + kHugePage;
    if (end != aligned + size) munmap(reinterpret_cast<void*>(aligned + size), end - (aligned + size));
#if defined(MADV_HUGEPAGE)
    madvise(reinterpret_cast<void*>(aligned), size, MADV_HUGEPAGE);
#endif
    return reinterpret_cast<void*>(aligned);
}

void UnmapChunk(void* p, std::size_t bytes) { munmap(p, WholePages(bytes)); }
#endif

Argon2Block* AllocateChunk(std::size_t blocks) {
#if defined(__linux__)
    return static_cast<Argon2Block*>(MapChunk(blocks * sizeof(Argon2Block)));
#else
    // Not value-initialised: every block is written before it is read.
    return new (std::nothrow) Argon2Block[blocks];
#endif
}

void FreeChunk(Argon2Block* chunk, std::size_t blocks) {
#if defined(__linux__)
    UnmapChunk(chunk, blocks * sizeof(Argon2Block));
#else
    (void)blocks;
    delete[] chunk;
#endif
}

}  // namespace

CArgon2Memory::CArgon2Memory(std::size_t blocks) : m_iBlocks(blocks) {
    const std::size_t chunks = (blocks + kChunkBlocks - 1) / kChunkBlocks;
    m_chunks.reserve(chunks);
    for (std::size_t c = 0; c < chunks; ++c) {
        Argon2Block* piece = AllocateChunk(ChunkBlocks(c));
        if (piece == nullptr) {
            Release();
            throw std::bad_alloc();
        }
        m_chunks.push_back(piece);
    }
}

CArgon2Memory::~CArgon2Memory() { Release(); }

std::size_t CArgon2Memory::ChunkBlocks(std::size_t chunk) const {
    const std::size_t first = chunk * kChunkBlocks;
    return m_iBlocks - first < kChunkBlocks ? m_iBlocks - first : kChunkBlocks;
}

void CArgon2Memory::Release() noexcept {
    for (std::size_t c = 0; c < m_chunks.size(); ++c) {
        SecureWipe(m_chunks[c], ChunkBlocks(c) * sizeof(Argon2Block));
        FreeChunk(m_chunks[c], ChunkBlocks(c));
    }
    m_chunks.clear();
}

}  // namespace mg
