// What every benchmark program shares: comparisons of a hot path with a baseline, the allocation counter
// and the smoke-run switch.
//
// A comparison is two Google Benchmark cases over the same bytes, run in the same program: the path
// under test and a baseline that does the least any implementation must do (check the CRC, parse the
// JSON, copy the bytes). The program's main prints, after the usual console output, one table row per
// comparison with both times and their ratio, so a row means the same on any machine:
//
//     registerComparison({"VCA frame read", "200 B frame", "CRC-16 + JSON parse"},
//         [](benchmark::State& state) {
//             const std::string frame = makeFrame();
//             AllocationMeter allocations(state);     // counts from here to the end of the scope
//             for (auto _: state)
//                 benchmark::DoNotOptimize(readFrame(frame));
//         },
//         [](benchmark::State& state) { ... the baseline over the same frame ... });
//
// Allocations are counted by a malloc that the program interposes (Qt's and the standard library's
// allocations all end there). Under AddressSanitizer the sanitizer owns malloc, so nothing is counted
// and the table shows "n/a".
//
// The CTest smoke run passes --vorn_smoke: benchmarks then build smaller inputs (see scaled()), so the
// sanitised test suite stays fast while every code path of the programs still runs.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include <benchmark/benchmark.h>

#include "allocation_counter.h"

namespace vorn::bench {

struct ComparisonName
{
    std::string group;    //< What is measured ("VCA frame read").
    std::string subject;  //< The input and path of this row ("8 MiB chunked frame with image").
    std::string baseline; //< What the baseline does on the same bytes ("CRC-16 + JSON parse").
};

using BenchmarkFunction = std::function<void(benchmark::State&)>;

// What a row's times are: the program's CPU time (the default: hot paths that compute), or the time on
// the wall, for paths that wait on the disk or on another process (a baseline that runs a tool).
enum class TimeBase { cpu, wall };

/** Registers the pair; the table row's ratio is measured time / baseline time. */
void registerComparison(const ComparisonName& name, BenchmarkFunction measured, BenchmarkFunction baseline,
                        TimeBase timeBase = TimeBase::cpu);

/** True in the CTest smoke run. */
bool isSmokeRun();

/** `full` in a real run, `smoke` in the smoke run. */
template <typename T>
T scaled(T full, T smoke)
{
    return isSmokeRun() ? smoke : full;
}

/** Sets the state's "allocs/op" counter to the allocations per iteration between construction and stop(). */
class AllocationMeter
{
public:
    explicit AllocationMeter(benchmark::State& state);
    ~AllocationMeter() { stop(); }
    AllocationMeter(const AllocationMeter&) = delete;
    AllocationMeter& operator=(const AllocationMeter&) = delete;

    void stop();

private:
    benchmark::State& m_state;
    std::uint64_t m_start = 0;
    bool m_stopped = false;
};

inline constexpr char kAllocationsCounter[] = "allocs/op";

} // namespace vorn::bench
