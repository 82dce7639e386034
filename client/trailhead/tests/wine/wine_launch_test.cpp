// trailhead.exe under Wine, with the stand-in waypoint.exe (waypoint_standin.cpp) in the folders it may
// start from: which copy starts for each per-user "launcher.version", the exact command line and
// current folder it gets, the two lines trailhead prints, arguments that must arrive intact, and the
// exit codes.
//
// The prefix is made once per test run by wine_prefix.sh (CTest fixture trailhead_wine); the cases run
// one after another in it. trailhead lives in C:\Tools\Launch, the per-user copy in the prefix user's
// %LOCALAPPDATA%\Velorin\waypoint\velorin. When Wine or the cross compiler is missing the program
// prints the reason and exits with 77, which CTest reports as skipped.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <vorn/testing/wait_until.h>

#include "wine_process.h"

namespace vorn::trailhead::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr int kSkipped = 77;
// Generous: a loaded CI machine can take seconds to start a Windows program; nothing waits this long
// when things work.
constexpr auto kProgramDeadline = 60s;

struct Settings
{
    std::string wine;
    fs::path prefix;
    fs::path trailhead;
    fs::path standin;
    std::string missingReason;
};
Settings g_settings;

std::vector<std::string> outputLines(const std::string& output)
{
    std::vector<std::string> lines;
    std::istringstream stream(output);
    for (std::string line; std::getline(stream, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

std::string unescaped(const std::string& text)
{
    std::string result;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            result += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            result += text[i];
        }
    }
    return result;
}

/** What the stand-in waypoint.exe was started with. */
struct Report
{
    std::string commandLine;
    std::string module;
    std::string folder;
    std::vector<std::string> arguments;
};

std::optional<Report> readReport(const fs::path& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return std::nullopt;
    Report report;
    for (std::string line; std::getline(file, line);) {
        const std::size_t blank = line.find(' ');
        const std::string key = line.substr(0, blank);
        const std::string value = blank == std::string::npos ? std::string() : unescaped(line.substr(blank + 1));
        if (key == "commandLine")
            report.commandLine = value;
        else if (key == "module")
            report.module = value;
        else if (key == "folder")
            report.folder = value;
        else if (key == "argument")
            report.arguments.push_back(value);
    }
    return report;
}

/** A Windows path as the prefix's drive C holds it on this machine. */
fs::path hostPath(const std::string& windowsPath)
{
    std::string relative = windowsPath.substr(3);
    std::replace(relative.begin(), relative.end(), '\\', '/');
    return g_settings.prefix / "drive_c" / relative;
}

/** Separators as '\' and no trailing one, for comparing the paths Windows reports. */
std::string normalised(std::string path)
{
    std::replace(path.begin(), path.end(), '/', '\\');
    while (path.size() > 3 && path.back() == '\\')
        path.pop_back();
    return path;
}

class WineLaunch : public ::testing::Test
{
protected:
    static inline const std::string kOwnFolder = "C:\\Tools\\Launch";
    static inline const std::string kReportFile = "C:\\trailhead_test\\report.txt";
    static inline std::string s_localAppData;

    static void SetUpTestSuite()
    {
        const ProcessResult result =
            runProcess({g_settings.wine, "cmd", "/c", "echo", "%LOCALAPPDATA%"}, kProgramDeadline);
        const std::vector<std::string> lines = outputLines(result.output);
        if (result.exitCode == 0 && lines.size() == 1 && lines[0].rfind("C:\\", 0) == 0)
            s_localAppData = lines[0];
    }

    void SetUp() override
    {
        ASSERT_FALSE(s_localAppData.empty()) << "the prefix's %LOCALAPPDATA% could not be read";
        setenv("TRAILHEAD_TEST_REPORT", kReportFile.c_str(), 1);
        for (const std::string& folder : {kOwnFolder, perUserFolder(), reportFolder()}) {
            fs::remove_all(hostPath(folder));
            fs::create_directories(hostPath(folder));
        }
        fs::copy_file(g_settings.trailhead, hostPath(kOwnFolder + "\\trailhead.exe"));
        fs::copy_file(g_settings.standin, hostPath(kOwnFolder + "\\waypoint.exe"));
        fs::copy_file(g_settings.standin, hostPath(perUserFolder() + "\\waypoint.exe"));
    }

    static std::string perUserFolder() { return s_localAppData + "\\Velorin\\waypoint\\velorin"; }
    static std::string reportFolder() { return kReportFile.substr(0, kReportFile.rfind('\\')); }

    static void writeVersionFile(const std::optional<std::string>& text)
    {
        const fs::path path = hostPath(perUserFolder() + "\\launcher.version");
        fs::remove(path);
        if (text)
            std::ofstream(path, std::ios::binary) << *text;
    }

    static ProcessResult runTrailhead(const std::vector<std::string>& arguments)
    {
        fs::remove(hostPath(kReportFile));
        std::vector<std::string> command = {g_settings.wine, kOwnFolder + "\\trailhead.exe"};
        command.insert(command.end(), arguments.begin(), arguments.end());
        return runProcess(command, kProgramDeadline);
    }

    /** The stand-in's report; waypoint runs on after trailhead has ended, so it may take a moment. */
    static std::optional<Report> waitForReport()
    {
        if (!vorn::testing::waitUntil([] { return fs::exists(hostPath(kReportFile)); }, kProgramDeadline))
            return std::nullopt;
        return readReport(hostPath(kReportFile));
    }
};

TEST_F(WineLaunch, VersionFileDecidesTheFolder)
{
    const struct
    {
        const char* name;
        std::optional<std::string> versionFile;
        bool perUser;
    } rows[] = {
        {"missing", std::nullopt, false},
        {"older", "5.1.4.38658", false},
        {"equal", "5.1.4.38659", true},
        {"newer", "5.1.4.38660\r\n", true},
        {"5.2", "5.2", true},
        {"6", "6", true},
        {"older minor, larger build", "4.9.9.99999", false},
        {"garbage", "garbage", false},
        {"negative", "-1.0.0.0", false},
        {"overflowing major reads as 0", "99999999999.0.0.0", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        writeVersionFile(row.versionFile);
        const ProcessResult result = runTrailhead({"--exec", "--proto", "5000"});
        ASSERT_FALSE(result.timedOut);
        EXPECT_EQ(result.exitCode, 0) << result.errors;

        const std::string folder = row.perUser ? perUserFolder() : kOwnFolder;
        std::string executable = folder + "/waypoint.exe";
        std::replace(executable.begin(), executable.end(), '\\', '/');
        const std::string commandLine = "\"" + executable + "\" --exec --proto 5000";
        EXPECT_EQ(outputLines(result.output),
                  (std::vector<std::string>{"Launching in path " + folder + "/", "Command line: " + commandLine}));

        const std::optional<Report> report = waitForReport();
        ASSERT_TRUE(report) << "waypoint.exe did not run";
        EXPECT_EQ(report->commandLine, commandLine);
        EXPECT_EQ(normalised(report->module), normalised(folder + "\\waypoint.exe"));
        EXPECT_EQ(normalised(report->folder), normalised(folder));
        EXPECT_EQ(report->arguments, (std::vector<std::string>{executable, "--exec", "--proto", "5000"}));
    }
}

TEST_F(WineLaunch, StartedWithoutArguments)
{
    const ProcessResult result = runTrailhead({});
    EXPECT_EQ(result.exitCode, 0) << result.errors;
    const std::optional<Report> report = waitForReport();
    ASSERT_TRUE(report) << "waypoint.exe did not run";
    EXPECT_EQ(report->commandLine, "\"C:/Tools/Launch/waypoint.exe\"");
    EXPECT_EQ(report->arguments, std::vector<std::string>{"C:/Tools/Launch/waypoint.exe"});
}

// Each argument reaches waypoint as trailhead received it, whatever blanks, tabs, quotes and
// backslashes it holds; plain ones are passed on exactly as they came.
TEST_F(WineLaunch, ArgumentsArriveIntact)
{
    const std::vector<std::string> arguments = {
        "--client", "with blank", "tab\there", "say \"hi\"", "", "trailing\\", "C:\\Program Files\\Velorin\\",
        "\\\\\"",   "a\\\\b",     "--plain"};
    const ProcessResult result = runTrailhead(arguments);
    EXPECT_EQ(result.exitCode, 0) << result.errors;
    const std::optional<Report> report = waitForReport();
    ASSERT_TRUE(report) << "waypoint.exe did not run";
    std::vector<std::string> expected = {"C:/Tools/Launch/waypoint.exe"};
    expected.insert(expected.end(), arguments.begin(), arguments.end());
    EXPECT_EQ(report->arguments, expected);
    EXPECT_EQ(report->commandLine.rfind("\"C:/Tools/Launch/waypoint.exe\" --client \"with blank\" ", 0), 0u)
        << report->commandLine;
}

// No waypoint.exe in the chosen folder: exit code 1, and no second attempt in the other folder, although
// a copy is there.
TEST_F(WineLaunch, MissingLauncherExitsWithOne)
{
    const struct
    {
        const char* name;
        std::optional<std::string> versionFile;
        std::string removedFrom;
    } rows[] = {
        {"own copy missing", std::nullopt, kOwnFolder},
        {"per-user copy missing", "6.0.0.0", perUserFolder()},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        writeVersionFile(row.versionFile);
        fs::remove(hostPath(row.removedFrom + "\\waypoint.exe"));
        const ProcessResult result = runTrailhead({"--exec"});
        EXPECT_EQ(result.exitCode, 1) << result.errors;
        EXPECT_EQ(outputLines(result.output).size(), 2u) << result.output;
        // Nothing was started that could still write a report.
        EXPECT_FALSE(fs::exists(hostPath(kReportFile)));
        fs::copy_file(g_settings.standin, hostPath(row.removedFrom + "\\waypoint.exe"));
    }
}

std::string unavailableReason()
{
    if (!g_settings.missingReason.empty())
        return g_settings.missingReason;
    if (g_settings.trailhead.empty() || !fs::exists(g_settings.trailhead) || !fs::exists(g_settings.standin))
        return "trailhead.exe or the stand-in waypoint.exe was not built";
    const fs::path marker = g_settings.prefix.string() + ".unavailable";
    if (std::ifstream file{marker}) {
        std::string reason;
        std::getline(file, reason);
        return reason.empty() ? "Wine cannot start on this machine" : reason;
    }
    if (g_settings.wine.empty())
        return "Wine is not installed (package wine64)";
    if (!fs::is_directory(g_settings.prefix / "drive_c"))
        return "no Wine prefix: the test runs with its fixture (ctest -R trailhead.wine)";
    return {};
}

} // namespace
} // namespace vorn::trailhead::testing

