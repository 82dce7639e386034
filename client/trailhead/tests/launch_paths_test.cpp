#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "launch_paths.h"

namespace vorn::trailhead {
namespace {

// Every path operation as one table: the operation, its input and its result.
TEST(LaunchPaths, Table)
{
    const std::function<std::wstring(const wchar_t*)> trailing = [](const wchar_t* p) {
        return withTrailingSeparator(p);
    };
    const std::function<std::wstring(const wchar_t*)> join = [](const wchar_t* p) {
        return joinPath(p, kLauncherExecutableName);
    };
    const std::function<std::wstring(const wchar_t*)> folder = [](const wchar_t* p) { return folderOfPath(p); };
    const std::function<std::wstring(const wchar_t*)> perUser = [](const wchar_t* p) {
        return perUserLauncherFolderIn(p);
    };

    const struct
    {
        const char* name;
        const std::function<std::wstring(const wchar_t*)>& operation;
        const wchar_t* input;
        const wchar_t* expected;
    } rows[] = {
        // clang-format off
        {"trailing: empty stays empty", trailing, L"", L""},
        {"trailing: '/' added", trailing, L"C:\\Tools\\Launch", L"C:\\Tools\\Launch/"},
        {"trailing: '\\' kept", trailing, L"C:\\Tools\\Launch\\", L"C:\\Tools\\Launch\\"},
        {"trailing: '/' kept", trailing, L"C:/Tools/Launch/", L"C:/Tools/Launch/"},
        {"trailing: drive", trailing, L"C:", L"C:/"},
        {"join: folder as printed", join, L"C:\\Tools\\Launch/", L"C:/Tools/Launch/waypoint.exe"},
        {"join: no separator", join, L"C:\\Tools\\Launch", L"C:/Tools/Launch/waypoint.exe"},
        {"join: backslash at the end", join, L"C:\\Tools\\Launch\\", L"C:/Tools/Launch/waypoint.exe"},
        {"join: network share", join, L"\\\\server\\share\\", L"//server/share/waypoint.exe"},
        {"join: empty folder", join, L"", L"waypoint.exe"},
        {"folder: of a file", folder, L"C:\\Tools\\Launch\\trailhead.exe", L"C:\\Tools\\Launch"},
        {"folder: '/' separators", folder, L"C:/Tools/Launch/trailhead.exe", L"C:/Tools/Launch"},
        {"folder: drive root kept", folder, L"C:\\trailhead.exe", L"C:\\"},
        {"folder: root of the current drive", folder, L"\\trailhead.exe", L"\\"},
        {"folder: network share", folder, L"\\\\server\\share\\trailhead.exe", L"\\\\server\\share"},
        {"folder: bare file name", folder, L"trailhead.exe", L""},
        {"folder: empty", folder, L"", L""},
        {"per-user folder", perUser, L"C:\\Users\\ann\\AppData\\Local",
            L"C:\\Users\\ann\\AppData\\Local\\Velorin\\waypoint\\velorin/"},
        {"per-user folder: root", perUser, L"D:\\", L"D:\\Velorin\\waypoint\\velorin/"},
        // clang-format on
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.operation(row.input), row.expected);
    }
}

} // namespace
} // namespace vorn::trailhead
