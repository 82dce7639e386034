// Running a program to its end from trailhead's Wine tests, with its standard output and error read
// and a deadline after which it is killed.
//
//     const ProcessResult result = runProcess({wine, "C:\\Tools\\trailhead.exe", "--exec"}, 60s);
//     if (result.timedOut) ...; result.exitCode, result.output
//
// The program inherits this process's environment (WINEPREFIX and friends are set once in main).
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace vorn::trailhead::testing {

struct ProcessResult
{
    bool started = false;
    bool timedOut = false;
    int exitCode = -1;  ///< -1 when the program did not end by itself
    std::string output; ///< standard output
    std::string errors; ///< standard error
};

ProcessResult runProcess(const std::vector<std::string>& arguments, std::chrono::milliseconds deadline);

} // namespace vorn::trailhead::testing
