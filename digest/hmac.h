#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace mg {

// HMAC (RFC 2104) over one of the library's digests. The key is turned into
// the inner and outer digest states once; every message after that costs
// only its own compression calls, which is what PBKDF2's many iterations need.
class CHmac {
public:
    // hashType as HASH numbers it: 1 SHA-1, 2 SHA-256, 3 SHA-384, 4 SHA-512,
    // 5 MD5, 6 RIPEMD-128, 7 RIPEMD-160; any other value means 4.
    explicit CHmac(std::int32_t hashType);
    ~CHmac();
    CHmac(const CHmac&) = delete;
    CHmac& operator=(const CHmac&) = delete;

    // Any length, the empty key included. Starts a new message.
    void SetKey(const unsigned char* key, std::size_t length);
    void Update(const unsigned char* data, std::size_t length);
    // Writes Length() bytes; the next Update starts a new message under the
    // same key.
    void Final(unsigned char* out);
    std::size_t Length() const;

    class IEngine;

private:
    std::unique_ptr<IEngine> m_pEngine;
};

}  // namespace mg
