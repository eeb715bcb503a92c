// A statistical timing test in the manner of dudect (Reparaz, Balasch,
// Verbauwhede, "Dude, is my code constant time?", 2017), for the tiers that
// Valgrind cannot execute (AVX-512, VAES, SHA extensions), so that
// tests/ct/ct_memcheck.cpp cannot check them.
//
// Each path runs on secrets (round keys, chain, data) drawn from one of two
// classes, chosen at random for every measurement: a fixed value, or fresh
// random bytes. The time of each call is taken with the time-stamp counter.
// If the time depended on the secrets, the two classes would differ in mean;
// Welch's t statistic measures that difference. As in dudect, the largest
// measurements are cropped at a few percentiles (interrupts and migrations
// make a long tail that hides small differences) and the largest |t| counts.
// |t| above 10 fails the path; dudect's own threshold for "probably leaks" is
// 4.5. A deliberately leaky control (a compare that stops at the first
// difference) must exceed 10, so that a quiet result means something.
//
//     ct_timing [measurements per path, default 200000]
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "cipher/rijndael_accel.h"
#include "cipher/tea_accel.h"
#include "cpu/cpu_features.h"
#include "digest/digest_kernels.h"

#if defined(__x86_64__) || defined(__i386__)
#include <x86intrin.h>
#define MG_HAVE_TSC 1
#endif

namespace mg {
namespace {

#ifdef MG_HAVE_TSC
// lfence is SSE2, which the 32-bit builds do not assume.
__attribute__((target("sse2"))) std::uint64_t Ticks() {
    _mm_lfence();
    const std::uint64_t t = __rdtsc();
    _mm_lfence();
    return t;
}
#endif

struct Welch {
    double n[2] = {0, 0};
    double mean[2] = {0, 0};
    double m2[2] = {0, 0};

