// The tier cap: MG_ACCEL_LIMIT must reach every kernel choice, so that a
// machine with AVX-512 measures what processors without it run. The same
// binary runs uncapped, with MG_ACCEL_LIMIT=2 and with MG_ACCEL_LIMIT=1.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "checksum/crc_kernels.h"
#include "cipher/rijndael.h"
#include "cpu/cpu_features.h"
#include "digest/digest_kernels.h"

namespace mg {
namespace {

int EnvLimit()
{
    const char* value = std::getenv("MG_ACCEL_LIMIT");
    return value != nullptr && *value >= '0' && *value <= '9' ? std::atoi(value) : kTierAvx512;
}

CpuFeatures AllOn()
{
    CpuFeatures f;
    f.sse2 = f.ssse3 = f.sse41 = f.aesni = f.pclmul = f.sha = true;
    f.avx = f.avx2 = f.bmi1 = f.bmi2 = true;
    f.avx512f = f.avx512bw = f.avx512vl = f.avx512ifma = true;
    f.vaes = f.vpclmul = true;
    return f;
}

template <class Fn>
std::string ChosenName(std::span<const DigestKernel<Fn>> kernels, const CpuFeatures& cpu)
{
    for (const auto& k : kernels)
        if (k.usable(cpu)) return k.name;
    return kernels.back().name;
}

TEST(AccelLimit, CapClearsExactlyTheExtensionsAboveTheTier)
{
    const CpuFeatures tier2 = CapFeatures(AllOn(), kTier256);
    EXPECT_FALSE(tier2.avx512f || tier2.avx512bw || tier2.avx512vl || tier2.avx512ifma);
    EXPECT_TRUE(tier2.avx2 && tier2.vaes && tier2.vpclmul && tier2.aesni && tier2.sha && tier2.bmi1 && tier2.bmi2);

    const CpuFeatures tier1 = CapFeatures(AllOn(), kTier128);
    EXPECT_FALSE(tier1.avx || tier1.avx2 || tier1.bmi1 || tier1.bmi2 || tier1.vaes || tier1.vpclmul || tier1.avx512f);
    EXPECT_TRUE(tier1.aesni && tier1.pclmul && tier1.sha && tier1.ssse3 && tier1.sse41);

    const CpuFeatures none = CapFeatures(AllOn(), kTierPortable);
    EXPECT_FALSE(none.sse2 || none.aesni || none.pclmul || none.sha);

    const CpuFeatures all = CapFeatures(AllOn(), kTierAvx512);
    EXPECT_TRUE(all.avx512f && all.avx512bw && all.avx512vl);
}

TEST(AccelLimit, KernelChoicesOfACappedCpuHaveNoWideKernels)
{
    const CpuFeatures tier2 = CapFeatures(AllOn(), kTier256);
    EXPECT_LE(ChooseCrcKernels(tier2).tier, kTier256);
    EXPECT_EQ(std::string(ChosenName(Sha512Kernels(), tier2)).find("avx512"), std::string::npos);

    const CpuFeatures tier1 = CapFeatures(AllOn(), kTier128);
    EXPECT_LE(ChooseCrcKernels(tier1).tier, kTier128);
    const std::string sha512 = ChosenName(Sha512Kernels(), tier1);
    EXPECT_EQ(sha512.find("avx"), std::string::npos) << sha512;
}

TEST(AccelLimit, EnvironmentCapReachesTheProcessWideFeatures)
{
    const int limit = EnvLimit();
    const CpuFeatures& cpu = Cpu();
    const CpuFeatures detected = DetectCpu();
    if (std::getenv("MG_PORTABLE") != nullptr) GTEST_SKIP() << "MG_PORTABLE overrides the cap";
    EXPECT_EQ(std::memcmp(&cpu, &detected, sizeof cpu) == 0, limit >= kTierAvx512);
    if (limit < kTierAvx512) {
        EXPECT_FALSE(cpu.avx512f || cpu.avx512bw || cpu.avx512vl);
    }
    if (limit < kTier256) {
        EXPECT_FALSE(cpu.avx2 || cpu.vaes || cpu.vpclmul);
    }

    // A cipher that picks its tier itself stays at or below the cap.
    for (int blockSize : {16, 24, 32}) {
        CRijndael c;
        const unsigned char key[32] = {1, 2, 3};
        c.Initialize(key, 32, nullptr, blockSize, 32, 0, 0);
        EXPECT_LE(c.Accel(), limit) << "block size " << blockSize;
    }
    EXPECT_LE(ChooseCrcKernels(cpu).tier, limit);
    if (limit < kTierAvx512) {
        EXPECT_EQ(std::string(ChosenName(Sha512Kernels(), cpu)).find("avx512"), std::string::npos);
    }
}

}  // namespace
}  // namespace mg
