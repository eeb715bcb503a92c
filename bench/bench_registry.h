// The benchmark's rows and how they are compared.
//
// A row is one piece of work done by several implementations on the same
// buffers: the library ("mg") and its peers ("openssl", "cryptopp", "botan",
// "mcrypt", "zlib", ...). Each (row, implementation) pair is one Google
// Benchmark named "<row>/<impl>"; the report prints per row the library's
// speed, the best peer's, their ratio and the goal set for the row.
//
// Source files of the benchmark register their rows from a static object:
//     static const bool kRegistered = (RegisterMyRows(), true);
// and may use the MG_BENCH_<PEER> macros (set to 1 by bench/CMakeLists.txt
// for every peer library found) to leave out what this machine lacks.
#ifndef MG_BENCH_BENCH_REGISTRY_H
#define MG_BENCH_BENCH_REGISTRY_H

#include <cstddef>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

namespace mg::bench {

// The buffer sizes that the in-memory rows are measured at, with the suffix
// their row names carry.
struct BufferSize {
    std::size_t bytes;
    const char* suffix;
};
inline constexpr BufferSize kBufferSizes[] = {{64 * 1024, "64K"}, {1024, "1K"}};

inline constexpr const char* kLibrary = "mg";

// Fixed pseudo-random input shared by every implementation, 64-byte aligned,
// at least kMaxBuffer bytes; and an output buffer of the same size.
inline constexpr std::size_t kMaxBuffer = 1024 * 1024;
const unsigned char* Input();
unsigned char* Output();

enum class Unit { kBytes, kCalls };

// Records that benchmark "<row>/<impl>" measures `amount` bytes (or calls)
// per iteration. Rows appear in the report in the order of their first
// declaration.
void Declare(const std::string& row, const std::string& impl, Unit unit, double amount, bool realTime);

// The goal for a row: library ÷ reference ≥ ratio. The reference is the best
// peer of the row when `against` is empty, the implementation `against` of
// the row otherwise, or the library's result in another row when `against`
// is "row:<name>".
void SetTarget(const std::string& row, double ratio, const std::string& against = "");
// The same with several references, of which the slowest measured one
// counts: a file function cannot beat the disk or the cipher, whichever is
// the bottleneck.
void SetTarget(const std::string& row, double ratio, const std::vector<std::string>& slowestOf);

// Registers a throughput benchmark: work() processes `bytes` bytes each time.
template <class Work>
void AddBytes(const std::string& row, const std::string& impl, std::size_t bytes, Work work, bool realTime = false)
{
    Declare(row, impl, Unit::kBytes, static_cast<double>(bytes), realTime);
    auto* b = benchmark::RegisterBenchmark((row + "/" + impl).c_str(), [work, bytes](benchmark::State& state) mutable {
        for (auto _ : state) {
            work();
            benchmark::ClobberMemory();
        }
        state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(bytes));
    });
    if (realTime) b->UseRealTime();
}

// Registers a benchmark counted in calls: work() is one call.
template <class Work>
void AddCalls(const std::string& row, const std::string& impl, Work work)
{
    Declare(row, impl, Unit::kCalls, 1.0, false);
    benchmark::RegisterBenchmark((row + "/" + impl).c_str(), [work](benchmark::State& state) mutable {
        for (auto _ : state) {
            work();
            benchmark::ClobberMemory();
        }
        state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
    });
}

// One measured result, as the reporter hands it back.
struct Measurement {
    std::string row;
    std::string impl;
    Unit unit;
    double rate;  // bytes or calls per second
};

// Collects the runs while Google Benchmark reports them (the best repetition
// counts), then prints the table and writes the JSON report.
class Report {
public:
    void Add(const std::string& benchmarkName, double iterations, double realSeconds, double cpuSeconds);
    std::string Table() const;            // Markdown
    std::string Json(const std::string& machine) const;
    static std::string MachineJson();     // CPU, compiler and peer versions
    static std::string MachineLine();     // the same for the table's heading

private:
    std::vector<Measurement> m_vResults;
};

}  // namespace mg::bench

#endif
