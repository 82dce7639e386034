// vorn::vms::waypoint::WaypointProcess: the launcher's central object.
//
// It decides, through its task server, whether this process serves the pipe; starts client versions
// (the newest at launch, or the one a request names); runs at most one background zip installation and
// reports its progress; keeps kill timers that end processes after a delay; and stops the launcher on a
// quit request or a console control event:
//
//     WaypointProcess process(&settings, &installationManager, parameters);
//     process.initChannels();
//     return process.run();   // blocks until "quit" or pleaseStop()
//
// Threads: run() on the main thread; every channel handler (and so startApplication(),
// installZipAsync(), checkInstallationProgress(), addProcessKillTimer() and the quit request) on the task
// server's thread; onTimer() on the timer manager's thread; the background installation on a worker of
// its own; pleaseStop() from any thread, the console control handler's included.
// - m_mutex guards the terminated flag and the kill-timer maps; no handler or join runs under it.
// - The installation state has its own mutex, held only to copy its version and file.
// - The installation future is used on the task server's thread only.
//
// Kill timers: one per process id, a new request for a pid replaces its timer (the replaced one never
// kills), and at most kMaxPendingKillTimers wait at once; the stop cancels them all.
#pragma once

#include <condition_variable>
#include <future>
#include <map>
#include <mutex>
#include <optional>

#include <QtCore/QObject>
#include <QtCore/QProcessEnvironment>
#include <QtCore/QSettings>
#include <QtCore/QStringList>

#include <vorn/utils/software_version.h>
#include <vorn/utils/thread/stoppable.h>
#include <vorn/utils/timer_manager.h>
#include <vorn/vms/waypoint/api/tasks.h>

#include "installation_manager.h"
#include "startup_parameters.h"
#include "task_server_new.h"

namespace vorn::vms::waypoint {

class WaypointProcess : public QObject, public VnStoppable, public vorn::utils::TimerEventHandler
{
    Q_OBJECT

public:
    using StartupParameters = waypoint::StartupParameters;

    // How a client version is started.
    struct LaunchCommand
    {
        QString executable;
        QString workingDirectory;
        QStringList arguments;
    };

    // Any local process may ask for kill timers, one request per connection: this bounds the memory and
    // the timer work such requests can claim, far above the few processes a launcher has reason to end.
    static constexpr std::size_t kMaxPendingKillTimers = 1024;

    WaypointProcess(QSettings* settings, InstallationManager* installationManager,
                    const StartupParameters& startupParameters);
    ~WaypointProcess() override;

    void initChannels();
    int run();
    void pleaseStop() override;
    void onTimer(const quint64& timerId) override;

    void launchNewestClient();
    bool startApplication(const api::StartApplicationTask& task, api::Response& response);
    LaunchCommand launchCommand(const QString& executablePath, const vorn::utils::SoftwareVersion& version,
                                const QStringList& arguments) const;
    bool checkInstallationProgress(const api::InstallZipCheckStatus& request,
                                   api::InstallZipCheckStatusResponse& response);
    bool addProcessKillTimer(const api::AddProcessKillTimerRequest& request,
                             api::AddProcessKillTimerResponse& response);

    // The client's environment: `environment` (name=value texts) with `folders` in front of
    // LD_LIBRARY_PATH, the first entry that is exactly that variable, or a new entry.
    static QStringList clientEnvironment(QStringList environment, const QStringList& folders);

    // The timers that the timer manager still holds, cancelled ones not yet deleted included (tests).
    std::size_t pendingTimerCount() const { return m_timerManager.pendingCount(); }

    // Tests serve the pipe on a name of their own; empty: api::launcherPipeName().
    void setPipeName(const QString& pipeName) { m_pipeNameOverride = pipeName; }

private:
    struct InstallationState
    {
        vorn::utils::SoftwareVersion version;
        QString zipFileName;
        std::mutex mutex;
    };

    bool installZipAsync(const api::InstallZipTaskAsync& task, api::Response& response);
    api::ResultType installInBackground(api::InstallZipTaskAsync task);
    bool processRequest();
    QString runningZipFileName();

    QSettings* const m_settings;
    InstallationManager* const m_installationManager;
    const StartupParameters m_startupParameters;
    TaskServerNew m_taskServer;
    bool m_terminated = false;
    std::mutex m_mutex;
    std::condition_variable m_condition;
    // Timer id -> process id, and back: each pending kill timer is in both.
    std::map<quint64, qint64> m_killTimers;
    std::map<qint64, quint64> m_killTimerOfPid;
    InstallationState m_installationState;
    std::future<api::ResultType> m_installationFuture;
    QString m_pipeNameOverride;
    vorn::utils::TimerManager m_timerManager{QStringLiteral("WaypointProcess timer manager")};
};

} // namespace vorn::vms::waypoint
