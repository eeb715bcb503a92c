#pragma once

#include <cstddef>

namespace mg {

// HKDF-SHA-256 (RFC 5869): extract with `salt` (empty means a zero key), then
// expand with `info` to outLength bytes (at most 255 * 32; more throws
// std::invalid_argument).
void HkdfSha256(const unsigned char* ikm, std::size_t ikmLength, const unsigned char* salt, std::size_t saltLength,
                const unsigned char* info, std::size_t infoLength, unsigned char* out, std::size_t outLength);

}  // namespace mg
