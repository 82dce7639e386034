#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "startup_system.h"
#include "trailhead.h"

namespace vorn::trailhead {
namespace {

const std::wstring kOwnPath = L"C:\\Tools\\Launch\\trailhead.exe";
const std::wstring kOwnFolder = L"C:\\Tools\\Launch/";
const std::wstring kLocalAppData = L"C:\\Users\\ann\\AppData\\Local";
const std::wstring kPerUserFolder = L"C:\\Users\\ann\\AppData\\Local\\Velorin\\waypoint\\velorin/";
const std::wstring kVersionFile = L"C:/Users/ann/AppData/Local/Velorin/waypoint/velorin/launcher.version";

// A machine as a table: the files it has, the folder lookup's answer, whether processes start; it
// records what trailhead printed and what it tried to start.
class FakeSystem : public StartupSystem
{
public:
    struct Start
    {
        std::wstring applicationName;
        std::wstring commandLine;
        std::wstring currentFolder;
    };

    std::map<std::wstring, std::string> files;
    std::optional<std::wstring> localAppData = kLocalAppData;
    bool startSucceeds = true;
    bool readThrows = false;
    bool startThrows = false;

    std::vector<std::wstring> lines;
    std::vector<Start> starts;
    std::vector<std::wstring> reads;

    std::wstring ownExecutablePath() override { return kOwnPath; }
    std::optional<std::wstring> localAppDataFolder() override { return localAppData; }

    std::optional<std::string> readTextFile(const std::wstring& path, std::size_t maxBytes) override
    {
        reads.push_back(path);
        if (readThrows)
            throw std::bad_alloc();
        const auto file = files.find(path);
        if (file == files.end())
            return std::nullopt;
        return file->second.substr(0, maxBytes);
    }

    bool createProcess(const std::wstring& applicationName, const std::wstring& commandLine,
                       const std::wstring& currentFolder) override
    {
        if (startThrows)
            throw std::length_error("command line");
        starts.push_back({applicationName, commandLine, currentFolder});
        return startSucceeds;
    }

