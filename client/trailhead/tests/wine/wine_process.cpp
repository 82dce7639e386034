// Running a program to its end with its output captured.
#include "wine_process.h"

#include <algorithm>
#include <array>
#include <cerrno>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace vorn::trailhead::testing {

namespace {

class Pipe
{
public:
    Pipe() { m_ok = ::pipe2(m_fds, O_CLOEXEC) == 0; }
    ~Pipe()
    {
        closeRead();
        closeWrite();
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;

    bool ok() const { return m_ok; }
    int readEnd() const { return m_fds[0]; }
    int writeEnd() const { return m_fds[1]; }
    void closeRead() { close(0); }
    void closeWrite() { close(1); }

private:
    void close(int end)
    {
        if (m_ok && m_fds[end] >= 0)
            ::close(m_fds[end]);
        m_fds[end] = -1;
    }

    int m_fds[2] = {-1, -1};
    bool m_ok = false;
};

/** Appends one read of fd to text. */
void drainOnce(int fd, std::string* text)
{
    std::array<char, 4096> buffer;
    const ssize_t size = ::read(fd, buffer.data(), buffer.size());
    if (size > 0)
        text->append(buffer.data(), static_cast<std::size_t>(size));
}

/** Appends what fd holds now to text, without waiting for more. */
void drainRest(int fd, std::string* text)
{
    ::fcntl(fd, F_SETFL, O_NONBLOCK);
    std::array<char, 4096> buffer;
    for (;;) {
        const ssize_t size = ::read(fd, buffer.data(), buffer.size());
        if (size > 0)
            text->append(buffer.data(), static_cast<std::size_t>(size));
        else if (!(size < 0 && errno == EINTR))
            return;
    }
}

} // namespace

ProcessResult runProcess(const std::vector<std::string>& arguments, std::chrono::milliseconds deadline)
{
    ProcessResult result;
    Pipe output;
    Pipe errors;
    if (arguments.empty() || !output.ok() || !errors.ok())
        return result;

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, output.writeEnd(), 1);
    posix_spawn_file_actions_adddup2(&actions, errors.writeEnd(), 2);
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    output.closeWrite();
    errors.closeWrite();
    if (spawned != 0)
        return result;
    result.started = true;

    // Read until the program has ended. A program it started may keep the pipes open after that (a
    // Wine server started on the way inherits them), so the end of the program, not the end of the
    // pipes, ends the reading; what it wrote before it ended is in the pipes by then.
    const auto end = std::chrono::steady_clock::now() + deadline;
    int status = 0;
    for (;;) {
        const pid_t waited = ::waitpid(pid, &status, WNOHANG);
        if (waited == pid)
            break;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            result.timedOut = true;
            return result;
        }
        pollfd fds[] = {{output.readEnd(), POLLIN, 0}, {errors.readEnd(), POLLIN, 0}};
        // Short waits: the program's end is noticed by waitpid, not by poll.
        if (::poll(fds, 2, static_cast<int>(std::min<long long>(left.count(), 20))) > 0) {
            if (fds[0].revents & (POLLIN | POLLHUP))
                drainOnce(output.readEnd(), &result.output);
            if (fds[1].revents & (POLLIN | POLLHUP))
                drainOnce(errors.readEnd(), &result.errors);
        }
    }
    drainRest(output.readEnd(), &result.output);
    drainRest(errors.readEnd(), &result.errors);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

} // namespace vorn::trailhead::testing
