#include "waypoint_process.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QDateTime>
#include <QtCore/QDir>
#include <QtCore/QFileInfo>
#include <QtCore/QProcess>
#include <QtCore/QRegularExpression>

#include <vorn/branding.h>
#include <vorn/build_info.h>
#include <vorn/log_support/log.h>
#include <vorn/log_support/peer_text.h>
#include <vorn/utils/process_kill.h>
#include <vorn/vms/waypoint/api/waypoint_client.h>

#include "task_type.h"

namespace vorn::vms::waypoint {

using vorn::log_support::peerLogText;
using vorn::utils::SoftwareVersion;

namespace {

// The time-out of the quit request that a launcher in quit mode sends to the running one.
constexpr int kQuitRequestTimeoutMs = 3000;
// How long a query waits for the background installation's future before it counts as running.
constexpr std::chrono::milliseconds kFutureProbe{1};

const SoftwareVersion kVersion30(3, 0, 0, 0);
const SoftwareVersion kVersion40(4, 0, 0, 0);
const SoftwareVersion kVersion43(4, 3, 0, 0);

const QString kLibraryPathVariable = QStringLiteral("LD_LIBRARY_PATH");

QProcessEnvironment environmentFromList(const QStringList& entries)
{
    QProcessEnvironment environment;
    for (const QString& entry : entries) {
        const int equals = entry.indexOf(QLatin1Char('='));
        if (equals > 0)
            environment.insert(entry.left(equals), entry.mid(equals + 1));
    }
    return environment;
}

} // namespace

WaypointProcess::WaypointProcess(QSettings* settings, InstallationManager* installationManager,
                                 const StartupParameters& startupParameters)
    : m_settings(settings)
    , m_installationManager(installationManager)
    , m_startupParameters(startupParameters)
{}

WaypointProcess::~WaypointProcess()
{
    // The members go in reverse order: the timer manager first (no kill timer fires after it), then
    // the future (waits for a background installation), the task server last of the threads.
}

void WaypointProcess::initChannels()
{
    m_taskServer.subscribeSimple(QByteArray("quit"), [this] { return processRequest(); });
    m_taskServer.subscribe(QByteArray("pingWaypoint"),
                           [](const api::PingRequest& request, api::PingResponse& response) {
                               response.value1 = request.value1;
                               response.value2 = request.value2;
                               response.timeMs = QDateTime::currentMSecsSinceEpoch();
                           });
    m_taskServer.subscribe(QByteArray("run"), [this](const api::StartApplicationTask& task, api::Response& response) {
        m_installationManager->updateInstalledVersionsInformation();
        startApplication(task, response);
    });
    m_taskServer.subscribe(QByteArray("installZip"), [this](const api::InstallZipTask& task, api::Response& response) {
        response.result = m_installationManager->installZip(task.version, task.zipFileName);
    });
    m_taskServer.subscribe(
        QByteArray("startZipInstallation"),
        [this](const api::InstallZipTaskAsync& task, api::Response& response) { installZipAsync(task, response); });
    m_taskServer.subscribe(QByteArray("checkZipProgress"), [this](const api::InstallZipCheckStatus& request,
                                                                  api::InstallZipCheckStatusResponse& response) {
        checkInstallationProgress(request, response);
    });
    m_taskServer.subscribe(QByteArray("isVersionInstalled"), [this](const api::IsVersionInstalledRequest& request,
                                                                    api::IsVersionInstalledResponse& response) {
        m_installationManager->updateInstalledVersionsInformation();
        response.installed = m_installationManager->isVersionInstalled(request.version, /*strict*/ false);
    });
    m_taskServer.subscribe(
        QByteArray("getInstalledVersions"),
        [this](const api::GetInstalledVersionsRequest& /*request*/, api::GetInstalledVersionsResponse& response) {
            m_installationManager->updateInstalledVersionsInformation();
            response.versions = m_installationManager->installedVersions();
        });
    m_taskServer.subscribe(QByteArray("addProcessKillTimer"), [this](const api::AddProcessKillTimerRequest& request,
                                                                     api::AddProcessKillTimerResponse& response) {
        m_installationManager->updateInstalledVersionsInformation();
        addProcessKillTimer(request, response);
    });
}

int WaypointProcess::run()
{
    const QString pipeName = m_pipeNameOverride.isEmpty() ? api::launcherPipeName() : m_pipeNameOverride;
    if (!m_taskServer.listen(pipeName)) {
        switch (m_startupParameters.mode) {
        case StartupParameters::quit: {
            VN_LOG(4, this, "run() - commanding another waypoint to exit");
            const api::ResultType result = api::sendCommandToWaypoint(api::QuitTask(), nullptr, kQuitRequestTimeoutMs);
            return result == api::ResultType::ok ? 1 : 0;
        }
        case StartupParameters::normal:
            launchNewestClient();
            return 0;
        default:
            return 0;
        }
    }

    if (m_startupParameters.mode == StartupParameters::quit)
        return 0;
    if (m_startupParameters.mode == StartupParameters::normal)
        launchNewestClient();

    {
        std::unique_lock lock(m_mutex);
        m_condition.wait(lock, [this] { return m_terminated; });
    }
    // Not under m_mutex: a handler on the server thread (a kill-timer request) takes it.
    m_taskServer.pleaseStop();
    m_taskServer.wait();
    VN_LOG(4, this, "run() - exited gracefully");
    return 0;
}

void WaypointProcess::launchNewestClient()
{
    const SoftwareVersion version = m_installationManager->latestVersion(m_startupParameters.clientProtoVersion);
    if (version.isNull())
        return;
    api::StartApplicationTask task;
    task.version = version;
    task.arguments = m_startupParameters.clientArgs;
    api::Response response;
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (startApplication(task, response))
            return;
    }
}

