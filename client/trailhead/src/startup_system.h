// What trailhead asks of the operating system, as one interface: the Windows program implements it
// with the Windows API (windows/windows_startup_system.h), the tests with tables.
//
// Every operation answers its failure in its result; none is expected to throw, and an exception that
// escapes one (memory exhaustion) ends the start with exit code 2 (see Trailhead::run).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace vorn::trailhead {

class StartupSystem
{
public:
    virtual ~StartupSystem() = default;

    /** The full path of the running executable. */
    virtual std::wstring ownExecutablePath() = 0;

    /** The user's local application-data folder; nullopt when it cannot be looked up. */
    virtual std::optional<std::wstring> localAppDataFolder() = 0;

    /** At most maxBytes from the start of the text file at path; nullopt when it cannot be opened. */
    virtual std::optional<std::string> readTextFile(const std::wstring& path, std::size_t maxBytes) = 0;

    /**
     * Starts the program applicationName with the whole commandLine (its own path first) in
     * currentFolder, inheriting the environment, without waiting for it. True when it was created.
     */
    virtual bool createProcess(const std::wstring& applicationName, const std::wstring& commandLine,
                               const std::wstring& currentFolder) = 0;

    /** Writes line and a line end to standard output and flushes it. */
    virtual void writeLine(std::wstring_view line) = 0;
};

} // namespace vorn::trailhead
