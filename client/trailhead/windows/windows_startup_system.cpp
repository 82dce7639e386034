// trailhead's StartupSystem on Windows.
#include "windows_startup_system.h"

#include <cstdio>
#include <vector>

// windows.h first: the other Windows headers build on its types.
#include <windows.h>

#include <shlobj.h>

namespace vorn::trailhead {

namespace {

/**
 * kMaxPathLength = 32767: the longest path Windows handles at all. The executable's path is read with
 * a buffer that grows up to it, so a folder deeper than the classic 260 characters is not cut short.
 */
constexpr DWORD kMaxPathLength = 32767;

} // namespace

std::wstring WindowsStartupSystem::ownExecutablePath()
{
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD size = static_cast<DWORD>(buffer.size());
        const DWORD length = GetModuleFileNameW(GetModuleHandleW(nullptr), buffer.data(), size);
        // A path that filled the buffer may have been cut: try again with a larger one.
        if (length < size || size >= kMaxPathLength)
            return std::wstring(buffer.data(), length);
        buffer.resize(std::min<DWORD>(size * 2, kMaxPathLength + 1));
    }
}

std::optional<std::wstring> WindowsStartupSystem::localAppDataFolder()
{
    wchar_t folder[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder)))
        return std::nullopt;
    return std::wstring(folder);
}

std::optional<std::string> WindowsStartupSystem::readTextFile(const std::wstring& path, std::size_t maxBytes)
{
    FILE* file = _wfopen(path.c_str(), L"rt");
    if (!file)
        return std::nullopt;
    std::string text(maxBytes, '\0');
    text.resize(std::fread(text.data(), 1, text.size(), file));
    std::fclose(file);
    return text;
}

bool WindowsStartupSystem::createProcess(const std::wstring& applicationName, const std::wstring& commandLine,
                                         const std::wstring& currentFolder)
{
    // CreateProcessW may write into the command line it is given: it gets a copy of its own.
    std::vector<wchar_t> writableCommandLine(commandLine.begin(), commandLine.end());
    writableCommandLine.push_back(L'\0');
    STARTUPINFOW startupInfo = {};
    startupInfo.cb = sizeof(startupInfo);
    PROCESS_INFORMATION processInfo = {};
    if (!CreateProcessW(applicationName.c_str(), writableCommandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        currentFolder.c_str(), &startupInfo, &processInfo)) {
        return false;
    }
    // waypoint runs on its own; trailhead neither waits for it nor looks at it again.
    CloseHandle(processInfo.hThread);
    CloseHandle(processInfo.hProcess);
    return true;
}

void WindowsStartupSystem::writeLine(std::wstring_view line)
{
    // A program without a console may have no standard output at all; then the line goes nowhere.
    std::fwprintf(stdout, L"%.*ls\n", static_cast<int>(line.size()), line.data());
    std::fflush(stdout);
}

} // namespace vorn::trailhead
