#include "console_control_watcher.h"

#include <atomic>
#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace vorn::vms::waypoint {

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
// Written by the destructor to end the thread; no signal has this number.
constexpr unsigned char kStopByte = 0;

// The write end of the active watcher's pipe; read inside the signal handler, hence a lock-free atomic.
std::atomic<int> s_writeFd{-1};

void onSignal(int signal)
{
    const int savedErrno = errno;
    const int fd = s_writeFd.load(std::memory_order_relaxed);
    if (fd >= 0) {
        const auto byte = static_cast<unsigned char>(signal);
        // A full pipe already holds a wake-up: losing this byte loses nothing.
        [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
    }
    errno = savedErrno;
}

} // namespace

ConsoleControlWatcher::ConsoleControlWatcher(Callback callback)
    : m_callback(std::move(callback))
{
    if (::pipe2(m_pipe, O_CLOEXEC) != 0)
        return;
    ::fcntl(m_pipe[1], F_SETFL, ::fcntl(m_pipe[1], F_GETFL) | O_NONBLOCK);
    s_writeFd.store(m_pipe[1], std::memory_order_relaxed);
    m_thread = std::thread([this] { run(); });

    struct sigaction action = {};
    action.sa_handler = &onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    m_active = true;
    for (int i = 0; i < 3; ++i) {
        if (::sigaction(kSignals[i], &action, &m_previous[i]) != 0)
            m_active = false;
    }
}

ConsoleControlWatcher::~ConsoleControlWatcher()
{
    if (m_pipe[1] >= 0) {
        for (int i = 0; i < 3; ++i)
            ::sigaction(kSignals[i], &m_previous[i], nullptr);
        s_writeFd.store(-1, std::memory_order_relaxed);
        // The stop byte goes through even when signal bytes fill the pipe: wait for room.
        ::fcntl(m_pipe[1], F_SETFL, ::fcntl(m_pipe[1], F_GETFL) & ~O_NONBLOCK);
        while (::write(m_pipe[1], &kStopByte, 1) < 0 && errno == EINTR) {
        }
    }
    if (m_thread.joinable())
        m_thread.join();
    for (const int fd : m_pipe) {
        if (fd >= 0)
            ::close(fd);
    }
}

void ConsoleControlWatcher::run()
{
    for (;;) {
        unsigned char byte = 0;
        const ssize_t received = ::read(m_pipe[0], &byte, 1);
        if (received < 0 && errno == EINTR)
            continue;
        if (received <= 0 || byte == kStopByte)
            return;
        if (m_callback)
            m_callback(byte);
    }
}

} // namespace vorn::vms::waypoint
