#include "waypoint_process.h"

#include <algorithm>
#include <chrono>
#include <deque>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QtCore/QDir>
#include <QtCore/QTemporaryDir>

#include <vorn/testing/scoped_environment.h>
#include <vorn/testing/wait_until.h>
#include <vorn/utils/monotonic_time.h>

#include <gtest/gtest.h>

namespace vorn::vms::waypoint {
namespace {

using namespace std::chrono_literals;
using vorn::testing::ScopedEnvironment;
using vorn::testing::waitUntil;
using vorn::utils::FakeMonotonicTime;
using vorn::utils::monotonicTime;

TEST(WaypointProcessEnvironment, LibraryFoldersGoFirst)
{
    struct Row
    {
        const char* name;
        QStringList environment;
        QStringList expected;
    };
    const QStringList folders{"/v/lib", "/w/../lib/gstreamer-0.10"};
    const Row rows[] = {
        {"existing value",
         {"A=1", "LD_LIBRARY_PATH=/usr/x", "B=2"},
         {"A=1", "LD_LIBRARY_PATH=/v/lib:/w/../lib/gstreamer-0.10:/usr/x", "B=2"}},
        {"missing", {"A=1"}, {"A=1", "LD_LIBRARY_PATH=/v/lib:/w/../lib/gstreamer-0.10"}},
        // Only the variable itself: a name that merely ends in it is left alone.
        {"similar name first",
         {"MY_LD_LIBRARY_PATH=/m", "LD_LIBRARY_PATH=/u"},
         {"MY_LD_LIBRARY_PATH=/m", "LD_LIBRARY_PATH=/v/lib:/w/../lib/gstreamer-0.10:/u"}},
        {"similar name only",
         {"XLD_LIBRARY_PATH=/m"},
         {"XLD_LIBRARY_PATH=/m", "LD_LIBRARY_PATH=/v/lib:/w/../lib/gstreamer-0.10"}},
        // An empty value adds no empty folder (the loader would search the current folder).
        {"empty value", {"LD_LIBRARY_PATH="}, {"LD_LIBRARY_PATH=/v/lib:/w/../lib/gstreamer-0.10"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(WaypointProcess::clientEnvironment(row.environment, folders), row.expected);
    }
}

// A child of the test that waits to be killed: the only real process a kill-timer test may end. It is
// reaped only when the object goes, so its pid stays reserved (as a zombie) while a kill timer might
// still name it.
class ChildProcess
{
public:
    ChildProcess()
        : m_pid(::fork())
    {
        if (m_pid == 0) {
            for (;;)
                ::pause();
        }
    }
    ~ChildProcess()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    qint64 pid() const { return m_pid; }

    // Ended by SIGKILL (and not reaped).
    bool killed() const
    {
        siginfo_t info{};
        return ::waitid(P_PID, static_cast<id_t>(m_pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
               info.si_pid == m_pid && info.si_code == CLD_KILLED && info.si_status == SIGKILL;
    }

private:
    const pid_t m_pid;
};

// Process ids that no process has: the kernel hands out ids below 2^22 at most.
constexpr qint64 kNoProcess = qint64(1) << 22;

// A launcher process over an installation manager of an empty temporary home. Its kill timers run on a
// clock that stands still until a test advances it; the children outlive the launcher process, so no
// kill timer fires after a child's pid went back to the system.
class WaypointProcessTest : public ::testing::Test
{
protected:
    api::ResultType addKillTimer(WaypointProcess& process, qint64 pid, std::chrono::milliseconds timeout)
    {
        api::AddProcessKillTimerRequest request;
        request.pid = pid;
        request.timeoutMs = static_cast<quint32>(timeout.count());
        api::AddProcessKillTimerResponse response;
        const bool ok = process.addProcessKillTimer(request, response);
        EXPECT_EQ(ok, response.result == api::ResultType::ok);
        return response.result;
    }
    api::ResultType addKillTimer(qint64 pid, std::chrono::milliseconds timeout)
    {
        return addKillTimer(m_process, pid, timeout);
    }
    const ChildProcess& child() { return m_children.emplace_back(); }

    FakeMonotonicTime m_clock{monotonicTime()};
    QTemporaryDir m_root;
    const ScopedEnvironment m_home{"HOME", m_root.filePath("home").toUtf8()};
    const ScopedEnvironment m_compatibility{"VORN_INSTALLATION_ROOT", m_root.filePath("compat").toUtf8()};
    InstallationManager m_manager;
    std::deque<ChildProcess> m_children;
    WaypointProcess m_process{nullptr, &m_manager, StartupParameters{}};
};

TEST_F(WaypointProcessTest, KillTimersRefuseWhatIsNotOneOtherProcess)
{
    for (const qint64 pid : {qint64(0), qint64(-1), qint64(-5), qint64(::getpid()), qint64(1) << 40}) {
        SCOPED_TRACE(pid);
        EXPECT_EQ(addKillTimer(pid, 0ms), api::ResultType::otherError);
    }
}

TEST_F(WaypointProcessTest, StopCancelsKillTimersAndRefusesNewOnes)
{
    const ChildProcess& target = child();
    EXPECT_EQ(addKillTimer(target.pid(), 60000ms), api::ResultType::ok);
    EXPECT_EQ(addKillTimer(target.pid(), 100ms), api::ResultType::ok);
    EXPECT_EQ(addKillTimer(kNoProcess, 100ms), api::ResultType::ok);

    m_process.pleaseStop();
    m_process.pleaseStop(); // a second stop has nothing left to do
    // Nothing left that could fire.
    EXPECT_EQ(m_process.pendingTimerCount(), 0u);
    m_clock.advance(1h);
    EXPECT_FALSE(target.killed());
    EXPECT_EQ(addKillTimer(target.pid(), 0ms), api::ResultType::otherError);
}

// A new request for a process replaces its kill timer: only the last one kills, at its own time. A probe
// timer on another child shows when: timers fire in deadline order on one thread, so once the probe's
// kill happened every kill due before it has happened too.
TEST_F(WaypointProcessTest, ANewKillTimerForAProcessReplacesItsTimer)
{
    struct Row
    {
        const char* name;
        std::chrono::milliseconds first;
        std::chrono::milliseconds second;
        bool killedByTheProbe;
    };
    constexpr std::chrono::milliseconds kProbe = 100ms;
    const Row rows[] = {
        {"a later time-out replaces an earlier one", 50ms, 300ms, false},
        {"an earlier time-out replaces a later one", 300ms, 50ms, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const ChildProcess& target = child();
        const ChildProcess& probe = child();
        EXPECT_EQ(addKillTimer(target.pid(), row.first), api::ResultType::ok);
        EXPECT_EQ(addKillTimer(target.pid(), row.second), api::ResultType::ok);
        EXPECT_EQ(addKillTimer(probe.pid(), kProbe), api::ResultType::ok);
        // The replaced timer is gone from the timer manager too, not just disarmed.
        EXPECT_EQ(m_process.pendingTimerCount(), 2u);

        m_clock.advance(kProbe);
        ASSERT_TRUE(waitUntil([&] { return probe.killed(); }));
        if (row.killedByTheProbe)
            EXPECT_TRUE(waitUntil([&] { return target.killed(); }));
        else
            EXPECT_FALSE(target.killed());

        m_clock.advance(std::max(row.first, row.second));
        EXPECT_TRUE(waitUntil([&] { return target.killed(); }));
        EXPECT_TRUE(waitUntil([&] { return m_process.pendingTimerCount() == 0; }));
    }
}

TEST_F(WaypointProcessTest, PendingKillTimersAreBounded)
{
    struct Row
    {
        const char* name;
        std::size_t pending;
        api::ResultType expected;
    };
    const Row rows[] = {
        {"the last one within the limit", WaypointProcess::kMaxPendingKillTimers - 1, api::ResultType::ok},
        {"one past the limit", WaypointProcess::kMaxPendingKillTimers, api::ResultType::otherError},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        WaypointProcess process(nullptr, &m_manager, StartupParameters{});
        for (std::size_t i = 0; i < row.pending; ++i)
            ASSERT_EQ(addKillTimer(process, kNoProcess + qint64(i), 60000ms), api::ResultType::ok);
        EXPECT_EQ(addKillTimer(process, kNoProcess + qint64(row.pending), 60000ms), row.expected);
        EXPECT_EQ(process.pendingTimerCount(), std::min(row.pending + 1, WaypointProcess::kMaxPendingKillTimers));
    }
}

// At the limit a replacement still takes the process's own slot, and a timer that fired gives its slot
// back.
TEST_F(WaypointProcessTest, AFreedKillTimerSlotIsUsableAgain)
{
    const ChildProcess& target = child();
    EXPECT_EQ(addKillTimer(target.pid(), 100ms), api::ResultType::ok);
    for (qint64 i = 1; i < qint64(WaypointProcess::kMaxPendingKillTimers); ++i)
        ASSERT_EQ(addKillTimer(kNoProcess + i, 60000ms), api::ResultType::ok);
    const qint64 newcomer = kNoProcess;
    EXPECT_EQ(addKillTimer(newcomer, 60000ms), api::ResultType::otherError);

    EXPECT_EQ(addKillTimer(kNoProcess + 1, 30000ms), api::ResultType::ok);
    EXPECT_EQ(addKillTimer(newcomer, 60000ms), api::ResultType::otherError);

    m_clock.advance(100ms);
    ASSERT_TRUE(waitUntil([&] { return target.killed(); }));
    EXPECT_EQ(addKillTimer(newcomer, 60000ms), api::ResultType::ok);
    // Full again, for every process without a pending timer, the one whose timer fired included.
    EXPECT_EQ(addKillTimer(kNoProcess + qint64(WaypointProcess::kMaxPendingKillTimers), 60000ms),
              api::ResultType::otherError);
    EXPECT_EQ(addKillTimer(target.pid(), 60000ms), api::ResultType::otherError);
    EXPECT_EQ(m_process.pendingTimerCount(), WaypointProcess::kMaxPendingKillTimers);
}

TEST_F(WaypointProcessTest, LaunchCommandOnLinux)
{
    const auto command =
        m_process.launchCommand("/opt/v/5.1/bin/../bin/velorin", vorn::utils::SoftwareVersion(5, 1), {"a", "b"});
    EXPECT_EQ(command.executable, "/opt/v/5.1/bin/velorin");
    EXPECT_EQ(command.workingDirectory, QDir::homePath());
    EXPECT_EQ(command.arguments, QStringList({"a", "b"}));
}

TEST_F(WaypointProcessTest, NothingInstalled)
{
    api::StartApplicationTask task;
    task.version = vorn::utils::SoftwareVersion(5, 1);
    api::Response response;
    EXPECT_FALSE(m_process.startApplication(task, response));
    EXPECT_EQ(response.result, api::ResultType::versionNotInstalled);

    api::InstallZipCheckStatus status;
    status.version = task.version;
    api::InstallZipCheckStatusResponse progress;
    EXPECT_FALSE(m_process.checkInstallationProgress(status, progress));
    EXPECT_EQ(progress.result, api::ResultType::versionNotInstalled);
}

} // namespace
} // namespace vorn::vms::waypoint
