#include "kdf/argon2_kernels.h"

namespace mg {
namespace {

inline std::uint64_t Rotr(std::uint64_t x, int n) { return (x >> n) | (x << (64 - n)); }

// BLAKE2b's G with each addition widened by twice the product of the low
// halves, which is what makes Argon2 costly on hardware without multipliers.
inline std::uint64_t BlaMka(std::uint64_t x, std::uint64_t y) {
    return x + y + 2 * static_cast<std::uint64_t>(static_cast<std::uint32_t>(x)) * static_cast<std::uint32_t>(y);
}

inline void Gb(std::uint64_t& a, std::uint64_t& b, std::uint64_t& c, std::uint64_t& d) {
    a = BlaMka(a, b);
    d = Rotr(d ^ a, 32);
    c = BlaMka(c, d);
    b = Rotr(b ^ c, 24);
    a = BlaMka(a, b);
    d = Rotr(d ^ a, 16);
    c = BlaMka(c, d);
    b = Rotr(b ^ c, 63);
}

// The permutation P on sixteen words given by their indices in the block.
inline void Round(std::uint64_t* v, const int (&i)[16]) {
    Gb(v[i[0]], v[i[4]], v[i[8]], v[i[12]]);
    Gb(v[i[1]], v[i[5]], v[i[9]], v[i[13]]);
    Gb(v[i[2]], v[i[6]], v[i[10]], v[i[14]]);
    Gb(v[i[3]], v[i[7]], v[i[11]], v[i[15]]);
    Gb(v[i[0]], v[i[5]], v[i[10]], v[i[15]]);
    Gb(v[i[1]], v[i[6]], v[i[11]], v[i[12]]);
    Gb(v[i[2]], v[i[7]], v[i[8]], v[i[13]]);
    Gb(v[i[3]], v[i[4]], v[i[9]], v[i[14]]);
}

bool Always(const CpuFeatures&) { return true; }
#if defined(__i386__) || defined(__x86_64__)
bool HasSse2(const CpuFeatures& cpu) { return cpu.sse2; }
bool HasAvx2(const CpuFeatures& cpu) { return cpu.avx2; }
bool HasAvx512(const CpuFeatures& cpu) { return cpu.avx512f; }
#endif

constexpr Argon2Kernel kKernels[] = {
#if defined(__i386__) || defined(__x86_64__)
    {"avx512f", Argon2FillAvx512, HasAvx512},
    {"avx2", Argon2FillAvx2, HasAvx2},
    {"sse2", Argon2FillSse2, HasSse2},
#endif
    {"portable", Argon2FillPortable, Always},
};

}  // namespace

void Argon2FillPortable(const Argon2Block& prev, const Argon2Block& ref, Argon2Block& next, bool withXor) {
    Argon2Block r;
    Argon2Block keep;
    for (std::size_t k = 0; k < Argon2Block::kWords; ++k) {
        r.v[k] = prev.v[k] ^ ref.v[k];
        keep.v[k] = withXor ? r.v[k] ^ next.v[k] : r.v[k];
    }
    // Rows of sixteen consecutive words, then columns of two-word pairs.
    for (int row = 0; row < 8; ++row) {
        int i[16];
        for (int k = 0; k < 16; ++k) i[k] = 16 * row + k;
        Round(r.v, i);
    }
    for (int col = 0; col < 8; ++col) {
        int i[16];
        for (int k = 0; k < 8; ++k) {
            i[2 * k] = 2 * col + 16 * k;
            i[2 * k + 1] = 2 * col + 16 * k + 1;
        }
        Round(r.v, i);
    }
    for (std::size_t k = 0; k < Argon2Block::kWords; ++k) next.v[k] = keep.v[k] ^ r.v[k];
}

std::span<const Argon2Kernel> Argon2Kernels() { return kKernels; }

Argon2FillFn ChooseArgon2Kernel(const CpuFeatures& cpu) {
    for (const auto& k : kKernels)
        if (k.usable(cpu)) return k.fill;
    return Argon2FillPortable;
}

}  // namespace mg
