#include "bench_support.h"

#include <utility>

#include "comparison_table.h"

namespace vorn::bench {

namespace {

bool g_smokeRun = false;

} // namespace

void setSmokeRun(bool smoke)
{
    g_smokeRun = smoke;
}

bool isSmokeRun()
{
    return g_smokeRun;
}

void registerComparison(const ComparisonName& name, BenchmarkFunction measured, BenchmarkFunction baseline,
                        TimeBase timeBase)
{
    const std::string measuredName = name.group + ": " + name.subject;
    const std::string baselineName = measuredName + " [baseline: " + name.baseline + "]";
    comparisons().push_back({name, measuredName, baselineName});
    for (auto* registered : {benchmark::RegisterBenchmark(measuredName.c_str(), std::move(measured)),
                             benchmark::RegisterBenchmark(baselineName.c_str(), std::move(baseline))}) {
        registered->Unit(benchmark::kNanosecond);
        // The table then reads the wall time (bench_main.cpp).
        if (timeBase == TimeBase::wall)
            registered->UseRealTime();
    }
}

AllocationMeter::AllocationMeter(benchmark::State& state)
    : m_state(state)
    , m_start(allocationCount())
{}

void AllocationMeter::stop()
{
    if (m_stopped)
        return;
    m_stopped = true;
    const std::uint64_t allocations = allocationCount() - m_start;
    if (allocationCountingWorks()) {
        m_state.counters[kAllocationsCounter] =
            benchmark::Counter(static_cast<double>(allocations), benchmark::Counter::kAvgIterations);
    }
}

} // namespace vorn::bench
