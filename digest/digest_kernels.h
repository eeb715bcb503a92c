#pragma once

// The compression functions behind CMD5, CSHA and CRIPEMD in every variant
// this build carries. Each takes the chaining words and a run of whole
// message blocks, so that the accelerated variants keep the state in
// registers from block to block. The portable variants are the reference:
// every other variant must produce the same words bit for bit.

#include <cstddef>
#include <cstdint>
#include <span>

#include "cpu/cpu_features.h"

namespace mg {

using Compress32Fn = void (*)(std::uint32_t* state, const unsigned char* data, std::size_t blocks);
using Compress64Fn = void (*)(std::uint64_t* state, const unsigned char* data, std::size_t blocks);

template <class Fn>
struct DigestKernel {
    const char* name;
    Fn compress;
    bool (*usable)(const CpuFeatures& cpu);
    // The implementation tier, numbered as the block ciphers' and the CRCs'
    // (0 portable, 1 128-bit registers, 2 256-bit without AVX-512, 3
    // AVX-512): a cap on it lets one machine measure the others.
    int tier = 0;
};

using DigestKernel32 = DigestKernel<Compress32Fn>;
using DigestKernel64 = DigestKernel<Compress64Fn>;

// The variants of each compression function, best first; the last entry is
// the portable one, usable everywhere.
std::span<const DigestKernel32> Md5Kernels();
std::span<const DigestKernel32> Sha1Kernels();
std::span<const DigestKernel32> Sha256Kernels();
std::span<const DigestKernel64> Sha512Kernels();
std::span<const DigestKernel32> Ripemd128Kernels();
std::span<const DigestKernel32> Ripemd160Kernels();

// The first variant that the given features allow, of a tier no higher than
// limit.
template <class Fn>
Fn ChooseKernel(std::span<const DigestKernel<Fn>> kernels, const CpuFeatures& cpu, int limit = 3) {
    for (const auto& k : kernels)
        if (k.tier <= limit && k.usable(cpu)) return k.compress;
    return kernels.back().compress;
}

// Portable variants (md5.cpp, sha.cpp, ripemd.cpp).
void Md5CompressPortable(std::uint32_t* state, const unsigned char* data, std::size_t blocks);
void Sha1CompressPortable(std::uint32_t* state, const unsigned char* data, std::size_t blocks);
void Sha256CompressPortable(std::uint32_t* state, const unsigned char* data, std::size_t blocks);
void Sha512CompressPortable(std::uint64_t* state, const unsigned char* data, std::size_t blocks);
void Ripemd128CompressPortable(std::uint32_t* state, const unsigned char* data, std::size_t blocks);
void Ripemd160CompressPortable(std::uint32_t* state, const unsigned char* data, std::size_t blocks);

#if defined(__i386__) || defined(__x86_64__)
// SHA extensions (sha_ni.cpp).
void Sha1CompressShaNi(std::uint32_t* state, const unsigned char* data, std::size_t blocks);
void Sha256CompressShaNi(std::uint32_t* state, const unsigned char* data, std::size_t blocks);
#endif

#if defined(__x86_64__)
// Scalar rounds with the message schedule in vector registers (sha512_vector.cpp).
void Sha512CompressAvx2(std::uint64_t* state, const unsigned char* data, std::size_t blocks);
void Sha512CompressAvx512(std::uint64_t* state, const unsigned char* data, std::size_t blocks);
#endif

#if defined(__i386__) || defined(__x86_64__)
// The rounds in vector registers too, for 32-bit mode (sha512_xmm.cpp).
void Sha512CompressXmmSsse3(std::uint64_t* state, const unsigned char* data, std::size_t blocks);
void Sha512CompressXmmAvx(std::uint64_t* state, const unsigned char* data, std::size_t blocks);
void Sha512CompressXmmAvx512(std::uint64_t* state, const unsigned char* data, std::size_t blocks);
// Two words per register, (e, a), (f, b), ..., with AVX2 (sha512_pair.cpp).
void Sha512CompressXmmPairAvx2(std::uint64_t* state, const unsigned char* data, std::size_t blocks);
void Sha512CompressXmmPairAvx512(std::uint64_t* state, const unsigned char* data, std::size_t blocks);
#endif

}  // namespace mg