    void writeLine(std::wstring_view line) override { lines.emplace_back(line); }
};

const std::vector<std::wstring> kPlainArguments = {kOwnPath, L"--exec", L"--proto", L"5000"};

// Which folder the per-user "launcher.version" sends trailhead to, and what it starts there.
TEST(Trailhead, ChoosesTheFolderByVersion)
{
    const struct
    {
        const char* name;
        std::optional<std::string> versionFile;
        bool perUser;
    } rows[] = {
        {"no version file", std::nullopt, false},
        {"older", "5.1.4.38658", false},
        {"equal", "5.1.4.38659", true},
        {"newer", "5.1.4.38660\n", true},
        {"5.2", "5.2", true},
        {"6", "6", true},
        {"older minor, larger build", "4.9.9.99999", false},
        {"garbage", "garbage", false},
        {"negative", "-1.0.0.0", false},
        {"overflowing major", "99999999999.0.0.0", false},
        {"empty file", "", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        FakeSystem system;
        if (row.versionFile)
            system.files[kVersionFile] = *row.versionFile;

        EXPECT_EQ(Trailhead(system).run(kPlainArguments), kLauncherStarted);

        const std::wstring folder = row.perUser ? kPerUserFolder : kOwnFolder;
        std::wstring executable = folder;
        std::replace(executable.begin(), executable.end(), L'\\', L'/');
        executable += L"waypoint.exe";
        ASSERT_EQ(system.starts.size(), 1u);
        EXPECT_EQ(system.starts[0].applicationName, executable);
        EXPECT_EQ(system.starts[0].commandLine, L"\"" + executable + L"\" --exec --proto 5000");
        EXPECT_EQ(system.starts[0].currentFolder, folder);
        EXPECT_EQ(system.lines, (std::vector<std::wstring>{L"Launching in path " + folder,
                                                           L"Command line: " + system.starts[0].commandLine}));
    }
}

TEST(Trailhead, PrintsFolderAsFoundAndCommandLineWithSlashes)
{
    FakeSystem system;
    EXPECT_EQ(Trailhead(system).run(std::vector<std::wstring>{kOwnPath}), kLauncherStarted);
    EXPECT_EQ(system.lines, (std::vector<std::wstring>{L"Launching in path C:\\Tools\\Launch/",
                                                       L"Command line: \"C:/Tools/Launch/waypoint.exe\""}));
}

TEST(Trailhead, PassesArgumentsAsTheyWillBeReadBack)
{
    FakeSystem system;
    EXPECT_EQ(Trailhead(system).run(
                  std::vector<std::wstring>{kOwnPath, L"--client", L"two words", L"", L"say \"hi\"", L"C:\\dir\\"}),
              kLauncherStarted);
    ASSERT_EQ(system.starts.size(), 1u);
    EXPECT_EQ(system.starts[0].commandLine,
              L"\"C:/Tools/Launch/waypoint.exe\" --client \"two words\" \"\" \"say \\\"hi\\\"\" C:\\dir\\");
}

// A per-user folder that cannot be looked up holds no per-user copy: the own copy is started, and no
// file is read from a folder made up of whatever the lookup left behind.
TEST(Trailhead, FailedPerUserLookupStartsTheOwnCopy)
{
    for (const std::optional<std::wstring>& answer :
         {std::optional<std::wstring>(), std::optional<std::wstring>(L"")}) {
        FakeSystem system;
        system.localAppData = answer;
        system.files[kVersionFile] = "9.0.0.0";
        EXPECT_EQ(Trailhead(system).run(kPlainArguments), kLauncherStarted);
        EXPECT_TRUE(system.reads.empty());
        ASSERT_EQ(system.starts.size(), 1u);
        EXPECT_EQ(system.starts[0].currentFolder, kOwnFolder);
    }
}

TEST(Trailhead, ExitCodes)
{
    {
        SCOPED_TRACE("process not created: 1, no second attempt elsewhere");
        FakeSystem system;
        system.startSucceeds = false;
        EXPECT_EQ(Trailhead(system).run(kPlainArguments), kLauncherNotStarted);
        EXPECT_EQ(system.starts.size(), 1u);
        EXPECT_EQ(system.lines.size(), 2u);
    }
    {
        SCOPED_TRACE("exception while starting: not created, 1");
        FakeSystem system;
        system.startThrows = true;
        EXPECT_EQ(Trailhead(system).run(kPlainArguments), kLauncherNotStarted);
    }
    {
        SCOPED_TRACE("exception before starting: 2, nothing started");
        FakeSystem system;
        system.readThrows = true;
        EXPECT_EQ(Trailhead(system).run(kPlainArguments), kStartFailed);
        EXPECT_TRUE(system.starts.empty());
    }
    {
        SCOPED_TRACE("empty argument vector: started without arguments");
        FakeSystem system;
        EXPECT_EQ(Trailhead(system).run(std::vector<std::wstring>{}), kLauncherStarted);
        ASSERT_EQ(system.starts.size(), 1u);
        EXPECT_EQ(system.starts[0].commandLine, L"\"C:/Tools/Launch/waypoint.exe\"");
    }
}

TEST(Trailhead, ReadsAtMostTheVersionFileLimit)
{
    FakeSystem system;
    system.files[kVersionFile] = "6" + std::string(10 * kMaxVersionFileBytes, '0');
    // Cut at the limit, the digits still overflow: 0, the own copy.
    EXPECT_EQ(Trailhead(system).readInstalledLauncherVersion(kPerUserFolder), LauncherVersion{});
    system.files[kVersionFile] = std::string(kMaxVersionFileBytes - 1, ' ') + "6";
    EXPECT_EQ(Trailhead(system).readInstalledLauncherVersion(kPerUserFolder), (LauncherVersion{6, 0, 0, 0}));
    system.files[kVersionFile] = std::string(kMaxVersionFileBytes, ' ') + "6";
    EXPECT_EQ(Trailhead(system).readInstalledLauncherVersion(kPerUserFolder), LauncherVersion{});
}

} // namespace
} // namespace vorn::trailhead
