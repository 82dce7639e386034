#include "command_line.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QFileInfo>
#include <QtCore/QTemporaryDir>

#include <vorn/kit/ini_config.h>
#include <vorn/testing/scoped_environment.h>
#include <vorn/utils/log/log.h>

#include <gtest/gtest.h>

namespace vorn::vms::waypoint {
namespace {

using vorn::testing::ScopedEnvironment;
using vorn::utils::log::Level;

// A temporary data folder (through XDG_DATA_HOME) and ini folder, the launcher's application names,
// and the main logger and level put back afterwards.
class CommandLineTest : public ::testing::Test
{
protected:
    CommandLineTest()
        : m_dataHome("XDG_DATA_HOME", m_root.filePath("data").toUtf8())
        , m_iniFolder(vorn::kit::IniConfig::kFolderVariable, m_root.filePath("ini").toUtf8())
        , m_previousLogger(vorn::utils::log::mainLogger())
        , m_previousLevel(vorn::utils::log::maxLevel())
        , m_previousOrganization(QCoreApplication::organizationName())
        , m_previousApplication(QCoreApplication::applicationName())
    {
        QCoreApplication::setOrganizationName("Velorin");
        QCoreApplication::setApplicationName("waypoint");
        QDir().mkpath(m_root.filePath("ini"));
    }

    ~CommandLineTest() override
    {
        vorn::utils::log::setMainLogger(m_previousLogger);
        vorn::utils::log::setMaxLevel(m_previousLevel);
        QCoreApplication::setOrganizationName(m_previousOrganization);
        QCoreApplication::setApplicationName(m_previousApplication);
    }

    QString dataDir() const { return m_root.filePath("data/Velorin/waypoint"); }

    void writeIni(const QByteArray& content)
    {
        QFile file(m_root.filePath("ini/waypoint_log.ini"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }

    static StartupParameters parse(const QStringList& arguments)
    {
        return parseCommandLineParameters(QStringList{"/opt/waypoint/bin/waypoint"} + arguments);
    }

    QTemporaryDir m_root;
    const ScopedEnvironment m_dataHome;
    const ScopedEnvironment m_iniFolder;
    const std::shared_ptr<vorn::utils::log::AbstractLogger> m_previousLogger;
    const Level m_previousLevel;
    const QString m_previousOrganization;
    const QString m_previousApplication;
};

TEST_F(CommandLineTest, Parameters)
{
    struct Row
    {
        const char* name;
        QStringList arguments;
        int mode;
        int proto;
        QStringList clientArgs;
    };
    const Row rows[] = {
        {"nothing", {}, StartupParameters::normal, 0, {}},
        {"quit wins over exec", {"--quit", "--exec"}, StartupParameters::quit, 0, {}},
        {"proto and a lone log level",
         {"--proto", "5", "--log-level", "warning", "a", "b"},
         StartupParameters::normal,
         5,
         {"--proto", "5", "--log-level", "warning", "a", "b"}},
        {"exec twice", {"--exec", "x", "--exec"}, StartupParameters::exec, 0, {"x"}},
        {"proto not a number", {"--proto", "abc"}, StartupParameters::normal, 0, {"--proto", "abc"}},
        {"unknown option passed on", {"--zoom", "y"}, StartupParameters::normal, 0, {"--zoom", "y"}},
        // "--exec=1" sets exec mode but is not the exact text "--exec": it goes on to the clients.
        {"only exact texts removed", {"--Quit", "--exec=1"}, StartupParameters::exec, 0, {"--Quit", "--exec=1"}},
        {"help is not acted on", {"--help", "--version"}, StartupParameters::normal, 0, {"--help", "--version"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const StartupParameters parameters = parse(row.arguments);
        EXPECT_EQ(parameters.mode, row.mode);
        EXPECT_EQ(parameters.clientProtoVersion, row.proto);
        EXPECT_EQ(parameters.clientArgs, row.clientArgs);
        EXPECT_EQ(removeLauncherOptions(QStringList{"prog"} + row.arguments), row.clientArgs);
    }
}

TEST_F(CommandLineTest, LoggingChoice)
{
    struct Row
    {
        const char* name;
        QStringList arguments;
        QByteArray ini; // empty: no ini file
        QString expectedFile;
        Level expectedLevel;
    };
    const QString explicitBase = m_root.filePath("cli/wp");
    const Row rows[] = {
        {"both options, ini not read",
         {"--log-level", "verbose", "--log-file", explicitBase},
         "logLevel=debug\nlogFile=fromini\n",
         explicitBase + ".log",
         Level::verbose},
        {"level only: ini",
         {"--log-level", "verbose"},
         "logLevel=debug\nlogFile=fromini\n",
         dataDir() + "/log/fromini.log",
         Level::debug},
        {"file only, no ini: defaults",
         {"--log-file", explicitBase},
         "",
         dataDir() + "/log/waypoint.log",
         Level::warning},
        {"no options: ini", {}, "logLevel=error\n", dataDir() + "/log/waypoint.log", Level::error},
        {"no options, no ini: defaults", {}, "", dataDir() + "/log/waypoint.log", Level::warning},
        {"unreadable ini: defaults", {}, "logLevel=loud\n", dataDir() + "/log/waypoint.log", Level::warning},
        {"unreadable level option: default level",
         {"--log-level", "loud", "--log-file", explicitBase},
         "",
         explicitBase + ".log",
         Level::info},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        QDir(m_root.filePath("cli")).removeRecursively();
        QDir(dataDir()).removeRecursively();
        QFile::remove(m_root.filePath("ini/waypoint_log.ini"));
        if (!row.ini.isEmpty())
            writeIni(row.ini);

        parse(row.arguments);
        EXPECT_TRUE(QFileInfo(dataDir()).isDir());
        EXPECT_TRUE(QFileInfo::exists(row.expectedFile));
        EXPECT_EQ(vorn::utils::log::maxLevel(), row.expectedLevel);
        EXPECT_EQ(QFileInfo::exists(dataDir() + "/log/fromini.log"), row.expectedFile.endsWith("fromini.log"));
    }
}

TEST_F(CommandLineTest, ParsingErrorIsLoggedAndStartUpGoesOn)
{
    const QString base = m_root.filePath("cli/wp");
    const StartupParameters parameters = parse({"--log-level", "debug", "--log-file", base, "--zoom"});
    EXPECT_EQ(parameters.clientArgs, QStringList({"--log-level", "debug", "--log-file", base, "--zoom"}));
    vorn::utils::log::setMainLogger(m_previousLogger); // closes the file
    QFile file(base + ".log");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains(
        "DEBUG vorn::vms::waypoint::parseCommandLineParameters: Cmdline parsing error: Unknown option 'zoom'."));
}

} // namespace
} // namespace vorn::vms::waypoint
