// trailhead's choice of the launcher folder and the start of waypoint.
#include "trailhead.h"

#include "command_line.h"
#include "launch_paths.h"
#include "startup_system.h"

namespace vorn::trailhead {

Trailhead::Trailhead(StartupSystem& system)
    : m_system(system)
{}

int Trailhead::run(std::span<const std::wstring> arguments) noexcept
{
    try {
        return runLauncher(arguments);
    } catch (...) {
        return kStartFailed;
    }
}

int Trailhead::runLauncher(std::span<const std::wstring> arguments)
{
    // Without a per-user folder there is no per-user copy to trust: its version counts as 0.0.0.0.
    const std::optional<std::wstring> perUserFolder = perUserLauncherFolder();
    const LauncherVersion installed = perUserFolder ? readInstalledLauncherVersion(*perUserFolder) : LauncherVersion{};
    const std::wstring folder = installed < kBuiltInLauncherVersion ? ownFolder() : *perUserFolder;
    return startLauncher(folder, arguments) ? kLauncherStarted : kLauncherNotStarted;
}

bool Trailhead::startLauncher(const std::wstring& folder, std::span<const std::wstring> arguments)
{
    m_system.writeLine(L"Launching in path " + folder);
    const std::wstring executablePath = joinPath(folder, kLauncherExecutableName);
    const std::wstring commandLine =
        buildCommandLine(executablePath, arguments.empty() ? arguments : arguments.subspan(1));
    m_system.writeLine(L"Command line: " + commandLine);
    try {
        return m_system.createProcess(executablePath, commandLine, folder);
    } catch (...) {
        return false;
    }
}

LauncherVersion Trailhead::readInstalledLauncherVersion(const std::wstring& perUserFolder)
{
    const std::optional<std::string> text =
        m_system.readTextFile(joinPath(perUserFolder, kLauncherVersionFileName), kMaxVersionFileBytes);
    return text ? parseLauncherVersion(*text) : LauncherVersion{};
}

std::wstring Trailhead::ownFolder()
{
    return withTrailingSeparator(folderOfPath(m_system.ownExecutablePath()));
}

std::optional<std::wstring> Trailhead::perUserLauncherFolder()
{
    // An empty answer would make a relative folder of the current one: treat it as no answer.
    const std::optional<std::wstring> localAppData = m_system.localAppDataFolder();
    if (!localAppData || localAppData->empty())
        return std::nullopt;
    return perUserLauncherFolderIn(*localAppData);
}

} // namespace vorn::trailhead
