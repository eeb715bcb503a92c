#include "host/platform.h"

#include <pthread.h>
#include <sys/mman.h>
#include <sys/random.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>

namespace mg::platform {
namespace {

// A block keeps a fixed header so that the handle table entry stays the same
// while the data behind it moves on growth, as a moveable block does.
struct BlockHeader {
    std::size_t size;
    unsigned locks;
    unsigned char* data;
};

BlockHeader* Header(Block block) { return reinterpret_cast<BlockHeader*>(block); }

// A large value's handle is filled at once (a copy in, a result out), and on
// fresh 4 KiB pages the kernel's page faults cost several times the copy
// itself. Large blocks come from fresh mappings that are still untouched, so
// asking for huge pages over their aligned interior makes the kernel fault
// them in 2 MiB at a time. Only a hint: where huge pages are off it does
// nothing.
constexpr std::size_t kHugePage = std::size_t{2} << 20;
constexpr std::size_t kHugeHintFrom = 4 * kHugePage;

void HintHugePages(unsigned char* data, std::size_t from, std::size_t to) {
#ifdef MADV_HUGEPAGE
    if (to - from < kHugeHintFrom) return;
    const auto begin = (reinterpret_cast<std::uintptr_t>(data + from) + kHugePage - 1) & ~(kHugePage - 1);
    const auto end = reinterpret_cast<std::uintptr_t>(data + to) & ~(kHugePage - 1);
    if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)data;
    (void)from;
    (void)to;
#endif
}

pthread_key_t g_tlsKey;
bool g_tlsCreated = false;
pthread_mutex_t g_lock = PTHREAD_MUTEX_INITIALIZER;

}  // namespace

Block BlockAlloc(std::size_t size) {
    auto* header = static_cast<BlockHeader*>(std::calloc(1, sizeof(BlockHeader)));
    if (header == nullptr) return 0;
    // calloc(0) may return null; keep one byte so a valid block always has data.
    header->data = static_cast<unsigned char*>(std::calloc(size == 0 ? 1 : size, 1));
    if (header->data == nullptr) {
        std::free(header);
        return 0;
    }
    HintHugePages(header->data, 0, size);
    header->size = size;
    return reinterpret_cast<Block>(header);
}

Block BlockRealloc(Block block, std::size_t size) {
    BlockHeader* header = Header(block);
    if (header == nullptr) return 0;
    auto* data = static_cast<unsigned char*>(std::realloc(header->data, size == 0 ? 1 : size));
    if (data == nullptr) return 0;
    if (size > header->size) {
        HintHugePages(data, header->size, size);
        std::memset(data + header->size, 0, size - header->size);
    }
    header->data = data;
    header->size = size;
    return block;
}

void BlockFree(Block block) {
    BlockHeader* header = Header(block);
    if (header == nullptr) return;
    std::free(header->data);
    std::free(header);
}

void* BlockLock(Block block) {
    BlockHeader* header = Header(block);
    if (header == nullptr) return nullptr;
    ++header->locks;
    return header->data;
}

void BlockUnlock(Block block) {
    BlockHeader* header = Header(block);
    if (header != nullptr && header->locks > 0) --header->locks;
}

void* HeapAllocZeroed(std::size_t size) { return std::calloc(1, size); }
void HeapFree(void* p) { std::free(p); }

bool TlsCreate() {
    if (g_tlsCreated) return true;
    g_tlsCreated = pthread_key_create(&g_tlsKey, nullptr) == 0;
    return g_tlsCreated;
}

void TlsDestroy() {
    if (!g_tlsCreated) return;
    pthread_key_delete(g_tlsKey);
    g_tlsCreated = false;
}

void* TlsGet() { return g_tlsCreated ? pthread_getspecific(g_tlsKey) : nullptr; }
void TlsSet(void* value) {
    if (g_tlsCreated) pthread_setspecific(g_tlsKey, value);
}

void LockInit() { pthread_mutex_init(&g_lock, nullptr); }
void LockDestroy() { pthread_mutex_destroy(&g_lock); }
void LockEnter() { pthread_mutex_lock(&g_lock); }
void LockLeave() { pthread_mutex_unlock(&g_lock); }

bool SecureRandom(void* out, std::size_t size) {
    auto* p = static_cast<unsigned char*>(out);
    while (size > 0) {
        ssize_t got = getrandom(p, size, 0);
        if (got < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += got;
        size -= static_cast<std::size_t>(got);
    }
    return true;
}

}  // namespace mg::platform
