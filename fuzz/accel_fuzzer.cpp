// Every accelerated path against the portable reference, byte for byte: the
// block ciphers on each implementation tier (Rijndael with all key and block
// sizes, Blowfish, TEA; every mode; data fed in calls split where the input
// says, encrypting and decrypting, in place or not), each compression
// function variant of the digests, and each CRC engine. Only the variants
// this CPU can run take part.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "checksum/crc_kernels.h"
#include "cipher/blowfish.h"
#include "cipher/rijndael.h"
#include "cipher/tea.h"
#include "digest/digest_kernels.h"
#include "fuzz/fuzz_input.h"

namespace mg::fuzz {
namespace {

using Bytes = std::vector<unsigned char>;

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "accelerated/portable fuzzer: %s\n", what.c_str());
    std::abort();
}

const CpuFeatures& Machine() {
    static const CpuFeatures features = DetectCpu();
    return features;
}

Bytes Take(FuzzInput& in, std::size_t n) {
    Bytes b(n);
    for (auto& c : b) c = in.Byte();
    return b;
}

// The same cipher twice: one held to the portable code, one allowed a tier.
template <class Cipher>
struct Pair {
    Cipher portable;
    Cipher fast;
};

// Runs both objects over the same data in the same calls and compares.
void Compare(IBlockCipher& portable, IBlockCipher& fast, FuzzInput& in, const std::string& what) {
    const std::size_t block = static_cast<std::size_t>(portable.BlockSize());
    std::string raw = in.Bytes(8192);
    Bytes data(raw.begin(), raw.end());
    data.resize(data.size() / block * block);
    if (data.empty()) data.resize(block);
    const bool encrypt = in.Bool();
    const bool inPlace = in.Bool();
    Bytes a = data, b = data;
    Bytes outA(data.size()), outB(data.size());
    std::size_t at = 0;
    while (at < data.size()) {
        std::size_t step = block * (1 + in.Byte() % 40);
        if (in.Empty() || step > data.size() - at) step = data.size() - at;
        unsigned char* dstA = inPlace ? a.data() + at : outA.data() + at;
        unsigned char* dstB = inPlace ? b.data() + at : outB.data() + at;
        const auto n = static_cast<std::int32_t>(step);
        if (encrypt) {
            portable.Encrypt(a.data() + at, dstA, n);
            fast.Encrypt(b.data() + at, dstB, n);
        } else {
            portable.Decrypt(a.data() + at, dstA, n);
            fast.Decrypt(b.data() + at, dstB, n);
        }
        if (std::memcmp(dstA, dstB, step) != 0) {
            Fail(what + (encrypt ? " encryption" : " decryption") + " differs at byte " + std::to_string(at) +
                 " of " + std::to_string(data.size()) + " (tier " + std::to_string(fast.Accel()) + ", mode " +
                 std::to_string(portable.Mode()) + ")");
        }
        at += step;
    }
}

void CheckCiphers(FuzzInput& in) {
    static Pair<CRijndael> rijndael;
    static Pair<CBlowfish> blowfish;
    static Pair<CTea> tea;
    static const std::int32_t kSizes[] = {16, 24, 32};
    const std::int32_t tier = 1 + in.Byte() % IBlockCipher::kAccelBest;
    const std::int32_t mode = in.Byte() % 5;
    const std::string key = in.Bytes(64) + "k";
    const auto* k = reinterpret_cast<const unsigned char*>(key.data());
    const auto keyLength = static_cast<std::int32_t>(key.size());
    const Bytes iv = Take(in, 32);
    switch (in.Byte() % 3) {
        case 0: {
            const std::int32_t keySize = in.Pick(kSizes), blockSize = in.Pick(kSizes);
            rijndael.portable.SetAccelLimit(IBlockCipher::kAccelPortable);
            rijndael.fast.SetAccelLimit(tier);
            rijndael.portable.Initialize(k, keyLength, iv.data(), keySize, blockSize, mode, 0);
            rijndael.fast.Initialize(k, keyLength, iv.data(), keySize, blockSize, mode, 0);
            Compare(rijndael.portable, rijndael.fast, in,
                    "Rijndael " + std::to_string(keySize) + "/" + std::to_string(blockSize));
            break;
        }
        case 1: {
            const std::uint32_t words[2] = {std::uint32_t(iv[0]) << 24 | iv[1], std::uint32_t(iv[2]) << 8 | iv[3]};
            blowfish.portable.SetAccelLimit(IBlockCipher::kAccelPortable);
            blowfish.fast.SetAccelLimit(tier);
            blowfish.portable.Initialize(k, keyLength, words, mode % 4, 0);
            blowfish.fast.Initialize(k, keyLength, words, mode % 4, 0);
            Compare(blowfish.portable, blowfish.fast, in, "Blowfish");
            break;
        }
        default:
            tea.portable.SetAccelLimit(IBlockCipher::kAccelPortable);
            tea.fast.SetAccelLimit(tier);
            tea.portable.Initialize(k, keyLength, iv.data(), mode % 4, 0);
            tea.fast.Initialize(k, keyLength, iv.data(), mode % 4, 0);
            Compare(tea.portable, tea.fast, in, "TEA");
            break;
    }
}

