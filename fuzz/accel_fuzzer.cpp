// Every accelerated path this CPU can run against the portable one, byte for
// byte: the block ciphers on each tier (all sizes and modes, split calls, in
// place or not), each digest compression variant and each CRC engine.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "checksum/crc_kernels.h"
#include "cipher/blowfish.h"
#include "cipher/byte_order.h"
#include "cipher/rijndael.h"
#include "cipher/tea.h"
#include "digest/digest_kernels.h"
#include "fuzz/fuzz_input.h"

namespace mg::fuzz {
namespace {

const CpuFeatures& Machine() { static const CpuFeatures features = DetectCpu(); return features; }

// One object held to the portable code and one allowed `tier`, over the same data in the same calls.
template <class Cipher, class Initialize>
void Compare(Cipher (&pair)[2], std::int32_t tier, Initialize initialize, FuzzInput& in) {
    Cipher& portable = pair[0];
    Cipher& fast = pair[1];
    portable.SetAccelLimit(IBlockCipher::kAccelPortable);
    fast.SetAccelLimit(tier);
    initialize(portable);
    initialize(fast);
    const std::size_t block = static_cast<std::size_t>(portable.BlockSize());
    const std::string raw = in.Bytes(8192);
    ByteVector data(raw.begin(), raw.end());
    data.resize(std::max(block, data.size() / block * block));
    const bool encrypt = in.Bool();
    const bool inPlace = in.Bool();
    ByteVector a = data, b = data;
    ByteVector outA(data.size()), outB(data.size());
    std::size_t at = 0;
    for (std::size_t step : in.Splits(data.size(), block, 40)) {
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
            Fail(std::string(encrypt ? "encryption" : "decryption") + " differs at byte " + std::to_string(at) +
                 " (tier " + std::to_string(fast.Accel()) + ", mode " + std::to_string(portable.Mode()) + ")");
        }
        at += step;
    }
}

void CheckCiphers(FuzzInput& in) {
    static CRijndael rijndael[2];
    static CBlowfish blowfish[2];
    static CTea tea[2];
    static const std::int32_t kSizes[] = {16, 24, 32};
    const std::int32_t tier = 1 + in.Byte() % IBlockCipher::kAccelBest;
    const std::int32_t mode = in.Byte() % 5;
    const std::string key = in.Bytes(64) + "k";
    const auto* k = reinterpret_cast<const unsigned char*>(key.data());
    const auto keyLength = static_cast<std::int32_t>(key.size());
    const ByteVector iv = in.Fixed(32);
    switch (in.Byte() % 3) {
        case 0: {
            const std::int32_t keySize = in.Pick(kSizes), blockSize = in.Pick(kSizes);
            const auto init = [&](CRijndael& c) { c.Initialize(k, keyLength, iv.data(), keySize, blockSize, mode, 0); };
            Compare(rijndael, tier, init, in);
            break;
        }
        case 1: {
            const std::uint32_t words[2] = {LoadBe32(iv.data()), LoadBe32(iv.data() + 4)};
            Compare(blowfish, tier, [&](CBlowfish& c) { c.Initialize(k, keyLength, words, mode % 4, 0); }, in);
            break;
        }
        default:
            Compare(tea, tier, [&](CTea& c) { c.Initialize(k, keyLength, iv.data(), mode % 4, 0); }, in);
            break;
    }
}

template <class Word, class Fn>
void CheckCompress(FuzzInput& in, std::span<const DigestKernel<Fn>> kernels, std::size_t words, std::size_t blockBytes,
                   const char* name) {
    std::vector<Word> start(words);
    for (auto& w : start) {
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
        if (state != reference) Fail(std::string(name) + " variant " + kernel.name + " differs");
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
    const std::size_t n = raw.size();
    const CrcKernels& reference = AllCrcKernels().back();
    const std::uint32_t c32 = reference.crc32(start32, data, n);
    const std::uint16_t c16 = reference.crc16(start16, data, n);
    const std::uint16_t c16nul = reference.crc16UntilNul(start16, data, n);
    for (const CrcKernels& k : AllCrcKernels()) {
        if (!k.usable(Machine())) continue;
        if (k.crc32(start32, data, n) != c32 || k.crc16(start16, data, n) != c16 ||
            k.crc16UntilNul(start16, data, n) != c16nul) {
            Fail(std::string("CRC engine ") + k.name + " differs");
        }
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
