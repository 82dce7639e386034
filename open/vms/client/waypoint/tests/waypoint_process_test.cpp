#include "waypoint_process.h"

#include <QtCore/QDir>
#include <QtCore/QTemporaryDir>

#include <vorn/testing/scoped_environment.h>

#include <gtest/gtest.h>

namespace vorn::vms::waypoint {
namespace {

using vorn::testing::ScopedEnvironment;

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

// A launcher process over an installation manager of an empty temporary home.
class WaypointProcessTest : public ::testing::Test
{
protected:
    QTemporaryDir m_root;
    const ScopedEnvironment m_home{"HOME", m_root.filePath("home").toUtf8()};
    const ScopedEnvironment m_compatibility{"VORN_INSTALLATION_ROOT", m_root.filePath("compat").toUtf8()};
    InstallationManager m_manager;
    WaypointProcess m_process{nullptr, &m_manager, StartupParameters{}};
};

TEST_F(WaypointProcessTest, KillTimersRefuseWhatIsNotOneOtherProcess)
{
    for (const qint64 pid : {qint64(0), qint64(-1), qint64(-5), qint64(::getpid()), qint64(1) << 40}) {
        SCOPED_TRACE(pid);
        api::AddProcessKillTimerRequest request;
        request.pid = pid;
        api::AddProcessKillTimerResponse response;
        EXPECT_FALSE(m_process.addProcessKillTimer(request, response));
        EXPECT_EQ(response.result, api::ResultType::otherError);
    }
}

TEST_F(WaypointProcessTest, StopCancelsKillTimersAndRefusesNewOnes)
{
    // A pid that no process has (past the usual pid_max yet within range): the timer must never
    // fire anyway, since the stop cancels it.
    api::AddProcessKillTimerRequest request;
    request.pid = 4194303;
    request.timeoutMs = 60000;
    api::AddProcessKillTimerResponse response;
    EXPECT_TRUE(m_process.addProcessKillTimer(request, response));
    EXPECT_EQ(response.result, api::ResultType::ok);

    m_process.pleaseStop();
    m_process.pleaseStop(); // a second stop has nothing left to do
    api::AddProcessKillTimerResponse late;
    EXPECT_FALSE(m_process.addProcessKillTimer(request, late));
    EXPECT_EQ(late.result, api::ResultType::otherError);
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
