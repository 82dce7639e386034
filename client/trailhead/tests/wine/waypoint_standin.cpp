// waypoint.exe as trailhead's tests under Wine put it in a launcher folder: instead of launching
// anything it writes what it was started with to the file named by the environment variable
// TRAILHEAD_TEST_REPORT, for the test to compare:
//
//     commandLine <the raw command line>
//     module <its own full path>
//     folder <its current folder>
//     argument <argv[0]>
//     argument <argv[1]>
//     ...
//
// The arguments are split from the raw command line with CommandLineToArgvW, as the real launcher's
// runtime does. Values are UTF-8, with '%', control characters and DEL written as %XX so that every
// record stays on its line. The report is written beside its final name and renamed into place, so a
// test that sees the file sees all of it.
#include <cstdio>
#include <string>
#include <vector>

// windows.h first: the other Windows headers build on its types.
#include <windows.h>

#include <shellapi.h>

namespace {

std::string utf8Escaped(const std::wstring& text)
{
    std::string utf8;
    if (!text.empty()) {
        const int size =
            WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
        utf8.resize(static_cast<std::size_t>(size));
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), size, nullptr,
                            nullptr);
    }
    std::string escaped;
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f || byte == '%') {
            char code[4];
            std::snprintf(code, sizeof(code), "%%%02X", byte);
            escaped += code;
        } else {
            escaped += c;
        }
    }
    return escaped;
}

std::wstring environmentVariable(const wchar_t* name)
{
    std::vector<wchar_t> value(32768);
    const DWORD length = GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size()));
    return length > 0 && length < value.size() ? std::wstring(value.data(), length) : std::wstring();
}

} // namespace

int main()
{
    const std::wstring reportPath = environmentVariable(L"TRAILHEAD_TEST_REPORT");
    if (reportPath.empty())
        return 3;

    std::string report;
    const std::wstring commandLine = GetCommandLineW();
    report += "commandLine " + utf8Escaped(commandLine) + "\n";

    std::vector<wchar_t> buffer(32768);
    const DWORD moduleLength = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    report += "module " + utf8Escaped(std::wstring(buffer.data(), moduleLength)) + "\n";
    const DWORD folderLength = GetCurrentDirectoryW(static_cast<DWORD>(buffer.size()), buffer.data());
    report += "folder " + utf8Escaped(std::wstring(buffer.data(), folderLength)) + "\n";

    int count = 0;
    wchar_t** const arguments = CommandLineToArgvW(commandLine.c_str(), &count);
    for (int i = 0; arguments && i < count; ++i)
        report += "argument " + utf8Escaped(arguments[i]) + "\n";

    const std::wstring partialPath = reportPath + L".partial";
    FILE* file = _wfopen(partialPath.c_str(), L"wb");
    if (!file)
        return 4;
    const bool written = std::fwrite(report.data(), 1, report.size(), file) == report.size();
    if (std::fclose(file) != 0 || !written)
        return 5;
    return MoveFileExW(partialPath.c_str(), reportPath.c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : 6;
}
