#include "installation_info.h"

#include <optional>
#include <vector>

#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QFileInfo>
#include <QtCore/QSettings>
#include <QtCore/QTemporaryDir>
#include <gtest/gtest.h>

namespace vorn::vms::waypoint {
namespace {

using vorn::utils::SoftwareVersion;

TEST(InstallationInfoBuildInfo, ReadsVersionAndProtocolVersion)
{
    struct Row
    {
        const char* name;
        QByteArray text;
        SoftwareVersion version;
        int protoVersion;
    };
    const std::vector<Row> rows = {
        {"both keys", "version=5.1.4.100\nprotoVersion=1234\n", SoftwareVersion(5, 1, 4, 100), 1234},
        {"windows line ends", "version=5.1.4.100\r\nprotoVersion=1234\r\n", SoftwareVersion(5, 1, 4, 100), 1234},
        {"blanks around key and value", "  version =  5.1.4.7  \n", SoftwareVersion(5, 1, 4, 7), 0},
        {"the last equals sign separates", "version=x=5.1.4.1\nprotoVersion==7\n", SoftwareVersion(), 0},
        {"keys are case-sensitive", "Version=5.1.4.1\nprotoversion=3\n", SoftwareVersion(), 0},
        {"a later line wins", "version=4.0.0.1\nversion=5.0.0.2\nprotoVersion=1\nprotoVersion=2\n",
         SoftwareVersion(5, 0, 0, 2), 2},
        {"not a number", "protoVersion=12abc\n", SoftwareVersion(), 0},
        {"other keys and lines without equals sign", "branch=main\njust text\n\n\nversion=5.1\n",
         SoftwareVersion(5, 1, 0, 0), 0},
        {"empty", "", SoftwareVersion(), 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const InstallationInfo::BuildInfo info = InstallationInfo::parseBuildInfo(row.text);
        EXPECT_EQ(info.version, row.version) << info.version.toString().toStdString();
        EXPECT_EQ(info.protoVersion, row.protoVersion);
    }
}

class InstallationInfoTest : public ::testing::Test
{
protected:
    static constexpr qint64 kNow = 1'700'000'000'000;

    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

    QString folder(const QString& name) const { return m_dir.filePath(name); }

    void makeClient(const QString& path)
    {
        ASSERT_TRUE(QDir().mkpath(path + "/bin"));
        QFile executable(path + "/bin/velorin");
        ASSERT_TRUE(executable.open(QIODevice::WriteOnly));
        executable.setPermissions(executable.permissions() | QFileDevice::ExeOwner);
    }

    static void writeFile(const QString& path, const QByteArray& content)
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }

    static std::optional<qint64> storedTime(const QString& path)
    {
        if (!QFileInfo::exists(path + "/properties.ini"))
            return std::nullopt;
        const QSettings properties(path + "/properties.ini", QSettings::IniFormat);
        return properties.value("stats/lastExecutionDateTime").toLongLong();
    }

    QSharedPointer<InstallationInfo> read(const QString& path, bool removable = true)
    {
        return InstallationInfo::fromDirectory(path, removable, [this] { return m_now; });
    }

    QTemporaryDir m_dir;
    qint64 m_now = kNow;
};

TEST_F(InstallationInfoTest, FolderWithoutClientExecutableIsNoInstallation)
{
    const QString path = folder("5.1.4.100");
    ASSERT_TRUE(QDir().mkpath(path + "/bin"));
    writeFile(path + "/build_info.txt", "version=5.1.4.100\n");
    EXPECT_TRUE(read(path).isNull());
    EXPECT_EQ(storedTime(path), std::nullopt) << "nothing is written into a folder that is no installation";
}

TEST_F(InstallationInfoTest, ReadsTheFolder)
{
    const QString path = folder("client");
    makeClient(path);
    writeFile(path + "/build_info.txt", "version=5.1.4.100\nprotoVersion=1234\n");
    ASSERT_TRUE(QDir().mkpath(path + "/lib"));

    const auto info = read(path, /*removable*/ false);
    ASSERT_FALSE(info.isNull());
    EXPECT_EQ(info->version(), SoftwareVersion(5, 1, 4, 100));
    EXPECT_EQ(info->protoVersion(), 1234);
    EXPECT_FALSE(info->isRemovable());
    EXPECT_EQ(info->rootPath(), path);
    EXPECT_EQ(info->executableRelativePath(), "bin/velorin");
    EXPECT_EQ(info->executableFilePath(), path + "/bin/velorin");
    EXPECT_EQ(info->executableDirPath(), path + "/bin");
    EXPECT_EQ(info->libraryRelativePath(), "lib");
    EXPECT_EQ(info->libraryPath(), path + "/lib");
    EXPECT_TRUE(info->exists());

    QFile::remove(path + "/bin/velorin");
    EXPECT_FALSE(info->exists());
}

TEST_F(InstallationInfoTest, LibraryFolderInsideBesideOrNone)
{
    makeClient(folder("beside/5.1"));
    ASSERT_TRUE(QDir().mkpath(folder("beside/lib")));
    const auto beside = read(folder("beside/5.1"));
    ASSERT_FALSE(beside.isNull());
    EXPECT_EQ(beside->libraryRelativePath(), "../lib");

    makeClient(folder("none"));
    const auto none = read(folder("none"));
    ASSERT_FALSE(none.isNull());
    EXPECT_EQ(none->libraryRelativePath(), "");
    EXPECT_EQ(none->libraryPath(), "");
}

TEST_F(InstallationInfoTest, LastExecutionTimeIsReadStampedAndKept)
{
    struct Row
    {
        const char* name;
        std::optional<QByteArray> properties;
        qint64 expected;
    };
    const std::vector<Row> rows = {
        {"no file: first seen now", std::nullopt, kNow},
        {"no key", "[stats]\nother=5\n", kNow},
        {"stored zero is replaced", "[stats]\nlastExecutionDateTime=0\n", kNow},
        {"not a number", "[stats]\nlastExecutionDateTime=yesterday\n", kNow},
        {"stored time kept", "[stats]\nlastExecutionDateTime=1600000000000\n", 1'600'000'000'000},
    };
    int index = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const QString path = folder(QString::number(++index));
        makeClient(path);
        if (row.properties)
            writeFile(path + "/properties.ini", *row.properties);
        const auto info = read(path);
        ASSERT_FALSE(info.isNull());
        EXPECT_EQ(info->lastExecutionTime(), row.expected);
        EXPECT_EQ(storedTime(path), row.expected);
    }

    const QString path = folder("1");
    const auto info = read(path);
    m_now = kNow + 5000;
    info->updateLastExecutionTime();
    EXPECT_EQ(info->lastExecutionTime(), kNow + 5000);
    EXPECT_EQ(storedTime(path), kNow + 5000);
    EXPECT_EQ(read(path)->lastExecutionTime(), kNow + 5000);
}

} // namespace
} // namespace vorn::vms::waypoint
