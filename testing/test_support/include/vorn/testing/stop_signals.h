// vorn::testing stop signals: how the fake peers' programs end, on SIGINT or SIGTERM or when the time
// they were asked to run is up.
//
// main() blocks the signals before it starts any thread (threads inherit the mask), so a signal that
// comes while the program is busy stays pending until the main thread takes it in one of the waits:
//
//     vorn::testing::blockStopSignals();
//     ... start the fake camera and its threads ...
//     vorn::testing::waitForStopSignal(options.runForSeconds);   // until a signal, or the time is up
#pragma once

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <optional>
#include <pthread.h>

namespace vorn::testing {

inline sigset_t stopSignalSet()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

inline void blockStopSignals()
{
    const sigset_t set = stopSignalSet();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

// Waits until the deadline; true when a stop signal came first.
inline bool waitForStopSignalUntil(std::chrono::steady_clock::time_point deadline)
{
    const sigset_t set = stopSignalSet();
    for (;;) {
        const auto left =
            std::max(deadline - std::chrono::steady_clock::now(), std::chrono::steady_clock::duration::zero());
        const auto leftNs = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
        const timespec timeout{static_cast<time_t>(leftNs / 1'000'000'000), static_cast<long>(leftNs % 1'000'000'000)};
        if (sigtimedwait(&set, nullptr, &timeout) > 0)
            return true;
        if (errno != EINTR)
            return false; // The time is up.
    }
}

// Waits for a stop signal; with `seconds`, at most that long.
inline void waitForStopSignal(std::optional<double> seconds)
{
    if (seconds) {
        waitForStopSignalUntil(
            std::chrono::steady_clock::now() +
            std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(*seconds)));
        return;
    }
    const sigset_t set = stopSignalSet();
    int signal = 0;
    while (sigwait(&set, &signal) != 0) {
    }
}

} // namespace vorn::testing