bool WaypointProcess::startApplication(const api::StartApplicationTask& task, api::Response& response)
{
    VN_LOG(6, this, "Entered LaunchingApplication");

    QSharedPointer<InstallationInfo> installation =
        m_installationManager->installationForVersion(task.version, /*strict*/ false);
    if (!installation) {
        installation = m_installationManager->installationForVersion(
            m_installationManager->nearestCompatibleVersion(task.version), /*strict*/ false);
    }
    if (!installation) {
        installation =
            m_installationManager->installationForVersion(m_installationManager->latestVersion(0), /*strict*/ false);
    }
    if (!installation) {
        VN_LOG(5, this, "Failed to find installed version %1", task.version.toString());
        response.result = api::ResultType::versionNotInstalled;
        return false;
    }

    const SoftwareVersion version = installation->version();
    const QString executablePath = installation->executableFilePath();
    QStringList arguments = task.arguments;

    std::optional<QProcessEnvironment> environment;
    if (vorn::build_info::isLinux()) {
        QStringList folders;
        if (version < kVersion30) {
            const QString libraryPath = installation->libraryPath();
            if (!libraryPath.isEmpty() && QFileInfo::exists(libraryPath))
                folders.append(libraryPath);
        }
        if (version < kVersion40)
            folders.append(QCoreApplication::applicationDirPath() + QStringLiteral("/../lib/gstreamer-0.10"));
        if (version < kVersion30)
            arguments << QStringLiteral("-name") << vorn::branding::brand();
        if (!folders.isEmpty()) {
            environment = environmentFromList(
                clientEnvironment(QProcessEnvironment::systemEnvironment().toStringList(), folders));
        }
    }

    VN_LOG(6, this, "Launching version %1 (path %2)", version.toString(), executablePath);
    const LaunchCommand command = launchCommand(executablePath, version, arguments);
    // The arguments are a pipe client's texts: quoted, so that none of them can start a line of its own.
    VN_LOG(5, this, "Launching with request: %1, args: %2", command.executable,
           peerLogText(command.arguments.join(QStringLiteral(", "))));

    bool started = false;
    if (!command.executable.isEmpty() && !executablePath.isEmpty()) {
        QProcess process;
        process.setProgram(command.executable);
        process.setArguments(command.arguments);
        process.setWorkingDirectory(command.workingDirectory);
        if (environment)
            process.setProcessEnvironment(*environment);
        started = process.startDetached();
    }

    if (!started) {
        VN_LOG(5, this, "Failed to launch version %1 (path %2)", version.toString(), executablePath);
        response.result = api::ResultType::ioError;
        return false;
    }
    VN_LOG(5, this, "Successfully launched version %1 (path %2)", version.toString(), executablePath);
    if (m_settings)
        m_settings->sync();
    installation->updateLastExecutionTime();
    response.result = api::ResultType::ok;
    return true;
}

