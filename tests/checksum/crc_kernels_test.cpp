// The folding CRC engines against the portable tables: every length across the
// folding thresholds, unaligned data, carried-in registers, and for the CRC-16
// of a value the first NUL at every position around the block boundaries.

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "checksum/crc.h"
#include "checksum/crc_kernels.h"
#include "cpu/cpu_features.h"

namespace mg {
namespace {

std::vector<unsigned char> RandomBytes(std::size_t n, std::mt19937& random, bool nulFree) {
    std::vector<unsigned char> bytes(n);
    for (auto& b : bytes) {
        b = static_cast<unsigned char>(random());
        if (nulFree && b == 0) b = 0xA5;
    }
    return bytes;
}

// The variants this CPU can run, without the portable one.
std::vector<const CrcKernels*> AcceleratedKernels() {
    std::vector<const CrcKernels*> out;
    const CpuFeatures cpu = DetectCpu();
    const auto all = AllCrcKernels();
    for (const auto& k : all.first(all.size() - 1))
        if (k.usable(cpu)) out.push_back(&k);
    return out;
}

const CrcKernels& Portable() { return AllCrcKernels().back(); }

TEST(CrcKernels, SelectionFallsBackToPortable) { EXPECT_EQ(&ChooseCrcKernels(CpuFeatures{}), &Portable()); }

// A cap on the tier picks the best variant at or below it, so that a machine
// with AVX-512 runs what one without it would; tiers fall from best to last.
TEST(CrcKernels, TierCapSelectsTheBestVariantBelowIt) {
    const CpuFeatures cpu = DetectCpu();
    const auto all = AllCrcKernels();
    for (std::size_t i = 1; i < all.size(); ++i) EXPECT_LT(all[i].tier, all[i - 1].tier) << all[i].name;
    EXPECT_EQ(Portable().tier, 0);
    for (int limit = 0; limit <= 3; ++limit) {
        const CrcKernels& chosen = ChooseCrcKernels(cpu, limit);
        EXPECT_LE(chosen.tier, limit);
        for (const auto& k : all)
            if (k.tier <= limit && k.usable(cpu)) {
                EXPECT_EQ(&chosen, &k) << "limit " << limit;
                break;
            }
    }
}

TEST(CrcKernels, EveryLengthAlignmentAndCarriedRegister) {
    const auto kernels = AcceleratedKernels();
    if (kernels.empty()) GTEST_SKIP() << "no accelerated variant runs on this CPU";
    std::mt19937 random(99);
    const std::vector<unsigned char> data = RandomBytes(70000, random, false);
    for (const CrcKernels* k : kernels) {
        std::vector<std::size_t> lengths;
        for (std::size_t n = 0; n <= 1100; ++n) lengths.push_back(n);
        for (int i = 0; i < 200; ++i) lengths.push_back(random() % 69000);
        for (std::size_t n : lengths) {
            const unsigned char* p = data.data() + random() % 64;
            const std::uint32_t r32 = n % 3 == 0 ? 0 : static_cast<std::uint32_t>(random());
            const auto r16 = static_cast<std::uint16_t>(n % 3 == 0 ? 0 : random());
            ASSERT_EQ(k->crc32(r32, p, n), Portable().crc32(r32, p, n)) << k->name << " CRC-32 of " << n;
            ASSERT_EQ(k->crc16(r16, p, n), Portable().crc16(r16, p, n)) << k->name << " CRC-16 of " << n;
        }
    }
}

TEST(CrcKernels, Crc16OfValueStopsAtTheFirstNulWherever) {
    const auto kernels = AcceleratedKernels();
    if (kernels.empty()) GTEST_SKIP() << "no accelerated variant runs on this CPU";
    std::mt19937 random(17);
    const std::vector<unsigned char> text = RandomBytes(5000, random, true);
    for (const CrcKernels* k : kernels) {
        // Positions around the 64- and 256-byte steps of the folding loops.
        for (std::size_t nul = 0; nul < 1300; ++nul) {
            std::vector<unsigned char> value(text);
            value[nul] = 0;
            if (nul + 7 < value.size()) value[nul + 7] = 0;  // a second NUL must not matter
            for (std::size_t length : {nul, nul + 1, nul + 100, std::size_t{4999}}) {
                const std::uint16_t expected = Portable().crc16(0, value.data(), std::min(nul, length));
                ASSERT_EQ(k->crc16UntilNul(0, value.data(), length), expected)
                    << k->name << ": NUL at " << nul << ", length " << length;
                ASSERT_EQ(Portable().crc16UntilNul(0, value.data(), length), expected);
            }
        }
        for (std::size_t length : {std::size_t{0}, std::size_t{63}, std::size_t{256}, std::size_t{4999}})
            ASSERT_EQ(k->crc16UntilNul(0x1234, text.data(), length), Portable().crc16(0x1234, text.data(), length));
    }
}

}  // namespace
}  // namespace mg
