#pragma once

#include <cstddef>
#include <cstdint>

namespace mg {

// PBKDF2 (RFC 8018, section 5.2) with HMAC over the digest of hashType
// (numbered as CHmac numbers it). Throws std::invalid_argument for 0
// iterations or more output than 2^32 - 1 blocks; writes outLength bytes.
void Pbkdf2(std::int32_t hashType, const unsigned char* password, std::size_t passwordLength,
            const unsigned char* salt, std::size_t saltLength, std::uint32_t iterations, unsigned char* out,
            std::size_t outLength);

}  // namespace mg
