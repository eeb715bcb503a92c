// Runs every registered row, then prints the comparison table and writes it,
// with the JSON report, where --report=<file stem> says (default
// "bench-report": bench-report.md and bench-report.json).
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench/bench_registry.h"

namespace {

// Google Benchmark's console output, plus a copy of every run for the table.
class CollectingReporter : public benchmark::ConsoleReporter {
public:
    explicit CollectingReporter(mg::bench::Report& report) : m_report(report) {}

    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
            m_report.Add(run.run_name.function_name, static_cast<double>(run.iterations), run.real_accumulated_time,
                         run.cpu_accumulated_time);
        }
        ConsoleReporter::ReportRuns(runs);
    }

private:
    mg::bench::Report& m_report;
};

}  // namespace

int main(int argc, char** argv)
{
    std::string stem = "bench-report";
    std::vector<char*> rest;
    for (int i = 0; i < argc; ++i) {
        if (std::strncmp(argv[i], "--report=", 9) == 0)
            stem = argv[i] + 9;
        else
            rest.push_back(argv[i]);
    }
    int restCount = static_cast<int>(rest.size());
    benchmark::Initialize(&restCount, rest.data());
    if (benchmark::ReportUnrecognizedArguments(restCount, rest.data())) return 1;

    mg::bench::Report report;
    CollectingReporter reporter(report);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    // The peers' objects live in the registered benchmarks; they must go
    // while the peer libraries are still whole, not among the static
    // destructors at exit (Botan's memory pool is gone by then).
    benchmark::ClearRegisteredBenchmarks();
    benchmark::Shutdown();

    const std::string machine = mg::bench::Report::MachineLine();
    const std::string table = "Machine: " + machine + "\n\n" + report.Table();
    std::cout << "\n" << table;
    std::ofstream(stem + ".md") << table;
    std::ofstream(stem + ".json") << report.Json(mg::bench::Report::MachineJson());
    std::cout << "\nReport written to " << stem << ".md and " << stem << ".json\n";
    return 0;
}
