#pragma once

#include <cstddef>
#include <cstdint>

#include "digest/message_digest.h"

namespace mg {

// MD5 of RFC 1321: 16-byte digest, 64-byte blocks.
class CMD5 final : public IMessageDigest {
public:
    CMD5();
    ~CMD5() override;
    CMD5(const CMD5&) = default;
    CMD5& operator=(const CMD5&) = default;

    void AddData(const unsigned char* data, std::int32_t length) override;
    void FinalDigest(unsigned char* out) override;
    void Reset() override;
    void Transform() override;

    std::int32_t DigestLength() const override { return 16; }
    std::int32_t BlockLength() const override { return 64; }

private:
    // The compression function, chosen once for this CPU.
    void (*m_pCompress)(std::uint32_t* state, const unsigned char* data, std::size_t blocks);
    std::uint32_t m_aState[4];
    std::uint64_t m_uBitCount;
    unsigned char m_aBuffer[64];
};

}  // namespace mg
