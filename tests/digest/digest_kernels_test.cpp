// The accelerated compression functions against the portable ones.

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <span>
#include <string>

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

// The tier cap: each cap picks a variant of that tier or lower, and the
// digest objects on every cap give the published digests (FIPS 180-4
// examples, "abc" and the two-block message) and agree with the portable
// code on random lengths, so that the benchmark's capped rows measure a
// correct path.
TEST(DigestKernels, TierCapSelectsLowerTiersWithTheSameDigests) {
    const CpuFeatures cpu = DetectCpu();
    for (int limit = 0; limit <= 3; ++limit) {
        const Compress64Fn chosen = ChooseKernel(Sha512Kernels(), cpu, limit);
        bool found = false;
        for (const auto& k : Sha512Kernels())
            if (k.compress == chosen) {
                EXPECT_LE(k.tier, limit) << k.name;
                found = true;
            }
        EXPECT_TRUE(found);
    }
    EXPECT_EQ(ChooseKernel(Sha512Kernels(), cpu, 0), &Sha512CompressPortable);

    struct Vector {
        std::int32_t method;
        const char* message;
        const char* digest;
    };
    const Vector vectors[] = {
        {3, "abc",
         "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a"
         "2192992a274fc1a836ba3c23a3feebbd454d4423643ce80e2a9ac94fa54ca49f"},
        {3,
         "abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrst"
         "nopqrstu",
         "8e959b75dae313da8cf4f72814fc143f8f7779c6eb9f7fa17299aeadb6889018"
         "501d289e4900f7e4331b99dec4b5433ac7d329eeb6dd26545e96e55b874be909"},
        {2, "abc",
         "cb00753f45a35e8bb5a03d699ac65007272c32ab0eded1631a8b605a43ff5bed"
         "8086072ba1e7cc2358baeca134c825a7"},
    };
    const std::string data = PseudoRandomBytes(3000, 99);
    std::mt19937 random(99);
    for (std::int32_t limit = 0; limit <= 3; ++limit) {
        for (const Vector& v : vectors) {
            CSHA sha(v.method);
            sha.SetAccelLimit(limit);
            sha.AddData(reinterpret_cast<const unsigned char*>(v.message),
                        static_cast<std::int32_t>(std::strlen(v.message)));
            unsigned char out[64];
            sha.FinalDigest(out);
            EXPECT_EQ(ToHex(out, v.method == 2 ? 48 : 64), v.digest) << "tier cap " << limit;
        }
        for (int trial = 0; trial < 20; ++trial) {
            const std::size_t length = random() % data.size();
            unsigned char expected[64], actual[64];
            CSHA portable(3), capped(3);
            portable.SetAccelLimit(0);
            capped.SetAccelLimit(limit);
            portable.AddData(U(data), static_cast<std::int32_t>(length));
            portable.FinalDigest(expected);
            // In two pieces, so that a partial block sits in the buffer.
            const std::size_t first = random() % (length + 1);
            capped.AddData(U(data), static_cast<std::int32_t>(first));
            capped.AddData(U(data) + first, static_cast<std::int32_t>(length - first));
            capped.FinalDigest(actual);
            ASSERT_EQ(ToHex(actual, 64), ToHex(expected, 64)) << "tier cap " << limit << ", " << length << " bytes";
        }
    }
}

}  // namespace
}  // namespace mg::test
