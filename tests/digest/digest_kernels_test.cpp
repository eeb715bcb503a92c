// The accelerated compression functions against the portable ones, and the
// digest classes (with whatever variant this run chose) against a digest
// assembled from the portable compression functions, over random lengths
// and random ways of cutting the message. Run once as is and once with
// MG_PORTABLE=1 (the _portable test entries), so both ways through the
// classes are covered on every machine.

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "cpu/cpu_features.h"
#include "digest/digest_kernels.h"
#include "tests/digest/digest_test_support.h"

namespace mg::test {
namespace {

std::vector<unsigned char> RandomBytes(std::size_t n, std::mt19937& random) {
    std::vector<unsigned char> bytes(n);
    for (auto& b : bytes) b = static_cast<unsigned char>(random());
    return bytes;
}

// Runs every variant this CPU can execute against the portable one (the last
// entry): random chaining words, random runs of blocks (odd and even counts,
// for the variants that pair blocks), unaligned data, and a run split in two
// calls. Returns the number of variants compared.
template <class Word, class Fn>
int CompareWithPortable(std::span<const DigestKernel<Fn>> kernels, std::size_t blockLength) {
    const CpuFeatures cpu = DetectCpu();
    const Fn portable = kernels.back().compress;
    std::mt19937 random(12345);
    const std::vector<unsigned char> data = RandomBytes(40 * blockLength + 16, random);
    int compared = 0;
    for (const auto& kernel : kernels.first(kernels.size() - 1)) {
        if (!kernel.usable(cpu)) continue;
        ++compared;
        for (int trial = 0; trial < 300; ++trial) {
            Word expected[8];
            for (auto& w : expected) w = static_cast<Word>((static_cast<std::uint64_t>(random()) << 32) | random());
            Word actual[8];
            std::memcpy(actual, expected, sizeof actual);
            const std::size_t blocks = trial < 40 ? static_cast<std::size_t>(trial) : random() % 41;
            const std::size_t offset = random() % 16;
            const unsigned char* p = data.data() + offset;
            portable(expected, p, blocks);
            if (trial % 2 == 0) {
                kernel.compress(actual, p, blocks);
            } else {
                const std::size_t first = blocks == 0 ? 0 : random() % (blocks + 1);
                kernel.compress(actual, p, first);
                kernel.compress(actual, p + first * blockLength, blocks - first);
            }
            if (std::memcmp(expected, actual, sizeof actual) != 0) {
                ADD_FAILURE() << kernel.name << ": " << blocks << " blocks at offset " << offset << ", trial " << trial;
                return compared;
            }
        }
    }
    return compared;
}

#define MG_COMPARE_OR_SKIP(call)                                                    \
    do {                                                                            \
        if ((call) == 0) GTEST_SKIP() << "no accelerated variant runs on this CPU"; \
    } while (false)

// MD5 and RIPEMD have the portable variant only: their scalar code is as fast
// as it gets, and no vector form beats it for a single message.

TEST(DigestKernels, Sha1VariantsMatchPortable) {
    MG_COMPARE_OR_SKIP((CompareWithPortable<std::uint32_t>(Sha1Kernels(), 64)));
}

TEST(DigestKernels, Sha256VariantsMatchPortable) {
    MG_COMPARE_OR_SKIP((CompareWithPortable<std::uint32_t>(Sha256Kernels(), 64)));
}

TEST(DigestKernels, Sha512VariantsMatchPortable) {
    MG_COMPARE_OR_SKIP((CompareWithPortable<std::uint64_t>(Sha512Kernels(), 128)));
}

TEST(DigestKernels, PortableIsLastAndAlwaysUsable) {
    const CpuFeatures none{};
    EXPECT_EQ(ChooseKernel(Md5Kernels(), none), &Md5CompressPortable);
    EXPECT_EQ(ChooseKernel(Sha1Kernels(), none), &Sha1CompressPortable);
    EXPECT_EQ(ChooseKernel(Sha256Kernels(), none), &Sha256CompressPortable);
    EXPECT_EQ(ChooseKernel(Sha512Kernels(), none), &Sha512CompressPortable);
    EXPECT_EQ(ChooseKernel(Ripemd128Kernels(), none), &Ripemd128CompressPortable);
    EXPECT_EQ(ChooseKernel(Ripemd160Kernels(), none), &Ripemd160CompressPortable);
}

// ---------------------------------------------------------------------------
// A digest assembled from a portable compression function: initial values
// (RFC 1321, FIPS 180-2, RIPEMD-160 paper), Merkle-Damgard padding with the
// bit length in the algorithm's byte order.

struct Reference {
    std::size_t blockLength;
    std::size_t lengthBytes;  // of the bit count field
    bool bigEndian;
    std::size_t wordBytes;
    std::size_t digestLength;
    std::vector<std::uint64_t> initial;
};

Reference ReferenceOf(int type) {
    switch (type) {
        case kSha1: return {64, 8, true, 4, 20, {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0}};
        case kSha256:
            return {64, 8, true, 4, 32,
                    {0x6A09E667, 0xBB67AE85, 0x3C6EF372, 0xA54FF53A, 0x510E527F, 0x9B05688C, 0x1F83D9AB, 0x5BE0CD19}};
        case kSha384:
            return {128, 16, true, 8, 48,
                    {0xCBBB9D5DC1059ED8, 0x629A292A367CD507, 0x9159015A3070DD17, 0x152FECD8F70E5939,
                     0x67332667FFC00B31, 0x8EB44A8768581511, 0xDB0C2E0D64F98FA7, 0x47B5481DBEFA4FA4}};
        case kSha512:
            return {128, 16, true, 8, 64,
                    {0x6A09E667F3BCC908, 0xBB67AE8584CAA73B, 0x3C6EF372FE94F82B, 0xA54FF53A5F1D36F1,
                     0x510E527FADE682D1, 0x9B05688C2B3E6C1F, 0x1F83D9ABFB41BD6B, 0x5BE0CD19137E2179}};
        case kMd5: return {64, 8, false, 4, 16, {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476}};
        case kRipemd128: return {64, 8, false, 4, 16, {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476}};
        default: return {64, 8, false, 4, 20, {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0}};
    }
}

std::string PortableDigestHex(int type, const std::vector<unsigned char>& message) {
    const Reference r = ReferenceOf(type);
    std::vector<unsigned char> padded(message);
    padded.push_back(0x80);
    while (padded.size() % r.blockLength != r.blockLength - r.lengthBytes) padded.push_back(0);
    const std::uint64_t bits = static_cast<std::uint64_t>(message.size()) * 8;
    for (std::size_t i = 0; i < r.lengthBytes; ++i) {
        const std::size_t shift = r.bigEndian ? 8 * (r.lengthBytes - 1 - i) : 8 * i;
        padded.push_back(shift < 64 ? static_cast<unsigned char>(bits >> shift) : 0);
    }
    const std::size_t blocks = padded.size() / r.blockLength;
    unsigned char out[64];
    if (r.wordBytes == 8) {
        std::uint64_t state[8];
        for (std::size_t i = 0; i < 8; ++i) state[i] = r.initial[i];
        Sha512CompressPortable(state, padded.data(), blocks);
        for (std::size_t i = 0; i < 8; ++i)
            for (std::size_t j = 0; j < 8; ++j) out[8 * i + j] = static_cast<unsigned char>(state[i] >> (56 - 8 * j));
    } else {
        std::uint32_t state[8] = {};
        for (std::size_t i = 0; i < r.initial.size(); ++i) state[i] = static_cast<std::uint32_t>(r.initial[i]);
        switch (type) {
            case kSha1: Sha1CompressPortable(state, padded.data(), blocks); break;
            case kSha256: Sha256CompressPortable(state, padded.data(), blocks); break;
            case kMd5: Md5CompressPortable(state, padded.data(), blocks); break;
            case kRipemd128: Ripemd128CompressPortable(state, padded.data(), blocks); break;
            default: Ripemd160CompressPortable(state, padded.data(), blocks); break;
        }
        for (std::size_t i = 0; i < r.digestLength / 4; ++i)
            for (std::size_t j = 0; j < 4; ++j)
                out[4 * i + j] = static_cast<unsigned char>(r.bigEndian ? state[i] >> (24 - 8 * j) : state[i] >> (8 * j));
    }
    return ToHex(out, r.digestLength);
}

TEST(DigestKernels, ReferenceReproducesPublishedDigests) {
    // Guards the reference itself: "abc" (FIPS 180-2, RFC 1321, RIPEMD-160 paper).
    const std::vector<unsigned char> abc = {'a', 'b', 'c'};
    EXPECT_EQ(PortableDigestHex(kSha1, abc), "a9993e364706816aba3e25717850c26c9cd0d89d");
    EXPECT_EQ(PortableDigestHex(kSha256, abc), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(PortableDigestHex(kSha384, abc),
              "cb00753f45a35e8bb5a03d699ac65007272c32ab0eded1631a8b605a43ff5bed8086072ba1e7cc2358baeca134c825a7");
    EXPECT_EQ(PortableDigestHex(kMd5, abc), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(PortableDigestHex(kRipemd128, abc), "c14a12199c66e4ba84636b0f69144c77");
    EXPECT_EQ(PortableDigestHex(kRipemd160, abc), "8eb208f7e05d987a9b044a8e98c6b087f15a0bfc");
}

// The classes, fed in random pieces, against the portable reference.
TEST(DigestKernels, ClassesMatchPortableOverRandomLengthsAndPieces) {
    std::mt19937 random(777);
    for (int type = kSha1; type <= kRipemd160; ++type) {
        auto d = MakeDigest(type);
        for (int trial = 0; trial < 120; ++trial) {
            const std::size_t length = trial < 40 ? static_cast<std::size_t>(trial) * 13 : random() % 5000;
            const std::vector<unsigned char> message = RandomBytes(length, random);
            std::size_t pos = 0;
            while (pos < length) {
                // Mostly small pieces, now and then a long run of blocks.
                const std::size_t limit = random() % 4 == 0 ? 2000 : 150;
                const std::size_t piece = std::min(length - pos, static_cast<std::size_t>(random() % (limit + 1)));
                d->AddData(message.data() + pos, static_cast<std::int32_t>(piece));
                pos += piece;
            }
            d->AddData(message.data(), 0);
            unsigned char out[64];
            d->FinalDigest(out);
            ASSERT_EQ(ToHex(out, static_cast<std::size_t>(d->DigestLength())), PortableDigestHex(type, message))
                << HashName(type) << ", " << length << " bytes";
        }
    }
}

}  // namespace
}  // namespace mg::test
