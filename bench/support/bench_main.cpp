// main() of every benchmark program: Google Benchmark's usual run and console output, then the
// comparison table. With VORN_BENCH_TABLE set to a file name the table is also appended to that file,
// its header only while the file is empty (bench/run.sh collects the rows of all programs there).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench_support.h"
#include "comparison_table.h"

namespace vorn::bench {

std::vector<RegisteredComparison>& comparisons()
{
    static std::vector<RegisteredComparison> registered;
    return registered;
}

namespace {

std::string formatTime(double ns)
{
    std::ostringstream out;
    out << std::fixed;
    if (ns < 10'000)
        out << std::setprecision(ns < 100 ? 2 : 0) << ns << " ns";
    else if (ns < 10'000'000)
        out << std::setprecision(1) << ns / 1e3 << " µs";
    else
        out << std::setprecision(1) << ns / 1e6 << " ms";
    return out.str();
}

std::string formatAllocations(const std::optional<double>& allocations)
{
    if (!allocations)
        return "n/a";
    std::ostringstream out;
    out << std::fixed << std::setprecision(*allocations < 10 ? 2 : 0) << *allocations;
    return out.str();
}

double toNanoseconds(double value, benchmark::TimeUnit unit)
{
    switch (unit) {
    case benchmark::kNanosecond:
        return value;
    case benchmark::kMicrosecond:
        return value * 1e3;
    case benchmark::kMillisecond:
        return value * 1e6;
    case benchmark::kSecond:
        return value * 1e9;
    }
    return value;
}

// Keeps what the table needs while the console reporter prints as usual.
class TableCollector : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run>& reports) override
    {
        ConsoleReporter::ReportRuns(reports);
        for (const Run& run : reports) {
            if (run.error_occurred) {
                ++m_failures;
                continue;
            }
            // With repetitions only the mean counts; a single run reports itself.
            const bool wanted = run.run_type == Run::RT_Iteration ? run.repetitions <= 1 : run.aggregate_name == "mean";
            if (!wanted)
                continue;
            MeasuredRun measured;
            // Benchmarks registered with the wall as their time base carry "real_time" in their names.
            const bool wallTime = run.run_name.time_type == "real_time";
            measured.nsPerOp =
                toNanoseconds(wallTime ? run.GetAdjustedRealTime() : run.GetAdjustedCPUTime(), run.time_unit);
            if (const auto counter = run.counters.find(kAllocationsCounter); counter != run.counters.end())
                measured.allocationsPerOp = counter->second.value;
            m_runs[run.run_name.function_name] = measured;
        }
    }

    const std::map<std::string, MeasuredRun>& runs() const { return m_runs; }
    /** Runs that ended with an error: the path under test did not do what it should. */
    int failures() const { return m_failures; }

private:
    std::map<std::string, MeasuredRun> m_runs;
    int m_failures = 0;
};

} // namespace

void printTableHeader(std::ostream& out)
{
    out << "| benchmark | input and path | time/op | allocs/op | baseline on the same bytes | baseline time/op | "
           "ratio |\n";
    out << "|---|---|---:|---:|---|---:|---:|\n";
}

void printTableRows(std::ostream& out, const std::map<std::string, MeasuredRun>& runs)
{
    for (const RegisteredComparison& comparison : comparisons()) {
        const auto measured = runs.find(comparison.measuredBenchmark);
        const auto baseline = runs.find(comparison.baselineBenchmark);
        if (measured == runs.end() || baseline == runs.end())
            continue;
        std::ostringstream ratio;
        if (baseline->second.nsPerOp > 0)
            ratio << std::fixed << std::setprecision(2) << measured->second.nsPerOp / baseline->second.nsPerOp;
        else
            ratio << "n/a";
        out << "| " << comparison.name.group << " | " << comparison.name.subject << " | "
            << formatTime(measured->second.nsPerOp) << " | " << formatAllocations(measured->second.allocationsPerOp)
            << " | " << comparison.name.baseline << " | " << formatTime(baseline->second.nsPerOp) << " | "
            << ratio.str() << " |\n";
    }
}

} // namespace vorn::bench

int main(int argc, char** argv)
{
    // Our own flag goes before Google Benchmark sees the arguments, which would refuse it.
    std::vector<char*> arguments;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--vorn_smoke") == 0)
            vorn::bench::setSmokeRun(true);
        else
            arguments.push_back(argv[i]);
    }
    int count = static_cast<int>(arguments.size());
    arguments.push_back(nullptr);
    benchmark::Initialize(&count, arguments.data());
    if (benchmark::ReportUnrecognizedArguments(count, arguments.data()))
        return 1;

    vorn::bench::TableCollector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);
    benchmark::Shutdown();

    std::cout << "\n";
    vorn::bench::printTableHeader(std::cout);
    vorn::bench::printTableRows(std::cout, collector.runs());
    if (const char* tablePath = std::getenv("VORN_BENCH_TABLE"); tablePath != nullptr && *tablePath != '\0') {
        std::error_code error;
        const bool empty =
            !std::filesystem::exists(tablePath, error) || std::filesystem::file_size(tablePath, error) == 0;
        std::ofstream table(tablePath, std::ios::app);
        if (empty)
            vorn::bench::printTableHeader(table);
        vorn::bench::printTableRows(table, collector.runs());
        if (!table) {
            std::cerr << "cannot append the table to " << tablePath << "\n";
            return 1;
        }
    }
    if (collector.failures() > 0) {
        std::cerr << collector.failures() << " benchmark(s) failed\n";
        return 1;
    }
    return 0;
}
