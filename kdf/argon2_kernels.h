#pragma once

// Argon2's compression function G in every variant this build carries. Each
// variant computes next = G(prev, ref), or next ^= G(prev, ref) for the later
// passes of version 0x13. All memory is read and written unaligned: the
// blocks live in heap chunks whose alignment the caller's allocator decides.
// The portable variant is the reference; the others must match it bit for bit.

#include <cstddef>
#include <cstdint>
#include <span>

#include "cpu/cpu_features.h"

namespace mg {

struct Argon2Block {
    static constexpr std::size_t kWords = 128;
    std::uint64_t v[kWords];
};

using Argon2FillFn = void (*)(const Argon2Block& prev, const Argon2Block& ref, Argon2Block& next, bool withXor);

struct Argon2Kernel {
    const char* name;
    Argon2FillFn fill;
    bool (*usable)(const CpuFeatures& cpu);
};

// Best first; the last entry is the portable one.
std::span<const Argon2Kernel> Argon2Kernels();
Argon2FillFn ChooseArgon2Kernel(const CpuFeatures& cpu);

void Argon2FillPortable(const Argon2Block& prev, const Argon2Block& ref, Argon2Block& next, bool withXor);
#if defined(__i386__) || defined(__x86_64__)
void Argon2FillSse2(const Argon2Block& prev, const Argon2Block& ref, Argon2Block& next, bool withXor);
void Argon2FillAvx2(const Argon2Block& prev, const Argon2Block& ref, Argon2Block& next, bool withXor);
void Argon2FillAvx512(const Argon2Block& prev, const Argon2Block& ref, Argon2Block& next, bool withXor);
#endif

}  // namespace mg
