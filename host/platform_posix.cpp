#include "host/platform.h"

#include <pthread.h>
#include <sys/mman.h>
#include <sys/random.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>

#include "cpu/secure_wipe.h"

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

// Nonce bytes drawn from the system a page at a time. Each byte goes out
// once and is wiped as it goes. The page is wiped for a forked child by the
// kernel where it can (MADV_WIPEONFORK, Linux 4.14 on), so the child finds
// the pool empty and draws its own; elsewhere the pool remembers the process
// that filled it and a child refills before its first nonce.
class NoncePool {
public:
    NoncePool() = default;
    NoncePool(const NoncePool&) = delete;
    NoncePool& operator=(const NoncePool&) = delete;

    ~NoncePool()
    {
        if (m_page == nullptr) return;
        SecureWipe(m_page, sizeof(Page));
        munmap(m_page, sizeof(Page));
    }

    bool Take(unsigned char* out, std::size_t size)
    {
        pthread_mutex_lock(&m_lock);
        const bool ok = TakeLocked(out, size);
        pthread_mutex_unlock(&m_lock);
        return ok;
    }

    // Requests larger than this go to the system directly.
    static constexpr std::size_t kLargest = 256;

private:
    static constexpr std::size_t kPageSize = 4096;
    struct Page {
        std::uint32_t filled;  // 0 in a new page and in a child's wiped copy
        pid_t owner;
        std::size_t next;
        unsigned char bytes[kPageSize - 4 * sizeof(std::size_t)];
    };
    static_assert(sizeof(Page) <= kPageSize);

    bool TakeLocked(unsigned char* out, std::size_t size)
    {
        if (m_page == nullptr) {
            void* page = mmap(nullptr, sizeof(Page), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            if (page == MAP_FAILED) return SecureRandom(out, size);
#ifdef MADV_WIPEONFORK
            m_bWipeOnFork = madvise(page, sizeof(Page), MADV_WIPEONFORK) == 0;
#endif
            m_page = static_cast<Page*>(page);
        }
        Page& p = *m_page;
        const bool stale = p.filled == 0 || (!m_bWipeOnFork && p.owner != getpid());
        if (stale || sizeof p.bytes - p.next < size) {
            p.filled = 0;
            if (!SecureRandom(p.bytes, sizeof p.bytes)) return false;
            p.next = 0;
            p.owner = getpid();
            p.filled = 1;
        }
        std::memcpy(out, p.bytes + p.next, size);
        SecureWipe(p.bytes + p.next, size);
        p.next += size;
        return true;
    }

    Page* m_page = nullptr;
    bool m_bWipeOnFork = false;
    pthread_mutex_t m_lock = PTHREAD_MUTEX_INITIALIZER;
};

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

bool NonceRandom(void* out, std::size_t size) {
    if (size == 0) return true;
    if (size > NoncePool::kLargest) return SecureRandom(out, size);
    static NoncePool pool;
    return pool.Take(static_cast<unsigned char*>(out), size);
}

}  // namespace mg::platform
