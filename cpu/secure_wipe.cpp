#include "cpu/secure_wipe.h"

#include <cstring>

#if defined(_MSC_VER)
#include <windows.h>
#endif

namespace mg {

void SecureWipe(void* p, std::size_t n) noexcept {
    if (p == nullptr || n == 0) return;
#if defined(_MSC_VER)
    SecureZeroMemory(p, n);
#elif defined(__GNUC__) || defined(__clang__)
    std::memset(p, 0, n);
    // The empty asm claims to read the memory behind p, so the compiler must
    // assume the zeros are observed and cannot drop the memset as a dead store,
    // not even with link-time optimisation across this file.
    __asm__ __volatile__("" : : "r"(p) : "memory");
#else
    volatile unsigned char* v = static_cast<volatile unsigned char*>(p);
    while (n-- != 0) *v++ = 0;
#endif
}

}  // namespace mg
