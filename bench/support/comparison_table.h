// The comparisons a program registered and the table that main() prints from their results; internal to
// the benchmark support.
//
// Rows are Markdown table rows, so that bench/run.sh can put the rows of all programs under one header.
#pragma once

#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "bench_support.h"

namespace vorn::bench {

struct RegisteredComparison
{
    ComparisonName name;
    std::string measuredBenchmark;
    std::string baselineBenchmark;
};

std::vector<RegisteredComparison>& comparisons();

void setSmokeRun(bool smoke);

struct MeasuredRun
{
    double nsPerOp = 0;
    std::optional<double> allocationsPerOp;
};

/** The Markdown header of the table. */
void printTableHeader(std::ostream& out);

/** One row per comparison whose two benchmarks both ran; in registration order. */
void printTableRows(std::ostream& out, const std::map<std::string, MeasuredRun>& runs);

} // namespace vorn::bench