QStringList WaypointProcess::clientEnvironment(QStringList environment, const QStringList& folders)
{
    const QString joined = folders.join(QLatin1Char(':'));
    // Anchored: only the variable itself, never one whose name merely ends in it.
    const QRegularExpression pattern(QStringLiteral("^%1=(.*)$").arg(QRegularExpression::escape(kLibraryPathVariable)),
                                     QRegularExpression::DotMatchesEverythingOption);
    for (QString& entry : environment) {
        const QRegularExpressionMatch match = pattern.match(entry);
        if (!match.hasMatch())
            continue;
        const QString previous = match.captured(1);
        // An empty former value adds no empty folder, which the loader would read as the current one.
        entry = previous.isEmpty() ? QStringLiteral("%1=%2").arg(kLibraryPathVariable, joined)
                                   : QStringLiteral("%1=%2:%3").arg(kLibraryPathVariable, joined, previous);
        return environment;
    }
    environment.append(QStringLiteral("%1=%2").arg(kLibraryPathVariable, joined));
    return environment;
}

WaypointProcess::LaunchCommand WaypointProcess::launchCommand(const QString& executablePath,
                                                              const SoftwareVersion& version,
                                                              const QStringList& arguments) const
{
    const QFileInfo executable(executablePath);
    if (vorn::build_info::isLinux())
        return {executable.absoluteFilePath(), QDir::homePath(), arguments};
    if (vorn::build_info::isMacOsX() && !(version < kVersion43)) {
        const QString bundle = QDir(executable.absolutePath() + QStringLiteral("/../../")).absolutePath();
        return {QStringLiteral("open"), bundle,
                QStringList{QStringLiteral("-n"), QStringLiteral("-a"), bundle, QStringLiteral("--args"),
                            QStringLiteral("--run")} +
                    arguments};
    }
    return {executable.absoluteFilePath(), executable.absolutePath(), arguments};
}

QString WaypointProcess::runningZipFileName()
{
    const std::lock_guard lock(m_installationState.mutex);
    return m_installationState.zipFileName;
}

bool WaypointProcess::installZipAsync(const api::InstallZipTaskAsync& task, api::Response& response)
{
    if (m_installationFuture.valid()) {
        bool same = false;
        {
            const std::lock_guard lock(m_installationState.mutex);
            same = m_installationState.version == task.version && m_installationState.zipFileName == task.zipFileName;
        }
        if (same) {
            VN_LOG(4, this, "installZipAsync() - already installing version %1 from file %2", task.version.toString(),
                   peerLogText(task.zipFileName));
            response.result = api::ResultType::ok;
            return true;
        }
        if (m_installationFuture.wait_for(kFutureProbe) != std::future_status::ready) {
            VN_LOG(2, this,
                   "installZipAsync() - can not start installing version %1 from %2: already installing from %3",
                   task.version.toString(), peerLogText(task.zipFileName), peerLogText(runningZipFileName()));
            response.result = api::ResultType::busy;
            return false;
        }
        const api::ResultType previous = m_installationFuture.get();
        VN_LOG(6, this, "installZipAsync() - previous installation just ended, result=%1",
               resultTypeToQString(previous));
    }

    VN_LOG(6, this, "Starting async installation for version %1 from file %2", task.version.toString(),
           peerLogText(task.zipFileName));
    {
        // Stored before the worker starts, so that the same request right after this one finds it.
        const std::lock_guard lock(m_installationState.mutex);
        m_installationState.version = task.version;
        m_installationState.zipFileName = task.zipFileName;
    }
    m_installationFuture = std::async(std::launch::async, [this, task] { return installInBackground(task); });
    response.result = api::ResultType::ok;
    VN_LOG(4, this, "Started async installation for version %1 from file %2", task.version.toString(),
           peerLogText(task.zipFileName));
    return true;
}

api::ResultType WaypointProcess::installInBackground(api::InstallZipTaskAsync task)
{
    const api::ResultType result = m_installationManager->installZip(task.version, task.zipFileName);
    const std::lock_guard lock(m_installationState.mutex);
    m_installationState.version = SoftwareVersion();
    m_installationState.zipFileName.clear();
    return result;
}

