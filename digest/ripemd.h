#pragma once

#include <cstddef>
#include <cstdint>

#include "digest/message_digest.h"

namespace mg {

// RIPEMD digests chosen by method: 0 RIPEMD-128, 1 RIPEMD-160.
class CRIPEMD final : public IMessageDigest {
public:
    explicit CRIPEMD(std::int32_t method);
    ~CRIPEMD() override;
    CRIPEMD(const CRIPEMD&) = default;
    CRIPEMD& operator=(const CRIPEMD&) = default;

    void AddData(const unsigned char* data, std::int32_t length) override;
    void FinalDigest(unsigned char* out) override;
    void Reset() override;
    void Transform() override;

    std::int32_t DigestLength() const override { return m_iMethod == 0 ? 16 : 20; }
    std::int32_t BlockLength() const override { return 64; }

private:
    // The compression function of the method, chosen once for this CPU.
    void (*m_pCompress)(std::uint32_t* state, const unsigned char* data, std::size_t blocks);
    std::uint32_t m_aState[5];  // RIPEMD-128 uses the first four
    std::uint64_t m_uBitCount;
    unsigned char m_aBuffer[64];
    std::int32_t m_iMethod;
};

}  // namespace mg
