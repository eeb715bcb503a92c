#include "host/platform.h"

// bcrypt.h needs the base types of windows.h first.
#include <windows.h>
#include <bcrypt.h>

#include <climits>

namespace mg::platform {
namespace {

// TLS_OUT_OF_INDEXES marks "no slot held", so a second load attempt or an
// unload after a failed load knows what it owns.
DWORD g_tlsIndex = TLS_OUT_OF_INDEXES;
CRITICAL_SECTION g_lock;

// A zero-byte moveable block is created discarded and cannot be locked, so
// every block keeps at least one byte.
SIZE_T BlockBytes(std::size_t size) { return size == 0 ? 1 : static_cast<SIZE_T>(size); }

HGLOBAL AsGlobal(Block block) { return reinterpret_cast<HGLOBAL>(block); }

}  // namespace

Block BlockAlloc(std::size_t size) {
    return reinterpret_cast<Block>(GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, BlockBytes(size)));
}

Block BlockRealloc(Block block, std::size_t size) {
    if (block == 0) return 0;
    // The handle of a moveable block survives the move, so the host's table
    // entry stays valid; on failure the old block is untouched.
    return reinterpret_cast<Block>(GlobalReAlloc(AsGlobal(block), BlockBytes(size), GMEM_MOVEABLE | GMEM_ZEROINIT));
}

void BlockFree(Block block) {
    if (block != 0) GlobalFree(AsGlobal(block));
}

void* BlockLock(Block block) { return block == 0 ? nullptr : GlobalLock(AsGlobal(block)); }

void BlockUnlock(Block block) {
    if (block != 0) GlobalUnlock(AsGlobal(block));
}

void* HeapAllocZeroed(std::size_t size) { return HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size); }

void HeapFree(void* p) {
    if (p != nullptr) ::HeapFree(GetProcessHeap(), 0, p);
}

bool TlsCreate() {
    if (g_tlsIndex != TLS_OUT_OF_INDEXES) return true;
    g_tlsIndex = TlsAlloc();
    return g_tlsIndex != TLS_OUT_OF_INDEXES;
}

void TlsDestroy() {
    if (g_tlsIndex == TLS_OUT_OF_INDEXES) return;
    TlsFree(g_tlsIndex);
    g_tlsIndex = TLS_OUT_OF_INDEXES;
}

void* TlsGet() { return g_tlsIndex == TLS_OUT_OF_INDEXES ? nullptr : TlsGetValue(g_tlsIndex); }

void TlsSet(void* value) {
    if (g_tlsIndex != TLS_OUT_OF_INDEXES) TlsSetValue(g_tlsIndex, value);
}

void LockInit() { InitializeCriticalSection(&g_lock); }
void LockDestroy() { DeleteCriticalSection(&g_lock); }
void LockEnter() { EnterCriticalSection(&g_lock); }
void LockLeave() { LeaveCriticalSection(&g_lock); }

bool SecureRandom(void* out, std::size_t size) {
    auto* p = static_cast<unsigned char*>(out);
    while (size > 0) {
        // BCryptGenRandom counts in ULONG, which is 32 bits even on 64-bit Windows.
        const ULONG chunk = size > ULONG_MAX ? ULONG_MAX : static_cast<ULONG>(size);
        if (!BCRYPT_SUCCESS(BCryptGenRandom(nullptr, p, chunk, BCRYPT_USE_SYSTEM_PREFERRED_RNG))) return false;
        p += chunk;
        size -= chunk;
    }
    return true;
}

// BCryptGenRandom already draws from a per-process generator in user mode.
bool NonceRandom(void* out, std::size_t size) { return SecureRandom(out, size); }

}  // namespace mg::platform
