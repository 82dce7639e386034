// The allocation counter of the benchmark programs: a malloc family that the program interposes, so that
// every allocation of the process, the plugin libraries' and Qt's included, is counted.
//
//     const std::uint64_t before = allocationCount();
//     ... the work, on any threads of this process ...
//     if (allocationCountingWorks()) report(allocationCount() - before);
//
// Linked as an object library (vorn_bench_allocation_counter), so that the counting malloc always lands
// in the program. Under AddressSanitizer the sanitizer owns malloc, so nothing is counted.
#pragma once

#include <cstdint>

namespace vorn::bench {

/** False when another allocator owns malloc (sanitizer builds); counts are then meaningless. */
bool allocationCountingWorks();

/** Allocations (malloc, calloc, realloc to a new block, aligned allocations) since the program began. */
std::uint64_t allocationCount();

} // namespace vorn::bench
