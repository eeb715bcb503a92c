// Operating-system services the bridge needs, behind one small interface so
// that the bridge itself is the same on every platform.
#ifndef MG_HOST_PLATFORM_H
#define MG_HOST_PLATFORM_H

#include <cstddef>
#include <cstdint>

namespace mg::platform {

// Moveable, lockable memory blocks that sit behind memory handles. Blocks are
// zero-filled when allocated and on growth; the address is only stable while
// the block is locked, and locks nest.
using Block = std::uintptr_t;  // 0 is no block
Block BlockAlloc(std::size_t size);
Block BlockRealloc(Block block, std::size_t size);  // 0 on failure, block kept
void BlockFree(Block block);
void* BlockLock(Block block);
void BlockUnlock(Block block);

// Zero-filled memory from the process heap (thread contexts live there).
void* HeapAllocZeroed(std::size_t size);
void HeapFree(void* p);

// One thread-local slot holding a pointer per thread.
bool TlsCreate();  // false when no slot can be had
void TlsDestroy();
void* TlsGet();
void TlsSet(void* value);

// The global lock around the thread-context list.
void LockInit();
void LockDestroy();
void LockEnter();
void LockLeave();

// Fills `size` bytes from the operating system's secure generator.
bool SecureRandom(void* out, std::size_t size);

// The same generator's bytes for values that must never repeat but need not
// stay secret, such as nonces: on Linux they come from a per-process pool
// refilled from the system a page at a time (no bytes are handed out twice,
// not even to a child forked while the pool was full), since one system call
// per nonce would cost more than sealing a short value.
bool NonceRandom(void* out, std::size_t size);

}  // namespace mg::platform

#endif