int main(int argc, char** argv)
{
    using vorn::trailhead::testing::g_settings;
    ::testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        const auto value = [&](const char* name) -> std::optional<std::string> {
            const std::string prefix = std::string("--") + name + "=";
            if (argument.rfind(prefix, 0) != 0)
                return std::nullopt;
            return argument.substr(prefix.size());
        };
        if (auto v = value("wine"))
            g_settings.wine = *v;
        else if (auto v = value("prefix"))
            g_settings.prefix = *v;
        else if (auto v = value("trailhead"))
            g_settings.trailhead = *v;
        else if (auto v = value("standin"))
            g_settings.standin = *v;
        else if (auto v = value("missing"))
            g_settings.missingReason = *v;
    }

    const std::string reason = vorn::trailhead::testing::unavailableReason();
    if (!reason.empty()) {
        std::printf("SKIPPED: %s\n", reason.c_str());
        return vorn::trailhead::testing::kSkipped;
    }

    // The same quiet, display-less Wine as the prefix was made with (wine_prefix.sh).
    setenv("WINEPREFIX", g_settings.prefix.c_str(), 1);
    setenv("WINEDEBUG", "-all", 1);
    setenv("WINEDLLOVERRIDES", "mscoree,mshtml=;winemenubuilder.exe=d", 1);
    setenv("WINEARCH", "win64", 1);
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    const char* home = std::getenv("HOME");
    if (!home || !std::filesystem::is_directory(home))
        setenv("HOME", g_settings.prefix.parent_path().c_str(), 1);
    return RUN_ALL_TESTS();
}
