// trailhead's whole decision: start waypoint from trailhead's own folder or from the per-user launcher
// folder, with trailhead's own arguments, and tell how that went in the exit code.
//
//     WindowsStartupSystem system;
//     return Trailhead(system).run(arguments); // arguments[0] is trailhead's own path
//
// The per-user copy is started when its "launcher.version" is at least kBuiltInLauncherVersion;
// otherwise, and whenever the per-user folder cannot be found, the copy beside trailhead is. There is
// no second attempt and no fall-back to the other folder: the exit code tells the caller.
#pragma once

#include <optional>
#include <span>
#include <string>

#include "launcher_version.h"

namespace vorn::trailhead {

class StartupSystem;

/** Exit codes of trailhead. */
enum ExitCode : int {
    kLauncherStarted = 0,
    kLauncherNotStarted = 1, ///< the process could not be created, e.g. no waypoint.exe in the folder
    kStartFailed = 2,        ///< anything else went wrong, e.g. memory ran out
};

class Trailhead
{
public:
    explicit Trailhead(StartupSystem& system);

    /** runLauncher, with any exception that escapes it answered by kStartFailed. */
    int run(std::span<const std::wstring> arguments) noexcept;

    /** Chooses the folder and starts waypoint from it: kLauncherStarted or kLauncherNotStarted. */
    int runLauncher(std::span<const std::wstring> arguments);

    /**
     * Prints the folder and the command line, then starts waypoint.exe of folder (which ends with a
     * separator) with arguments[1..] in that folder. True when the process was created.
     */
    bool startLauncher(const std::wstring& folder, std::span<const std::wstring> arguments);

    /** The version in perUserFolder's "launcher.version"; 0.0.0.0 when there is none. */
    LauncherVersion readInstalledLauncherVersion(const std::wstring& perUserFolder);

    /** The folder of trailhead's own executable, with a trailing separator. */
    std::wstring ownFolder();

    /** The per-user launcher folder with a trailing separator; nullopt when it cannot be found. */
    std::optional<std::wstring> perUserLauncherFolder();

private:
    StartupSystem& m_system;
};

} // namespace vorn::trailhead
