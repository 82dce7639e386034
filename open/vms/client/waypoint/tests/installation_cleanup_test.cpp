#include "installation_manager.h"

#include <vector>

#include <QtCore/QFileInfo>
#include <gtest/gtest.h>

#include <vorn/utils/log/log_capture.h>

#include "installation_test_support.h"

namespace vorn::vms::waypoint::test {
namespace {

using vorn::utils::SoftwareVersion;
using vorn::utils::log::Level;
using vorn::utils::log::LogCapture;
using Versions = QList<SoftwareVersion>;

class InstallationCleanupTest : public InstallationFixture
{
protected:
    struct Installation
    {
        QString folder;          //< Under the per-user root; empty for the shipped client.
        int protoVersion;        //< 0: none in "build_info.txt".
        qint64 age;              //< Since the last start, at kNow.
        QByteArray version = {}; //< "build_info.txt" version (the shipped client's).
    };

    void install(const std::vector<Installation>& installations)
    {
        for (const Installation& installation : installations) {
            QByteArray buildInfo;
            if (installation.protoVersion != 0)
                buildInfo += "protoVersion=" + QByteArray::number(installation.protoVersion) + "\n";
            if (!installation.version.isEmpty())
                buildInfo += "version=" + installation.version + "\n";
            makeClient(installation.folder.isEmpty() ? shippedClientDir() : user(installation.folder), buildInfo,
                       installation.age);
        }
    }
};

TEST_F(InstallationCleanupTest, RemovesWhatWasNotStartedForLong)
{
    const qint64 k180Days = InstallationManager::kUnusedLimitMs;
    const qint64 k30Days = InstallationManager::kUnusedLimitWithNewerProtocolMs;
    ASSERT_EQ(k180Days, 180 * kDayMs);
    ASSERT_EQ(k30Days, 30 * kDayMs);
    const qint64 kYears = 3 * 365 * kDayMs;
    struct Row
    {
        const char* name;
        std::vector<Installation> installations;
        Versions kept;
        const char* finalMessage;
    };
    const std::vector<Row> rows = {
        {"only the shipped client", {{"", 0, kYears}}, {{5, 1, 4, 38659}}, "Cleanup finished. Nothing was removed."},
        {"exactly 180 days stays, 1 ms more goes",
         {{"5.0.0.1", 0, k180Days}, {"5.0.0.2", 0, k180Days + 1}, {"6.0.0.1", 0, 0}},
         {{5, 0, 0, 1}, {6, 0, 0, 1}},
         "Cleanup finished. Removed 1 versions."},
        {"the newest stays whatever its age",
         {{"5.0.0.1", 0, kYears}},
         {{5, 0, 0, 1}},
         "Cleanup finished. Nothing was removed."},
        {"a newer build of the protocol version: 30 days",
         {{"5.0.0.1", 100, k30Days + 1}, {"5.0.0.2", 100, k180Days - 1}, {"6.0.0.1", 200, kYears}},
         {{5, 0, 0, 2}, {6, 0, 0, 1}},
         "Cleanup finished. Removed 1 versions."},
        {"exactly 30 days stays",
         {{"5.0.0.1", 100, k30Days}, {"5.0.0.2", 100, 0}, {"6.0.0.1", 200, 0}},
         {{5, 0, 0, 1}, {5, 0, 0, 2}, {6, 0, 0, 1}},
         "Cleanup finished. Nothing was removed."},
        {"protocol version 0 only by the 180 days",
         {{"5.0.0.1", 0, k30Days + 1}, {"5.0.0.2", 0, 0}, {"6.0.0.1", 200, 0}},
         {{5, 0, 0, 1}, {5, 0, 0, 2}, {6, 0, 0, 1}},
         "Cleanup finished. Nothing was removed."},
        {"a version gone by 180 days is no newer build",
         {{"5.0.0.1", 100, k30Days + 1}, {"5.0.0.2", 100, k180Days + 1}, {"5.0.0.3", 100, 0}, {"6.0.0.1", 0, 0}},
         {{5, 0, 0, 3}, {6, 0, 0, 1}},
         "Cleanup finished. Removed 2 versions."},
        {"the shipped client is never removed",
         {{"", 100, kYears, "4.0.0.1"}, {"5.0.0.1", 100, 0}},
         {{4, 0, 0, 1}, {5, 0, 0, 1}},
         "Cleanup finished. Nothing was removed."},
        {"old builds below 2.2",
         {{"2.0", 0, kYears}, {"2.1", 0, kYears}, {"5.0.0.1", 0, 0}},
         {{5, 0, 0, 1}},
         "Cleanup finished. Removed 2 versions."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        QDir(userRoot()).removeRecursively();
        QDir(shippedClientDir() + "/bin").removeRecursively();
        QFile::remove(shippedClientDir() + "/build_info.txt");
        install(row.installations);

        LogCapture capture(Level::verbose);
        const auto manager = makeManager();
        EXPECT_EQ(manager->installedVersions(), row.kept);
        EXPECT_TRUE(capture.logger().texts().contains(row.finalMessage))
            << capture.logger().texts().join('\n').toStdString();
        for (const Installation& installation : row.installations) {
            if (installation.folder.isEmpty())
                continue;
            const bool kept = row.kept.contains(SoftwareVersion(installation.folder));
            EXPECT_EQ(QFileInfo::exists(user(installation.folder)), kept) << installation.folder.toStdString();
        }
        // The flag is down again: the next clean-up runs.
        capture.logger().clear();
        manager->removeUnusedVersions();
        manager->waitForCleanup();
        EXPECT_TRUE(capture.logger().texts().contains("Cleanup finished. Nothing was removed."));
    }
}

TEST_F(InstallationCleanupTest, CompatibilityVersionLosesItsEntryButNotItsFolder)
{
    makeClient(QDir(compatibilityRoot()).filePath("5.0.0.1"), {}, 200 * kDayMs);
    install({{"6.0.0.1", 0, 0}});
    const auto manager = makeManager();
    EXPECT_EQ(manager->installedVersions(), Versions{SoftwareVersion(6, 0, 0, 1)});
    EXPECT_TRUE(QFileInfo::exists(QDir(compatibilityRoot()).filePath("5.0.0.1/bin/velorin")));
}

// The clean-up decides, then removes on its worker. A version started in between (its last start stamped
// after the decision) is kept; the others chosen go. The final message counts what was chosen.
TEST_F(InstallationCleanupTest, VersionStartedAfterTheDecisionIsKept)
{
    install({{"5.0.0.1", 0, 0}, {"5.0.0.2", 0, 0}, {"6.0.0.1", 0, 0}});
    const auto manager = makeManager();
    ASSERT_EQ(manager->count(), 3);

    m_now = kNow + 200 * kDayMs;
    m_beforeCleanupRemovals = [&] {
        manager->installationForVersion(SoftwareVersion(5, 0, 0, 2), true)->updateLastExecutionTime();
    };
    LogCapture capture(Level::verbose);
    manager->removeUnusedVersions();
    manager->waitForCleanup();
    EXPECT_EQ(manager->installedVersions(), (Versions{SoftwareVersion(5, 0, 0, 2), SoftwareVersion(6, 0, 0, 1)}));
    EXPECT_FALSE(QFileInfo::exists(user("5.0.0.1")));
    EXPECT_TRUE(QFileInfo::exists(user("5.0.0.2/bin/velorin")));
    EXPECT_TRUE(capture.logger().texts().contains("Cleanup finished. Removed 2 versions."));
}

// A clean-up asked for while another one decides or removes is skipped, not repeated later.
TEST_F(InstallationCleanupTest, CleanupRequestedWhileOneRunsIsSkipped)
{
    install({{"5.0.0.1", 0, 0}, {"5.0.0.2", 0, 0}});
    const auto manager = makeManager();
    m_now = kNow + 200 * kDayMs;
    m_beforeCleanupRemovals = [&] { manager->removeUnusedVersions(); };

    LogCapture capture(Level::verbose);
    manager->removeUnusedVersions();
    manager->waitForCleanup();
    const QStringList texts = capture.logger().texts();
    EXPECT_TRUE(texts.contains("Previous cleanup has not finished yet. Skipping...")) << texts.join('\n').toStdString();
    EXPECT_EQ(texts.count("Starting cleanup procedure..."), 1);
    EXPECT_EQ(manager->installedVersions(), Versions{SoftwareVersion(5, 0, 0, 2)});
}

// On Linux the markers of an old version live in its own installation folder (above "bin/").
TEST_F(InstallationCleanupTest, LegacyVersionMarkersFollowTheInstalledVersions)
{
    install({{"2.0", 0, 0}, {"2.1", 0, 0}, {"5.1.4.100", 0, 0}});
    writeFile(user("2.0/1.5"), ""); // A marker of a version that is gone.
    ASSERT_TRUE(QDir().mkpath(user("2.0/5.0")));
    auto manager = makeManager();
    const auto files = [this](const QString& folder) {
        QStringList names = QDir(user(folder)).entryList(QDir::Files);
        names.removeAll("properties.ini");
        return names;
    };
    EXPECT_EQ(files("2.0"), (QStringList{"2.1", "5.1"}));
    EXPECT_EQ(files("2.1"), (QStringList{"2.0", "5.1"}));
    EXPECT_EQ(files("5.1.4.100"), QStringList()) << "the newest version gets no markers";
    EXPECT_TRUE(QFileInfo(user("2.0/5.0")).isDir()) << "folders are never touched";

    // 5.1.4.100 goes: 2.1 is the newest now, and only 2.0's markers are brought up to date.
    QDir(user("5.1.4.100")).removeRecursively();
    manager->updateInstalledVersionsInformation();
    EXPECT_EQ(files("2.0"), QStringList{"2.1"});
    EXPECT_EQ(files("2.1"), (QStringList{"2.0", "5.1"}));
}

} // namespace
} // namespace vorn::vms::waypoint::test