bool WaypointProcess::checkInstallationProgress(const api::InstallZipCheckStatus& request,
                                                api::InstallZipCheckStatusResponse& response)
{
    if (!m_installationFuture.valid()) {
        response.result = m_installationManager->isVersionInstalled(request.version, /*strict*/ false)
                              ? api::ResultType::ok
                              : api::ResultType::versionNotInstalled;
        VN_LOG(5, this, "checkInstallationProgress() - there is no active installation");
        return response.result == api::ResultType::ok;
    }
    if (m_installationFuture.wait_for(kFutureProbe) != std::future_status::ready) {
        response.result = api::ResultType::unpackingZip;
        VN_LOG(5, this, "checkInstallationProgress() - still installing %1", peerLogText(runningZipFileName()));
    } else {
        response.result = m_installationFuture.get();
        VN_LOG(5, this, "checkInstallationProgress() - complete, result=%1", resultTypeToQString(response.result));
    }
    response.extracted = m_installationManager->installationProgress();
    response.total = m_installationManager->totalUnpackedSize();
    return response.result == api::ResultType::ok;
}

bool WaypointProcess::addProcessKillTimer(const api::AddProcessKillTimerRequest& request,
                                          api::AddProcessKillTimerResponse& response)
{
    // kill() of 0 or -1 would end our own process group or every process of the user, and a kill of
    // ourselves would end the launcher: such a request is refused here, not merely at the kill.
    if (!vorn::utils::isKillablePid(request.pid)) {
        VN_LOG(3, this, "addProcessKillTimer() - refused for process id %1", request.pid);
        response.result = api::ResultType::otherError;
        return false;
    }
    std::optional<quint64> replaced;
    {
        const std::lock_guard lock(m_mutex);
        if (m_terminated) {
            response.result = api::ResultType::otherError;
            return false;
        }
        const auto previous = m_killTimerOfPid.find(request.pid);
        if (previous == m_killTimerOfPid.end() && m_killTimers.size() >= kMaxPendingKillTimers) {
            // Level 3: the log limiter bounds what a flood of such requests writes.
            VN_LOG(3, this, "addProcessKillTimer() - refused for process id %1: %2 kill timers are pending already",
                   request.pid, m_killTimers.size());
            response.result = api::ResultType::otherError;
            return false;
        }
        if (previous != m_killTimerOfPid.end()) {
            // Out of the map, the old timer kills nothing even when it fires before the delete below.
            replaced = previous->second;
            m_killTimers.erase(previous->second);
        }
        const quint64 timerId = m_timerManager.addTimer(this, std::chrono::milliseconds(request.timeoutMs));
        m_killTimers[timerId] = request.pid;
        m_killTimerOfPid[request.pid] = timerId;
    }
    // Outside the lock: the delete waits for a handler that runs now, and that handler takes the lock.
    if (replaced)
        m_timerManager.joinAndDeleteTimer(*replaced);
    response.result = api::ResultType::ok;
    return true;
}

void WaypointProcess::onTimer(const quint64& timerId)
{
    qint64 pid = 0;
    {
        const std::lock_guard lock(m_mutex);
        if (m_terminated)
            return;
        const auto found = m_killTimers.find(timerId);
        if (found == m_killTimers.end())
            return;
        pid = found->second;
        m_killTimers.erase(found);
        m_killTimerOfPid.erase(pid);
    }
    vorn::utils::killProcessByPid(pid);
}

void WaypointProcess::pleaseStop()
{
    std::map<quint64, qint64> killTimers;
    {
        const std::lock_guard lock(m_mutex);
        // A second stop (a quit request and a signal, or two signals) has nothing left to do.
        if (m_terminated)
            return;
        m_terminated = true;
        killTimers.swap(m_killTimers);
        m_killTimerOfPid.clear();
        m_condition.notify_all();
    }
    // Outside the lock: a timer whose handler runs now is waited for, and that handler takes the lock.
    for (const auto& [timerId, pid] : killTimers)
        m_timerManager.joinAndDeleteTimer(timerId);
}

bool WaypointProcess::processRequest()
{
    VN_LOG(4, this, "processRequest() - received a command to stop. Exiting.");
    m_taskServer.pleaseStop();
    pleaseStop();
    return true;
}

} // namespace vorn::vms::waypoint
