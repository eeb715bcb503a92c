// Clearing secrets (keys, key schedules, chain registers, key-derived
// intermediates) so that they do not outlive their use in memory that is
// later handed to someone else or swapped out.
#ifndef MG_CPU_SECURE_WIPE_H
#define MG_CPU_SECURE_WIPE_H

#include <cstddef>

namespace mg {

// Overwrites n bytes at p with zeros. Unlike memset, the stores are kept even
// when the memory is never read again (a dying object, a stack buffer about
// to go out of scope), which is exactly when an optimiser drops a memset.
void SecureWipe(void* p, std::size_t n) noexcept;

// Wipes a whole object or array in place, e.g. SecureWipeObject(m_auKey).
template <class T>
void SecureWipeObject(T& object) noexcept {
    SecureWipe(&object, sizeof object);
}

// Wipes a buffer when it goes out of scope, including when a host error or an
// exception unwinds through the scope.
class ScopedWipe {
public:
    ScopedWipe(void* p, std::size_t n) noexcept : m_pData(p), m_iSize(n) {}
    template <class T>
    explicit ScopedWipe(T& object) noexcept : m_pData(&object), m_iSize(sizeof object) {}
    ~ScopedWipe() { SecureWipe(m_pData, m_iSize); }
    ScopedWipe(const ScopedWipe&) = delete;
    ScopedWipe& operator=(const ScopedWipe&) = delete;

private:
    void* m_pData;
    std::size_t m_iSize;
};

}  // namespace mg

#endif
