// The operating-system layer under the bridge: POSIX natively and under qemu-i386, Windows under Wine.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <set>
#include <string>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "host/platform.h"

namespace mg::platform {
namespace {

bool AllZero(const unsigned char* p, std::size_t n) {
    return std::all_of(p, p + n, [](unsigned char c) { return c == 0; });
}

struct BlockGuard {
    Block block;
    ~BlockGuard() { BlockFree(block); }
};

TEST(PlatformBlocks, ZeroFilledLockableAndNestedLocks) {
    BlockGuard b{BlockAlloc(4096)};
    ASSERT_NE(b.block, 0u);
    auto* first = static_cast<unsigned char*>(BlockLock(b.block));
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(AllZero(first, 4096));
    std::memset(first, 0xA5, 4096);
    auto* second = static_cast<unsigned char*>(BlockLock(b.block));
    EXPECT_EQ(second, first);
    BlockUnlock(b.block);
    BlockUnlock(b.block);
    auto* again = static_cast<unsigned char*>(BlockLock(b.block));
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again[0], 0xA5);
    EXPECT_EQ(again[4095], 0xA5);
    BlockUnlock(b.block);

    // A moveable block of no bytes is "discarded" on Windows and cannot be locked.
    BlockGuard empty{BlockAlloc(0)};
    ASSERT_NE(empty.block, 0u);
    EXPECT_NE(BlockLock(empty.block), nullptr);
    BlockUnlock(empty.block);
    EXPECT_EQ(BlockLock(0), nullptr);
}

TEST(PlatformBlocks, GrowthAfterAShrinkIsZeroNotOldBytes) {
    BlockGuard b{BlockAlloc(64)};
    auto* p = static_cast<unsigned char*>(BlockLock(b.block));
    std::memset(p, 0xFF, 64);
    BlockUnlock(b.block);

    ASSERT_EQ(BlockRealloc(b.block, 8), b.block) << "a moveable block keeps its handle";
    const Block grown = BlockRealloc(b.block, 100000);
    ASSERT_NE(grown, 0u);
    b.block = grown;
    p = static_cast<unsigned char*>(BlockLock(b.block));
    EXPECT_TRUE(AllZero(p + 8, 100000 - 8)) << "bytes cut off by the shrink came back";
    EXPECT_EQ(p[0], 0xFF);
    EXPECT_EQ(p[7], 0xFF);
    BlockUnlock(b.block);
    EXPECT_EQ(BlockRealloc(0, 10), 0u);
}

TEST(PlatformBlocks, FailedGrowthKeepsTheBlock) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's allocator aborts on impossible sizes instead of failing";
#else
    BlockGuard b{BlockAlloc(16)};
    std::memcpy(BlockLock(b.block), "0123456789abcdef", 16);
    BlockUnlock(b.block);
    // Half the address space can be had in a 32-bit process; this never can.
    EXPECT_EQ(BlockRealloc(b.block, std::numeric_limits<std::size_t>::max() - 4096), 0u);
    auto* p = static_cast<const char*>(BlockLock(b.block));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(std::memcmp(p, "0123456789abcdef", 16), 0);
    BlockUnlock(b.block);
#endif
}

TEST(PlatformHeap, ContextsComeZeroFilled) {
    void* p = HeapAllocZeroed(1000);
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(AllZero(static_cast<unsigned char*>(p), 1000));
    HeapFree(p);
    HeapFree(nullptr);
}

TEST(PlatformTls, PerThreadValuesAndAFreshSlotAfterReload) {
    ASSERT_TRUE(TlsCreate());
    ASSERT_TRUE(TlsCreate()) << "a second create keeps the slot it holds";
    int mine = 0;
    TlsSet(&mine);
    void* seenByOther = &mine;
    int theirs = 0;
    void* otherAfterSet = nullptr;
    std::thread other([&] {
        seenByOther = TlsGet();
        TlsSet(&theirs);
        otherAfterSet = TlsGet();
    });
    other.join();
    EXPECT_EQ(seenByOther, nullptr) << "a new thread starts with no value";
    EXPECT_EQ(otherAfterSet, &theirs);
    EXPECT_EQ(TlsGet(), &mine) << "another thread's value is its own";

    // An unload and a new load must not hand the old context pointer back.
    TlsDestroy();
    EXPECT_EQ(TlsGet(), nullptr);
    TlsSet(&mine);  // without a slot: ignored
    ASSERT_TRUE(TlsCreate());
    EXPECT_EQ(TlsGet(), nullptr);
    TlsDestroy();
}

TEST(PlatformLock, GuardsAgainstLostUpdates) {
    LockInit();
    long counter = 0;
    auto work = [&] {
        for (int i = 0; i < 20000; ++i) {
            LockEnter();
            // Read, maybe yield, write: without the lock increments get lost.
            const long seen = counter;
            if (i % 1000 == 0) std::this_thread::yield();
            counter = seen + 1;
            LockLeave();
        }
    };
    std::thread a(work), b(work);
    a.join();
    b.join();
    LockDestroy();
    EXPECT_EQ(counter, 40000);
}

TEST(PlatformRandom, FillsBuffersBeyondOneSystemCall) {
    EXPECT_TRUE(SecureRandom(nullptr, 0));
    // getrandom() hands out at most 32 MiB - 1 bytes per call on Linux.
    std::vector<unsigned char> a(33u << 20), b(4096);
    ASSERT_TRUE(SecureRandom(a.data(), a.size()));
    ASSERT_TRUE(SecureRandom(b.data(), b.size()));
    EXPECT_FALSE(AllZero(a.data() + a.size() - 4096, 4096)) << "the tail of a large request was left unfilled";
    EXPECT_FALSE(std::equal(b.begin(), b.end(), a.begin())) << "the same bytes twice";
}

// Nonces come from a pool on Linux: across several refills no draw repeats,
// and a child forked while the pool holds bytes does not hand out the bytes
// that its parent hands out next (which would repeat a nonce under the same
// key in two processes).
TEST(PlatformRandom, NoncesNeverRepeatAcrossRefillsOrAFork) {
    EXPECT_TRUE(NonceRandom(nullptr, 0));
    std::set<std::string> seen;
    const auto draw = [&seen](std::size_t n) {
        std::string nonce(n, '\0');
        EXPECT_TRUE(NonceRandom(nonce.data(), n));
        EXPECT_TRUE(seen.insert(nonce).second) << "a nonce came twice";
        return nonce;
    };
    for (int i = 0; i < 3000; ++i) draw(12);
    draw(4096);  // beyond the pool: straight from the system
    draw(12);
#ifndef _WIN32
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        char nonces[24] = {};
        const bool ok = NonceRandom(nonces, 12) && NonceRandom(nonces + 12, 12);
        const ssize_t written = write(fds[1], nonces, ok ? sizeof nonces : 0);
        _exit(written == static_cast<ssize_t>(sizeof nonces) ? 0 : 1);
    }
    close(fds[1]);
    const std::string parent = draw(12) + draw(12);
    std::string fromChild(24, '\0');
    std::size_t got = 0;
    while (got < fromChild.size()) {
        const ssize_t n = read(fds[0], fromChild.data() + got, fromChild.size() - got);
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_EQ(got, fromChild.size()) << "the child drew no nonces";
    EXPECT_NE(fromChild, parent) << "parent and child drew the same nonces";
    EXPECT_EQ(seen.count(fromChild.substr(0, 12)) + seen.count(fromChild.substr(12)), 0u)
        << "the child repeated one of the parent's nonces";
#endif
}

}  // namespace
}  // namespace mg::platform
