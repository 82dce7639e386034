// vorn::vms::waypoint::ConsoleControlWatcher: what stands in on Linux for the Windows console control
// events: SIGINT, SIGTERM and SIGHUP.
//
// The signal handlers only write the signal's number into a self-pipe; a thread of the watcher reads
// it and calls the given callback there, where it may take locks and wait like any code. No signal is
// blocked or ignored, so the clients the launcher starts inherit an ordinary signal state. While the
// watcher lives the three signals no longer end the process by themselves; its destructor ends the
// thread and puts the previous handlers back. One watcher per process at a time.
//
//     ConsoleControlWatcher watcher([](int signal) { consoleCtrlHandler(signal); });
#pragma once

#include <functional>
#include <thread>

#include <signal.h>

namespace vorn::vms::waypoint {

class ConsoleControlWatcher
{
public:
    using Callback = std::function<void(int signal)>;

    explicit ConsoleControlWatcher(Callback callback);
    ~ConsoleControlWatcher();
    ConsoleControlWatcher(const ConsoleControlWatcher&) = delete;
    ConsoleControlWatcher& operator=(const ConsoleControlWatcher&) = delete;

    // False when the pipe or a handler could not be set up; the process then keeps the default actions.
    bool isActive() const { return m_active; }

private:
    void run();

    Callback m_callback;
    int m_pipe[2] = {-1, -1};
    struct sigaction m_previous[3] = {};
    bool m_active = false;
    std::thread m_thread;
};

} // namespace vorn::vms::waypoint
