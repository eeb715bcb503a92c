#pragma once

#include <cstddef>
#include <cstdint>

namespace mg {

// BLAKE2b (RFC 7693) with any output length from 1 to 64 bytes and an
// optional key of up to 64 bytes; Argon2's H and H' are built on it.
class CBlake2b {
public:
    static constexpr std::size_t kMaxOutput = 64;
    static constexpr std::size_t kMaxKey = 64;

    // Throws std::invalid_argument for lengths outside those limits.
    explicit CBlake2b(std::size_t outLength, const unsigned char* key = nullptr, std::size_t keyLength = 0);
    ~CBlake2b();
    CBlake2b(const CBlake2b&) = delete;
    CBlake2b& operator=(const CBlake2b&) = delete;

    void Update(const unsigned char* data, std::size_t length);
    // Writes the output length given at construction; the object is spent.
    void Final(unsigned char* out);

    // The whole digest of one message in one call.
    static void Hash(unsigned char* out, std::size_t outLength, const unsigned char* data, std::size_t length);

private:
    void Compress(const unsigned char* block, bool last);

    std::uint64_t m_aState[8];
    std::uint64_t m_aCount[2];
    unsigned char m_aBuffer[128];
    std::size_t m_iFill;
    std::size_t m_iOutLength;
};

}  // namespace mg
