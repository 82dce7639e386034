// bench_scale: how one server process carries many cameras of a plugin. Each row is a scenario (a plugin,
// its fake cameras, a number of agents): its threads, the resident memory of each idle agent, and the
// latency from a camera's push to the server's receiver under a steady event rate.
//
//     bench_scale [--benchmark_filter=REGEX] [--vorn_smoke]
//
// Each scenario runs in a child process of its own (and its cameras in one more), so that no run inherits
// the threads or the freed memory of another. Other --benchmark_* arguments, which bench/run.sh hands to
// every program, are accepted and ignored. The table goes to stdout and, when VORN_BENCH_FIGURES names a
// file, is appended to it; the exit status is 1 when a scenario failed (a channel that did not come up,
// an event that did not arrive).
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <boost/json.hpp>

#include "hornbeam_scale.h"
#include "larkspur_scale.h"
#include "scale_run.h"

namespace {

namespace json = boost::json;
using namespace vorn::bench::scale;

// What the goals of the table are measured against.
constexpr double kResidentGoalBytes = 64 * 1024;
constexpr double kP99GoalNs = 1'000'000;

std::string rowName(const ScaleScenario& scenario)
{
    return scenario.name + "/" + std::to_string(scenario.agents);
}

json::object toJson(const ScaleFigures& figures)
{
    return {{"agents", figures.agents},
            {"liveAgents", figures.liveAgents},
            {"threadsIdle", figures.threadsIdle},
            {"threadsAtLoad", figures.threadsAtLoad},
            {"residentBytesPerAgent", figures.residentBytesPerAgent},
            {"heapBytesPerAgent", figures.heapBytesPerAgent},
            {"createSeconds", figures.createSeconds},
            {"events", figures.events},
            {"received", figures.received},
            {"pushSeconds", figures.pushSeconds},
            {"cpuPerEventUs", figures.cpuPerEventUs},
            {"allocationsPerEvent", figures.allocationsPerEvent},
            {"p50Ns", figures.p50Ns},
            {"p99Ns", figures.p99Ns},
            {"maxNs", figures.maxNs},
            {"loadAverage", figures.loadAverage},
            {"error", figures.error}};
}

ScaleFigures fromJson(const json::object& object)
{
    ScaleFigures figures;
    figures.agents = object.at("agents").to_number<std::size_t>();
    figures.liveAgents = object.at("liveAgents").to_number<std::size_t>();
    figures.threadsIdle = object.at("threadsIdle").to_number<std::size_t>();
    figures.threadsAtLoad = object.at("threadsAtLoad").to_number<std::size_t>();
    figures.residentBytesPerAgent = object.at("residentBytesPerAgent").to_number<double>();
    figures.heapBytesPerAgent = object.at("heapBytesPerAgent").to_number<double>();
    figures.createSeconds = object.at("createSeconds").to_number<double>();
    figures.events = object.at("events").to_number<std::size_t>();
    figures.received = object.at("received").to_number<std::size_t>();
    figures.pushSeconds = object.at("pushSeconds").to_number<double>();
    figures.cpuPerEventUs = object.at("cpuPerEventUs").to_number<double>();
    figures.allocationsPerEvent = object.at("allocationsPerEvent").to_number<double>();
    figures.p50Ns = object.at("p50Ns").to_number<std::int64_t>();
    figures.p99Ns = object.at("p99Ns").to_number<std::int64_t>();
    figures.maxNs = object.at("maxNs").to_number<std::int64_t>();
    figures.loadAverage = std::string(object.at("loadAverage").as_string());
    figures.error = std::string(object.at("error").as_string());
    return figures;
}

// The scenario in a child process: this one stays single-threaded, so that every child can fork again.
ScaleFigures runInChild(const ScaleScenario& scenario)
{
    ScaleFigures failed;
    failed.agents = scenario.agents;
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        return failed.error = "pipe failed", failed;
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0)
        return failed.error = "fork failed", failed;
    if (pid == 0) {
        ::close(pipeFds[0]);
        const std::string line = json::serialize(toJson(runScaleScenario(scenario))) + "\n";
        const bool written = ::write(pipeFds[1], line.data(), line.size()) == static_cast<ssize_t>(line.size());
        // Not exit(): the plugin library is unloaded, and this copy's static objects are the parent's.
        ::_exit(written ? 0 : 1);
    }
    ::close(pipeFds[1]);
    std::string line;
    char buffer[4096];
    for (ssize_t count; (count = ::read(pipeFds[0], buffer, sizeof(buffer))) != 0;) {
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            break;
        line.append(buffer, static_cast<std::size_t>(count));
    }
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    boost::system::error_code error;
    const json::value figures = json::parse(line, error);
    if (error || !figures.is_object()) {
        failed.error = WIFSIGNALED(status) ? "the run died of signal " + std::to_string(WTERMSIG(status))
                                           : "the run ended without its figures";
        return failed;
    }
    return fromJson(figures.get_object());
}

std::string formatLatency(std::int64_t ns)
{
    std::ostringstream out;
    out << std::fixed;
    if (ns < 1'000'000)
        out << std::setprecision(0) << static_cast<double>(ns) / 1e3 << " µs";
    else
        out << std::setprecision(2) << static_cast<double>(ns) / 1e6 << " ms";
    return out.str();
}

