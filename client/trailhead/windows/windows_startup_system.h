// trailhead's StartupSystem on Windows: the Windows API and the C runtime, nothing else, so that the
// executable stands alone (linked statically, no DLL of its own).
#pragma once

#include "startup_system.h"

namespace vorn::trailhead {

class WindowsStartupSystem : public StartupSystem
{
public:
    std::wstring ownExecutablePath() override;
    std::optional<std::wstring> localAppDataFolder() override;
    std::optional<std::string> readTextFile(const std::wstring& path, std::size_t maxBytes) override;
    bool createProcess(const std::wstring& applicationName, const std::wstring& commandLine,
                       const std::wstring& currentFolder) override;
    void writeLine(std::wstring_view line) override;
};

} // namespace vorn::trailhead
