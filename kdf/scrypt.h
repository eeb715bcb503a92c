#pragma once

#include <cstddef>
#include <cstdint>

namespace mg {

// scrypt (RFC 7914) with N = 2^logN. The N * 128 * r byte table is taken in
// pieces of at most 1 MiB, so that it fits an address space with no single
// hole that large. Throws std::bad_alloc when the memory cannot be had and
// std::invalid_argument for parameters outside what RFC 7914 allows
// (logN 1..31, r * p < 2^30) or a table beyond what this process can address.
void Scrypt(const unsigned char* password, std::size_t passwordLength, const unsigned char* salt,
            std::size_t saltLength, unsigned logN, std::uint32_t r, std::uint32_t p, unsigned char* out,
            std::size_t outLength);

}  // namespace mg
