// ChildProcess: runs a program for a test, with pipes on its stdout and stderr, and waits on its output
// or its end with a deadline; a child that outlives the deadline is killed, so no test hangs.
//
//     ChildProcess tool({VMS_PLUGIN_HOST_PATH, "lib.so", "--list"});
//     ASSERT_TRUE(tool.finish(deadline));
//     EXPECT_EQ(tool.exitCode(), 0);
//     for (const auto& line: tool.stdoutLines()) ...
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace vorn::vms_server::test {

class ChildProcess
{
public:
    using Clock = std::chrono::steady_clock;

    /** @param environment Variables to set or replace in the child's copy of this environment. */
    explicit ChildProcess(std::vector<std::string> args, std::map<std::string, std::string> environment = {})
    {
        int out[2];
        int err[2];
        if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe2 failed");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        sigset_t none;
        sigemptyset(&none);
        posix_spawnattr_setsigmask(&attributes, &none);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);

        std::vector<std::string> variables;
        for (char** variable = environ; *variable; ++variable) {
            const std::string text = *variable;
            if (!environment.contains(text.substr(0, text.find('='))))
                variables.push_back(text);
        }
        for (const auto& [name, value] : environment)
            variables.push_back(name + "=" + value);

        const auto pointers = [](std::vector<std::string>& texts) {
            std::vector<char*> result;
            for (auto& text : texts)
                result.push_back(text.data());
            result.push_back(nullptr);
            return result;
        };
        auto argv = pointers(args);
        auto envp = pointers(variables);
        const int error = posix_spawn(&m_pid, argv[0], &actions, &attributes, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
        close(out[1]);
        close(err[1]);
        m_stdout = out[0];
        m_stderr = err[0];
        if (error != 0) {
            m_pid = -1;
            throw std::runtime_error("posix_spawn failed for " + args[0]);
        }
    }

    ~ChildProcess()
    {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        closeIfOpen(&m_stdout);
        closeIfOpen(&m_stderr);
    }

    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    /** Reads output until a stdout line satisfies the predicate; false at the end of output or the deadline. */
    bool readUntil(const std::function<bool(const std::string&)>& predicate, Clock::time_point deadline)
    {
        std::size_t checked = 0;
        for (;;) {
            for (; checked < m_lines.size(); ++checked) {
                if (predicate(m_lines[checked]))
                    return true;
            }
            if (!readSome(deadline))
                return false;
        }
    }

    void sendSignal(int signal) { kill(m_pid, signal); }

    /** Reads all output and reaps the child; false when the deadline passed (the child is killed). */
    bool finish(Clock::time_point deadline)
    {
        while (readSome(deadline)) {
        }
        if (m_stdout >= 0 || m_stderr >= 0)
            return false;
        int status = 0;
        waitpid(m_pid, &status, 0);
        m_pid = -1;
        m_exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return true;
    }

    int exitCode() const { return m_exitCode; }
    const std::vector<std::string>& stdoutLines() const { return m_lines; }
    const std::string& stderrText() const { return m_stderrText; }

private:
    static void closeIfOpen(int* fd)
    {
        if (*fd >= 0)
            close(*fd);
        *fd = -1;
    }

    // One poll round; false when both pipes are closed or the deadline passed.
    bool readSome(Clock::time_point deadline)
    {
        if (m_stdout < 0 && m_stderr < 0)
            return false;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return false;
        pollfd fds[2] = {{m_stdout, POLLIN, 0}, {m_stderr, POLLIN, 0}};
        if (poll(fds, 2, static_cast<int>(left)) < 0)
            return errno == EINTR;
        char buffer[4096];
        if (fds[0].revents != 0) {
            const ssize_t n = read(m_stdout, buffer, sizeof(buffer));
            if (n <= 0)
                closeIfOpen(&m_stdout);
            else
                takeStdout(std::string(buffer, static_cast<std::size_t>(n)));
        }
        if (fds[1].revents != 0) {
            const ssize_t n = read(m_stderr, buffer, sizeof(buffer));
            if (n <= 0)
                closeIfOpen(&m_stderr);
            else
                m_stderrText.append(buffer, static_cast<std::size_t>(n));
        }
        return true;
    }

    void takeStdout(const std::string& bytes)
    {
        m_partialLine += bytes;
        for (std::size_t end; (end = m_partialLine.find('\n')) != std::string::npos;) {
            m_lines.push_back(m_partialLine.substr(0, end));
            m_partialLine.erase(0, end + 1);
        }
    }

    pid_t m_pid = -1;
    int m_stdout = -1;
    int m_stderr = -1;
    int m_exitCode = -1;
    std::string m_partialLine;
    std::vector<std::string> m_lines;
    std::string m_stderrText;
};

} // namespace vorn::vms_server::test
