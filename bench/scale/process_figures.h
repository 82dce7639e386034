// What the scale benchmark reads about its own process: its threads, its resident memory, and the
// limit on open files that a thousand camera connections run into.
//
//     raiseFileLimit();                       // before the first connection
//     const std::size_t before = residentBytes();
//     ... create the agents ...
//     const double perAgent = double(residentBytes() - before) / agents;
//
// Both figures come from /proc/self, so they count whatever the process holds, the plugin's threads and
// memory as much as the benchmark's own.
#pragma once

#include <cstddef>
#include <string>

namespace vorn::bench::scale {

/** The threads of this process now (the entries of /proc/self/task); 0 when it cannot be read. */
std::size_t threadCount();

/** Resident memory of this process now, in bytes (VmRSS of /proc/self/status); 0 when unreadable. */
std::size_t residentBytes();

/** Heap memory in use now (malloc's blocks, mapped ones included), in bytes; 0 where malloc does not say. */
std::size_t heapBytesInUse();

/** The system's load average over the last minute, as /proc/loadavg gives it; empty when unreadable. */
std::string loadAverage();

/** CPU time this process has used so far, its threads' user and system time together, in seconds. */
double cpuSeconds();

/**
 * Raises the soft limit on open files to the hard one: every agent holds a socket, and the usual soft
 * limit of 1024 is below what a thousand cameras need. Empty on success, else what failed.
 */
std::string raiseFileLimit();

} // namespace vorn::bench::scale