    void Add(int cls, double x) {
        n[cls] += 1;
        const double delta = x - mean[cls];
        mean[cls] += delta / n[cls];
        m2[cls] += delta * (x - mean[cls]);
    }
    double T() const {
        if (n[0] < 2 || n[1] < 2) return 0;
        const double v0 = m2[0] / (n[0] - 1);
        const double v1 = m2[1] / (n[1] - 1);
        const double se = std::sqrt(v0 / n[0] + v1 / n[1]);
        return se > 0 ? (mean[0] - mean[1]) / se : 0;
    }
};

// One path: `secretBytes` bytes of secrets, which Run reads.
struct Path {
    std::string name;
    std::size_t secretBytes;
    std::function<void(const unsigned char* secrets)> run;
};

struct Result {
    double maxT;
    double cycles;
};

Result Measure(const Path& path, std::size_t measurements, std::mt19937_64& random) {
    constexpr std::size_t kWarmUp = 1000;
    constexpr std::size_t kBatch = 4096;
    std::vector<unsigned char> fixed(path.secretBytes);
    for (auto& b : fixed) b = static_cast<unsigned char>(random());
    // Both classes are drawn for a whole batch before any is timed, and each
    // measurement copies its secrets from the batch in the same way: work done
    // only for one class (drawing random numbers, say) would show in the
    // other's times.
    std::vector<unsigned char> batch(kBatch * path.secretBytes);
    std::vector<std::uint8_t> batchClass(kBatch);
    std::vector<unsigned char> secrets(path.secretBytes);
    std::vector<double> times(measurements);
    std::vector<std::uint8_t> classes(measurements);
    for (std::size_t done = 0; done < measurements + kWarmUp; done += kBatch) {
        for (std::size_t k = 0; k < kBatch; ++k) {
            batchClass[k] = static_cast<std::uint8_t>(random() & 1);
            unsigned char* slot = batch.data() + k * path.secretBytes;
            if (batchClass[k] == 0) {
                std::memcpy(slot, fixed.data(), path.secretBytes);
            } else {
                for (std::size_t j = 0; j < path.secretBytes; ++j) slot[j] = static_cast<unsigned char>(random());
            }
        }
        for (std::size_t k = 0; k < kBatch && done + k < measurements + kWarmUp; ++k) {
            std::memcpy(secrets.data(), batch.data() + k * path.secretBytes, path.secretBytes);
#ifdef MG_HAVE_TSC
            const std::uint64_t start = Ticks();
            path.run(secrets.data());
            const std::uint64_t end = Ticks();
#else
            const std::uint64_t start = 0, end = 0;
            path.run(secrets.data());
#endif
            const std::size_t i = done + k;
            if (i < kWarmUp) continue;  // warming up caches and the clock
            times[i - kWarmUp] = static_cast<double>(end - start);
            classes[i - kWarmUp] = batchClass[k];
        }
    }
    std::vector<double> sorted = times;
    std::sort(sorted.begin(), sorted.end());
    Result result{0, sorted[sorted.size() / 2]};
    for (double keep : {1.0, 0.99, 0.95, 0.9, 0.75, 0.5}) {
        const double limit = sorted[std::min(sorted.size() - 1, static_cast<std::size_t>(keep * static_cast<double>(sorted.size())))];
        Welch welch;
        for (std::size_t i = 0; i < measurements; ++i)
            if (keep == 1.0 || times[i] < limit) welch.Add(classes[i], times[i]);
        result.maxT = std::max(result.maxT, std::fabs(welch.T()));
    }
    return result;
}

constexpr std::size_t kBlocks = 19;

void AddRijndael(std::vector<Path>& paths) {
    for (std::int32_t blockSize : {16, 24, 32}) {
        std::int32_t level = 0;
        const rijndael_accel::Kernels* kernels = rijndael_accel::Select(3, blockSize, &level);
        if (kernels == nullptr || level != 3) continue;
        const char* modes[] = {"ECB", "CBC", "CFB", "OFB"};
        for (std::int32_t mode = 0; mode <= 3; ++mode) {
            for (bool encrypt : {true, false}) {
                if (mode == 3 && !encrypt) continue;  // OFB decrypts as it encrypts
                const std::size_t bytes = kBlocks * static_cast<std::size_t>(blockSize);
                auto keys = std::make_shared<rijndael_accel::Keys>();
                auto work = std::make_shared<std::vector<unsigned char>>(2 * bytes + 32);
                paths.push_back({"Rijndael VAES block " + std::to_string(blockSize) + " " + modes[mode] +
                                     (encrypt ? " encrypt" : " decrypt"),
                                 sizeof(rijndael_accel::Keys) + 32 + bytes,
                                 [=](const unsigned char* s) {
                                     std::memcpy(keys.get(), s, sizeof *keys);
                                     unsigned char* chain = work->data();
                                     std::memcpy(chain, s + sizeof *keys, 32);
                                     const unsigned char* in = s + sizeof *keys + 32;
                                     (encrypt ? kernels->encrypt : kernels->decrypt)(*keys, 14, mode, chain, in,
                                                                                     work->data() + 32, kBlocks);
                                 }});
            }
        }
    }
}

void AddTea(std::vector<Path>& paths) {
    std::int32_t level = 0;
    const tea_accel::Kernels* kernels = tea_accel::Select(3, &level);
    if (kernels == nullptr || level != 3) return;
    for (std::int32_t mode : {0, 1}) {
        for (bool encrypt : {true, false}) {
            constexpr std::size_t kBytes = 8 * 40;
            auto schedule = std::make_shared<tea_accel::Schedule>();
            auto work = std::make_shared<std::vector<unsigned char>>(kBytes + 8);
            paths.push_back({std::string("TEA AVX-512 ") + (mode == 0 ? "ECB" : "CBC") + (encrypt ? " encrypt" : " decrypt"),
                             16 + 8 + kBytes, [=](const unsigned char* s) {
                                 std::uint32_t key[4];
                                 std::memcpy(key, s, 16);
                                 tea_accel::MakeSchedule(key, *schedule);
                                 unsigned char* chain = work->data();
                                 std::memcpy(chain, s + 16, 8);
                                 (encrypt ? kernels->encrypt : kernels->decrypt)(*schedule, mode, chain, s + 24,
                                                                                 work->data() + 8, kBytes / 8);
                             }});
        }
    }
}

template <class Fn, class Word>
void AddDigest(std::vector<Path>& paths, const char* algorithm, std::span<const DigestKernel<Fn>> kernels,
               std::size_t blockBytes, std::initializer_list<const char*> names) {
    for (const auto& kernel : kernels) {
        if (std::find_if(names.begin(), names.end(), [&](const char* n) { return std::strcmp(n, kernel.name) == 0; }) ==
                names.end() ||
            !kernel.usable(Cpu()))
            continue;
        const Fn compress = kernel.compress;
        paths.push_back({std::string(algorithm) + " " + kernel.name, sizeof(Word) * 8 + 2 * blockBytes,
                         [=](const unsigned char* s) {
                             Word state[8];
                             std::memcpy(state, s, sizeof state);
                             compress(state, s + sizeof state, 2);
                         }});
    }
}

// The control: the fixed class compares equal all the way, the random class
// stops at the first byte.
volatile int g_compareResult = 0;
void AddControl(std::vector<Path>& paths) {
    static unsigned char reference[256];
    paths.push_back({"control: compare that stops early (must leak)", sizeof reference, [](const unsigned char* s) {
                         std::size_t i = 0;
                         while (i < sizeof reference && s[i] == reference[i]) ++i;
                         g_compareResult = static_cast<int>(i);
                     }});
    // The fixed class must equal the reference: Measure draws it first from the same seed.
    std::mt19937_64 random(7);
    for (auto& b : reference) b = static_cast<unsigned char>(random());
}

}  // namespace
}  // namespace mg