template <class Word, class Fn>
void CheckCompress(FuzzInput& in, std::span<const DigestKernel<Fn>> kernels, std::size_t words, std::size_t blockBytes,
                   const char* name) {
    std::vector<Word> start(words);
    for (auto& w : start) {
        w = 0;
        for (std::size_t i = 0; i < sizeof(Word); ++i) w = static_cast<Word>(w << 8 | in.Byte());
    }
    const std::string raw = in.Bytes(blockBytes * 40);
    const std::size_t blocks = raw.size() / blockBytes;
    const auto* data = reinterpret_cast<const unsigned char*>(raw.data());
    std::vector<Word> reference = start;
    kernels.back().compress(reference.data(), data, blocks);
    for (const auto& kernel : kernels) {
        if (!kernel.usable(Machine())) continue;
        std::vector<Word> state = start;
        kernel.compress(state.data(), data, blocks);
        if (state != reference) Fail(std::string(name) + " variant " + kernel.name + " differs over " + std::to_string(blocks) + " blocks");
    }
}

void CheckDigests(FuzzInput& in) {
    switch (in.Byte() % 6) {
        case 0: CheckCompress<std::uint32_t>(in, Md5Kernels(), 4, 64, "MD5"); break;
        case 1: CheckCompress<std::uint32_t>(in, Sha1Kernels(), 5, 64, "SHA-1"); break;
        case 2: CheckCompress<std::uint32_t>(in, Sha256Kernels(), 8, 64, "SHA-256"); break;
        case 3: CheckCompress<std::uint64_t>(in, Sha512Kernels(), 8, 128, "SHA-512"); break;
        case 4: CheckCompress<std::uint32_t>(in, Ripemd128Kernels(), 4, 64, "RIPEMD-128"); break;
        default: CheckCompress<std::uint32_t>(in, Ripemd160Kernels(), 5, 64, "RIPEMD-160"); break;
    }
}

void CheckCrcs(FuzzInput& in) {
    const std::uint32_t start32 = in.U32();
    const std::uint16_t start16 = in.U16();
    const std::string raw = in.Bytes(20000);
    const auto* data = reinterpret_cast<const unsigned char*>(raw.data());
    const std::span<const CrcKernels> all = AllCrcKernels();
    const CrcKernels& reference = all.back();
    const std::uint32_t c32 = reference.crc32(start32, data, raw.size());
    const std::uint16_t c16 = reference.crc16(start16, data, raw.size());
    const std::uint16_t c16nul = reference.crc16UntilNul(start16, data, raw.size());
    for (const CrcKernels& k : all) {
        if (!k.usable(Machine())) continue;
        if (k.crc32(start32, data, raw.size()) != c32) Fail(std::string("CRC-32 ") + k.name + " differs");
        if (k.crc16(start16, data, raw.size()) != c16) Fail(std::string("CRC-16 ") + k.name + " differs");
        if (k.crc16UntilNul(start16, data, raw.size()) != c16nul) Fail(std::string("CRC-16 to NUL ") + k.name + " differs");
    }
}

}  // namespace
}  // namespace mg::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    mg::fuzz::FuzzInput in(data, size);
    switch (in.Byte() % 3) {
        case 0: mg::fuzz::CheckCiphers(in); break;
        case 1: mg::fuzz::CheckDigests(in); break;
        default: mg::fuzz::CheckCrcs(in); break;
    }
    return 0;
}