std::string formatKiB(double bytes)
{
    std::ostringstream out;
    out << std::fixed << std::setprecision(1) << bytes / 1024 << " KiB";
    return out.str();
}

// "42 µs, 31.0": the server process's CPU time and allocations per event ("n/a" where malloc is not ours).
std::string formatPerEvent(const ScaleFigures& figures)
{
    std::ostringstream out;
    out << std::fixed << std::setprecision(0) << figures.cpuPerEventUs << " µs, ";
    if (figures.allocationsPerEvent < 0)
        out << "n/a";
    else
        out << std::setprecision(1) << figures.allocationsPerEvent;
    return out.str();
}

void printHeader(std::ostream& out)
{
    out << "| scale run | agents live | threads idle (at load) | resident memory per idle agent (goal ≤ 64 KiB) | "
           "of it heap | events, rate | push → receiver p50 | p99 (goal < 1 ms) | max | CPU, allocations per event | "
           "load average | goals |\n";
    out << "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---|\n";
}

void printRow(std::ostream& out, const ScaleScenario& scenario, const ScaleFigures& figures)
{
    std::string goals;
    if (!figures.error.empty()) {
        goals = "failed: " + figures.error;
    } else if (scenario.baseline) {
        goals = "(what the machine costs)";
    } else {
        if (figures.residentBytesPerAgent > kResidentGoalBytes)
            goals += "memory missed";
        if (static_cast<double>(figures.p99Ns) >= kP99GoalNs)
            goals += goals.empty() ? "p99 missed" : ", p99 missed";
        if (goals.empty())
            goals = "met";
    }
    std::ostringstream rate;
    rate << figures.received << "/" << figures.events << " at " << static_cast<long long>(scenario.eventsPerSecond)
         << "/s";
    out << "| " << rowName(scenario) << " | " << figures.liveAgents << "/" << figures.agents << " | "
        << figures.threadsIdle << " (" << figures.threadsAtLoad << ") | " << formatKiB(figures.residentBytesPerAgent)
        << " | " << formatKiB(figures.heapBytesPerAgent) << " | " << rate.str() << " | " << formatLatency(figures.p50Ns)
        << " | " << formatLatency(figures.p99Ns) << " | " << formatLatency(figures.maxNs) << " | "
        << formatPerEvent(figures) << " | " << figures.loadAverage << " | " << goals << " |\n";
}

} // namespace

int main(int argc, char** argv)
{
    bool smoke = false;
    std::optional<std::regex> filter;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--vorn_smoke") {
            smoke = true;
        } else if (argument.rfind("--benchmark_filter=", 0) == 0) {
            filter.emplace(argument.substr(std::strlen("--benchmark_filter=")));
        } else if (argument.rfind("--benchmark_", 0) != 0) {
            std::cerr << "Usage: " << argv[0] << " [--benchmark_filter=REGEX] [--vorn_smoke]\n";
            return 2;
        }
    }

    std::vector<ScaleScenario> scenarios = larkspurScenarios(smoke);
    for (ScaleScenario& scenario : hornbeamScenarios(smoke))
        scenarios.push_back(std::move(scenario));

    std::vector<std::pair<ScaleScenario, ScaleFigures>> rows;
    for (ScaleScenario& scenario : scenarios) {
        if (filter && !std::regex_search(rowName(scenario), *filter))
            continue;
        std::cerr << "running " << rowName(scenario) << "\n";
        ScaleFigures figures = runInChild(scenario);
        std::cout << rowName(scenario) << ": " << figures.liveAgents << " agents live after " << std::fixed
                  << std::setprecision(2) << figures.createSeconds << " s; " << figures.threadsIdle << " threads idle; "
                  << formatKiB(figures.residentBytesPerAgent) << " per idle agent (heap "
                  << formatKiB(figures.heapBytesPerAgent) << "); " << figures.received << " of " << figures.events
                  << " events in " << figures.pushSeconds << " s (" << std::setprecision(1) << figures.cpuPerEventUs
                  << " µs CPU and " << figures.allocationsPerEvent << " allocations each), latency p50 "
                  << formatLatency(figures.p50Ns) << ", p99 " << formatLatency(figures.p99Ns) << ", max "
                  << formatLatency(figures.maxNs)
                  << (figures.error.empty() ? std::string() : "; FAILED: " + figures.error) << "\n";
        rows.emplace_back(std::move(scenario), std::move(figures));
    }

    std::cout << "\n";
    printHeader(std::cout);
    for (const auto& [scenario, figures] : rows)
        printRow(std::cout, scenario, figures);
    if (const char* path = std::getenv("VORN_BENCH_FIGURES"); path && *path && !rows.empty()) {
        std::ofstream table(path, std::ios::app);
        table << "\n";
        printHeader(table);
        for (const auto& [scenario, figures] : rows)
            printRow(table, scenario, figures);
        if (!table) {
            std::cerr << "cannot append the table to " << path << "\n";
            return 1;
        }
    }
    for (const auto& [scenario, figures] : rows) {
        if (!figures.error.empty())
            return 1;
    }
    return 0;
}
