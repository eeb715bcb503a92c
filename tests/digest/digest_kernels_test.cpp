// The accelerated compression functions against the portable ones.

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <span>

#include "cpu/cpu_features.h"
#include "digest/digest_kernels.h"
#include "tests/digest/digest_test_support.h"

namespace mg::test {
namespace {

// Every variant this CPU runs against the portable one (the last entry): random
// chaining words, odd and even runs of blocks, unaligned data, runs split in
// two calls. Returns the number of variants compared.
template <class Word, class Fn>
int CompareWithPortable(std::span<const DigestKernel<Fn>> kernels, std::size_t blockLength) {
    const CpuFeatures cpu = DetectCpu();
    const Fn portable = kernels.back().compress;
    std::mt19937 random(12345);
    const std::string data = PseudoRandomBytes(40 * blockLength + 16, 12345);
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
            const unsigned char* p = U(data) + offset;
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

// MD5 and RIPEMD have the portable variant only.
TEST(DigestKernels, ShaVariantsMatchPortable) {
    const int compared = CompareWithPortable<std::uint32_t>(Sha1Kernels(), 64) +
                         CompareWithPortable<std::uint32_t>(Sha256Kernels(), 64) +
                         CompareWithPortable<std::uint64_t>(Sha512Kernels(), 128);
    if (compared == 0) GTEST_SKIP() << "no accelerated variant runs on this CPU";
}

// A CPU without any extension gets the portable variant.
TEST(DigestKernels, PortableIsLastAndAlwaysUsable) {
    const CpuFeatures none{};
    EXPECT_EQ(ChooseKernel(Sha1Kernels(), none), &Sha1CompressPortable);
    EXPECT_EQ(ChooseKernel(Sha256Kernels(), none), &Sha256CompressPortable);
    EXPECT_EQ(ChooseKernel(Sha512Kernels(), none), &Sha512CompressPortable);
}

}  // namespace
}  // namespace mg::test
