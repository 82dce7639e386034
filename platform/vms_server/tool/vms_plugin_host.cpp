// vms_plugin_host: loads an analytics plugin library as the VMS server does and prints what the plugin
// does, one JSON object per line; run it without arguments for the usage text.
#include <pthread.h>
#include <signal.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include <vorn/utils/log/log_level.h>
#include <vorn/vms_server/host_options.h>
#include <vorn/vms_server/json_line_writer.h>
#include <vorn/vms_server/plugin_host.h>

namespace {

sigset_t stopSignals()
{
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    return signals;
}

// The stop signals are blocked in every thread (the plugin's threads inherit the mask), so they stay
// pending until this waiter takes them; an early Ctrl+C ends the run as soon as the waiting begins.
void waitForStop(std::optional<double> seconds)
{
    const sigset_t signals = stopSignals();
    if (!seconds) {
        int signal = 0;
        sigwait(&signals, &signal);
        return;
    }
    using namespace std::chrono;
    const auto deadline = steady_clock::now() + duration_cast<nanoseconds>(duration<double>(*seconds));
    for (;;) {
        const auto left = deadline - steady_clock::now();
        if (left <= nanoseconds::zero())
            return;
        const auto leftNs = duration_cast<nanoseconds>(left).count();
        const timespec timeout{static_cast<time_t>(leftNs / 1'000'000'000), static_cast<long>(leftNs % 1'000'000'000)};
        if (sigtimedwait(&signals, nullptr, &timeout) > 0 || errno != EINTR)
            return; // A stop signal, or the time is up.
    }
}

} // namespace

int main(int argc, char** argv)
{
    using vorn::vms_server::HostOptions;
    using vorn::vms_server::PluginHost;

    const sigset_t signals = stopSignals();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    HostOptions options;
    const std::string error = HostOptions::parse(std::vector<std::string>(argv + 1, argv + argc), &options);
    if (options.help) {
        std::fputs(HostOptions::usage().c_str(), stdout);
        return PluginHost::kExitOk;
    }
    if (!error.empty()) {
        std::fprintf(stderr, "vms_plugin_host: %s\n\n%s", error.c_str(), HostOptions::usage().c_str());
        return PluginHost::kExitUsage;
    }
    if (options.logLevel)
        vorn::utils::log::setMaxLevel(static_cast<vorn::utils::log::Level>(*options.logLevel));

    vorn::vms_server::JsonLineWriter out(stdout);
    PluginHost host(std::move(options), &out, &waitForStop);
    return host.run();
}