int main(int argc, char** argv) {
    using namespace mg;
    const std::size_t measurements = argc > 1 ? static_cast<std::size_t>(std::strtoull(argv[1], nullptr, 10)) : 200000;
#ifndef MG_HAVE_TSC
    std::printf("no time-stamp counter on this target: nothing measured\n");
    return 0;
#endif
    std::vector<Path> paths;
    AddControl(paths);
    AddRijndael(paths);
    AddTea(paths);
    AddDigest<Compress32Fn, std::uint32_t>(paths, "SHA-1", Sha1Kernels(), 64, {"sha-ni"});
    AddDigest<Compress32Fn, std::uint32_t>(paths, "SHA-256", Sha256Kernels(), 64, {"sha-ni"});
    AddDigest<Compress64Fn, std::uint64_t>(paths, "SHA-512", Sha512Kernels(), 128, {"avx512vl", "xmm-pair-avx512vl"});
    if (paths.size() == 1) std::printf("this CPU has none of the tiers Valgrind cannot run: only the control runs\n");

    int failures = 0;
    std::printf("%-46s %10s %8s  %s\n", "path", "cycles", "max |t|", "verdict (fails above 10)");
    for (std::size_t i = 0; i < paths.size(); ++i) {
        std::mt19937_64 random(7);
        const Result r = Measure(paths[i], measurements, random);
        const bool control = i == 0;
        const bool leaks = r.maxT > 10;
        const char* verdict = control ? (leaks ? "leak found, as it must be" : "CONTROL NOT DETECTED")
                                      : (leaks ? "LEAKS" : r.maxT > 4.5 ? "no evidence of a leak (above 4.5: rerun)"
                                                                        : "no evidence of a leak");
        if (leaks != control) ++failures;
        std::printf("%-46s %10.0f %8.2f  %s\n", paths[i].name.c_str(), r.cycles, r.maxT, verdict);
        std::fflush(stdout);
    }
    std::printf("%zu measurements per path; %d failed\n", measurements, failures);
    return failures == 0 ? 0 : 1;
}
