// waypoint, the application launcher: names the application, guards the single instance, reads the
// command line and sets up logging, scans the installed client versions, and runs the launcher process
// until a quit request or a console control event (SIGINT, SIGTERM, SIGHUP) stops it.
//
// Exit code: 1 in quit mode when the running launcher accepted the quit request, else 0.
#include <chrono>
#include <memory>
#include <thread>

#include <QtCore/QDir>
#include <QtCore/QSettings>

#include <qtsinglecoreapplication.h>
#include <vorn/branding.h>
#include <vorn/build_info.h>
#include <vorn/utils/thread/long_runnable.h>
#include <vorn/utils/timer_manager.h>

#include "command_line.h"
#include "console_control_watcher.h"
#include "console_ctrl_handler.h"
#include "installation_manager.h"
#include "waypoint_process.h"

namespace {

using namespace std::chrono_literals;

// How often quit mode looks whether the other launcher has gone, and how long it waits at most: a
// launcher that accepted the quit but hangs in its shutdown must not keep this one forever.
constexpr auto kQuitPollInterval = 100ms;
constexpr auto kQuitWaitLimit = 30s;

} // namespace

int main(int argc, char** argv)
{
    using namespace vorn::vms::waypoint;

    QCoreApplication::setOrganizationName(vorn::branding::company());
    QCoreApplication::setApplicationName(vorn::branding::waypointInternalName());
    QCoreApplication::setApplicationVersion(vorn::build_info::vmsVersion());

    // The process-wide pool of long-running threads (task server) exists from here to the end.
    VnLongRunnablePool& pool = VnLongRunnablePool::instance();
    auto app = std::make_unique<QtSingleCoreApplication>(vorn::branding::waypointInternalName(), argc, argv);
    QDir::setCurrent(QCoreApplication::applicationDirPath());
    auto settings = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                                vorn::branding::company(), vorn::branding::waypointInternalName());
    auto parameters = std::make_unique<StartupParameters>(parseCommandLineParameters());
    auto installationManager = std::make_unique<InstallationManager>();
    auto timerManager = std::make_unique<vorn::utils::TimerManager>();
    auto process = std::make_unique<WaypointProcess>(settings.get(), installationManager.get(), *parameters);

    // The watcher lives to the end, so a signal during the teardown is handled (as nothing) instead of
    // ending the process half-way.
    setConsoleControlTarget(process.get());
    const ConsoleControlWatcher watcher([](int signal) { consoleCtrlHandler(signal); });
    process->initChannels();
    const int result = process->run();
    // From here on a console control event does nothing: the launcher process is about to go.
    setConsoleControlTarget(nullptr);

    // Wait for the other instance only when it accepted the quit; it had no reason to go otherwise.
    if (parameters->mode == StartupParameters::quit) {
        if (result == 1) {
            const auto deadline = std::chrono::steady_clock::now() + kQuitWaitLimit;
            while (app->isRunning() && std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(kQuitPollInterval);
        }
        std::this_thread::sleep_for(kQuitPollInterval);
    }

    process.reset();
    timerManager.reset();
    installationManager.reset();
    parameters.reset();
    settings.reset();
    app.reset();
    pool.stopAll();
    return result;
}
