#pragma once

#include <cstddef>
#include <cstdint>

#include "digest/message_digest.h"

namespace mg {

// The Secure Hash Standard digests, chosen by method:
// 0 SHA-1, 1 SHA-256, 2 SHA-384, 3 SHA-512.
class CSHA final : public IMessageDigest {
public:
    explicit CSHA(std::int32_t method);
    ~CSHA() override;
    CSHA(const CSHA&) = default;
    CSHA& operator=(const CSHA&) = default;

    void AddData(const unsigned char* data, std::int32_t length) override;
    void FinalDigest(unsigned char* out) override;
    void Reset() override;
    void Transform() override;

    std::int32_t DigestLength() const override;
    std::int32_t BlockLength() const override;

    // Caps the implementation tier of the compression function (numbered as
    // in digest_kernels.h), so that tests and benchmarks compare the tiers;
    // by default the best one that the CPU offers runs. Keeps the state.
    void SetAccelLimit(std::int32_t level);

private:
    void Compress(const unsigned char* data, std::size_t blocks);

    std::uint32_t m_uMethod;
    // The compression function of the method, chosen once for this CPU.
    void (*m_pCompress32)(std::uint32_t* state, const unsigned char* data, std::size_t blocks);
    void (*m_pCompress64)(std::uint64_t* state, const unsigned char* data, std::size_t blocks);
    std::uint32_t m_aState32[8];  // methods 0 and 1
    std::uint64_t m_aState64[8];  // methods 2 and 3
    // Message length in bits: 64 bits for methods 0 and 1, 128 for 2 and 3.
    std::uint64_t m_uBitCountLow;
    std::uint64_t m_uBitCountHigh;
    unsigned char m_aBuffer[128];
};

}  // namespace mg
