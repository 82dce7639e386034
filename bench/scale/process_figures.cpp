#include "process_figures.h"

#include <malloc.h>
#include <sys/resource.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

namespace vorn::bench::scale {

std::size_t threadCount()
{
    std::error_code error;
    std::size_t count = 0;
    for (std::filesystem::directory_iterator it("/proc/self/task", error), end; !error && it != end;
         it.increment(error)) {
        ++count;
    }
    return error ? 0 : count;
}

std::size_t residentBytes()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        // "VmRSS:	   12345 kB"
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stoull(line.substr(std::strlen("VmRSS:"))) * 1024;
    }
    return 0;
}

std::size_t heapBytesInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

std::string loadAverage()
{
    std::ifstream file("/proc/loadavg");
    std::string oneMinute;
    file >> oneMinute;
    return oneMinute;
}

double cpuSeconds()
{
    rusage usage{};
    if (getrusage(RUSAGE_SELF, &usage) != 0)
        return 0;
    const auto seconds = [](const timeval& time) { return static_cast<double>(time.tv_sec) + time.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

std::string raiseFileLimit()
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return std::string("getrlimit: ") + std::strerror(errno);
    if (limit.rlim_cur == limit.rlim_max)
        return {};
    limit.rlim_cur = limit.rlim_max;
    if (setrlimit(RLIMIT_NOFILE, &limit) != 0)
        return std::string("setrlimit: ") + std::strerror(errno);
    return {};
}

} // namespace vorn::bench::scale
