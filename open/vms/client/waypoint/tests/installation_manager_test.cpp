#include "installation_manager.h"

#include <chrono>
#include <future>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QtCore/QFileInfo>
#include <QtCore/QVariant>
#include <gtest/gtest.h>

#include <vorn/utils/log/log_capture.h>
#include <vorn/utils/scope_guard.h>

#include "installation_test_support.h"

namespace vorn::vms::waypoint::test {
namespace {

using vorn::testing::ZipBuilder;
using vorn::utils::SoftwareVersion;
using vorn::utils::log::Level;
using vorn::utils::log::LogCapture;
using Versions = QList<SoftwareVersion>;

class InstallationManagerTest : public InstallationFixture
{
};

TEST_F(InstallationManagerTest, RescanReadsShippedUserAndCompatibilityInstallationsInOrder)
{
    makeClient(shippedClientDir());                               // no build_info: the VMS version
    makeClient(user("5.1"), "version=9.9.9.9\nprotoVersion=7\n"); // the folder name wins
    makeClient(user("5.1.4.38659"));                              // replaces the shipped client
    makeClient(user("6.0.0.1"));                                  // replaced by the compatibility one
    makeClient(user("5.1.4"));                                    // three numbers: no version folder
    makeClient(user("v5.2"));                                     // not digits and dots
    makeClient(user("99999999999.1"));                            // past the range of a number
    ASSERT_TRUE(QDir().mkpath(user("5.2.0.0/bin")));              // no client executable
    makeClient(QDir(compatibilityRoot()).filePath("6.0.0.1"));

    LogCapture capture(Level::verbose);
    const auto manager = makeManager();
    EXPECT_EQ(manager->installedVersions(),
              (Versions{SoftwareVersion(5, 1, 0, 0), SoftwareVersion(5, 1, 4, 38659), SoftwareVersion(6, 0, 0, 1)}));
    EXPECT_EQ(manager->property("count").toInt(), 3);
    EXPECT_TRUE(capture.logger().texts().contains("Compatibility versions: { 5.1.0.0, 5.1.4.38659, 6.0.0.1 } found"));

    const auto named = manager->installationForVersion(SoftwareVersion(5, 1, 0, 0), true);
    ASSERT_FALSE(named.isNull());
    EXPECT_EQ(named->version(), SoftwareVersion(5, 1, 0, 0));
    EXPECT_EQ(named->protoVersion(), 7);
    const auto shippedVersion = manager->installationForVersion(SoftwareVersion(5, 1, 4, 38659), true);
    ASSERT_FALSE(shippedVersion.isNull());
    EXPECT_EQ(shippedVersion->rootPath(), user("5.1.4.38659"));
    EXPECT_TRUE(shippedVersion->isRemovable());
    const auto compatibility = manager->installationForVersion(SoftwareVersion(6, 0, 0, 1), true);
    ASSERT_FALSE(compatibility.isNull());
    EXPECT_EQ(compatibility->rootPath(), QDir(compatibilityRoot()).absoluteFilePath("6.0.0.1"));

    // Without the per-user copy, the shipped client is there under the VMS version, not removable.
    QDir(user("5.1.4.38659")).removeRecursively();
    manager->updateInstalledVersionsInformation();
    const auto shipped = manager->installationForVersion(SoftwareVersion(5, 1, 4, 38659), true);
    ASSERT_FALSE(shipped.isNull());
    EXPECT_EQ(shipped->rootPath(), shippedClientDir());
    EXPECT_FALSE(shipped->isRemovable());
}

TEST_F(InstallationManagerTest, NothingInstalledIsLogged)
{
    LogCapture capture(Level::verbose);
    const auto manager = makeManager();
    EXPECT_EQ(manager->count(), 0);
    const QStringList texts = capture.logger().texts();
    EXPECT_TRUE(texts.contains("Can't find client binary in " + programDir()));
    EXPECT_TRUE(texts.contains("No compatibility versions found"));
    EXPECT_TRUE(texts.contains("Cleanup finished. Nothing was removed."));
}

TEST_F(InstallationManagerTest, LookupOfAVersionAndItsNearestCompatibleVersion)
{
    struct Row
    {
        const char* name;
        std::vector<QString> folders;
        SoftwareVersion requested;
        SoftwareVersion found;   //< Non-strict installationForVersion; null for none.
        SoftwareVersion nearest; //< nearestCompatibleVersion.
    };
    const SoftwareVersion none;
    const std::vector<Row> rows = {
        {"release before builds", {"5.1", "5.1.4.200"}, {5, 1, 4, 100}, {5, 1, 0, 0}, {5, 1, 4, 200}},
        {"only a later build", {"5.1.4.200"}, {5, 1, 4, 100}, {5, 1, 4, 200}, {5, 1, 4, 200}},
        {"other minor only", {"5.2.0.0"}, {5, 1, 4, 100}, none, none},
        {"exact", {"5.1.4.100", "5.1.4.200"}, {5, 1, 4, 100}, {5, 1, 4, 100}, {5, 1, 4, 100}},
        {"highest of the same minor",
         {"5.0.0.1", "5.1.4.200", "5.1.4.100", "6.0.0.1"},
         {5, 1, 9, 9},
         {5, 1, 4, 200},
         {5, 1, 4, 200}},
        {"lower minor only", {"5.0.0.1"}, {5, 1, 0, 1}, none, none},
        {"nothing installed", {}, {5, 1, 0, 0}, none, none},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        QDir(userRoot()).removeRecursively();
        for (const QString& folder : row.folders)
            makeClient(user(folder));
        const auto manager = makeManager();
        const auto found = manager->installationForVersion(row.requested, /*strict*/ false);
        EXPECT_EQ(found ? found->version() : none, row.found);
        EXPECT_EQ(manager->nearestCompatibleVersion(row.requested), row.nearest);
        const bool exact = row.found == row.requested;
        EXPECT_EQ(!manager->installationForVersion(row.requested, /*strict*/ true).isNull(), exact);
    }
}

TEST_F(InstallationManagerTest, LatestVersionOfAProtocolVersion)
{
    auto manager = makeManager();
    EXPECT_EQ(manager->latestVersion(0), SoftwareVersion());

    makeClient(user("5.0.0.1"), "protoVersion=100\n");
    makeClient(user("5.0.0.2"), "protoVersion=100\n");
    makeClient(user("6.0.0.1"), "protoVersion=200\n");
    manager = makeManager();
    EXPECT_EQ(manager->latestVersion(0), SoftwareVersion(6, 0, 0, 1));
    EXPECT_EQ(manager->latestVersion(100), SoftwareVersion(5, 0, 0, 2));
    EXPECT_EQ(manager->latestVersion(200), SoftwareVersion(6, 0, 0, 1));
    EXPECT_EQ(manager->latestVersion(7), SoftwareVersion());
}

TEST_F(InstallationManagerTest, VersionInstalledAfterStartIsFoundByTheLookupsRescan)
{
    const auto manager = makeManager();
    EXPECT_FALSE(manager->isVersionInstalled(SoftwareVersion(5, 1, 4, 100), false));
    makeClient(user("5.1.4.100"));
    EXPECT_TRUE(manager->isVersionInstalled(SoftwareVersion(5, 1, 4, 100), true));
    EXPECT_EQ(manager->count(), 1);

    // The executable is gone: the entry goes, and the next rescan does not find it either.
    QFile::remove(user("5.1.4.100/bin/velorin"));
    EXPECT_FALSE(manager->isVersionInstalled(SoftwareVersion(5, 1, 4, 100), true));
    EXPECT_EQ(manager->count(), 0);
    manager->updateInstalledVersionsInformation();
    EXPECT_EQ(manager->count(), 0);
}

// What a failed installation may leave under the per-user root: nothing at all.
Versions installedAfterRescan(InstallationManager& manager)
{
    manager.updateInstalledVersionsInformation();
    return manager.installedVersions();
}

TEST_F(InstallationManagerTest, InstallZipResults)
{
    struct Row
    {
        const char* name;
        std::optional<ZipBuilder> package; //< None: a file that is not there.
        bool spaceAvailable;
        api::ResultType result;
        const char* message;
    };
    const std::vector<Row> rows = {
        {"not enough space", clientPackage(), false, api::ResultType::notEnoughSpace,
         "Not enough space to install %1."},
        {"no client executable in the package", ZipBuilder().addFile("build_info.txt", "version=5.1.4.100\n"), true,
         api::ResultType::brokenPackage, "Update package 5.1.4.100 (%1) is invalid"},
        {"package that writes outside its folder", clientPackage().addFile("../../evil", "evil"), true,
         api::ResultType::ioError, "Cannot extract zip %1 to %2, errorCode = 3"},
        {"missing package", std::nullopt, true, api::ResultType::ioError, "Cannot extract zip %1 to %2, errorCode = 1"},
    };
    const SoftwareVersion version(5, 1, 4, 100);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const auto manager = makeManager();
        const QString package = row.package ? writePackage(*row.package) : scratch("missing.zip");
        m_reserveSpace = [&row](QFile&, qint64) { return row.spaceAvailable; };
        LogCapture capture(Level::verbose);
        EXPECT_EQ(manager->installZip(version, package), row.result);
        EXPECT_TRUE(capture.logger().texts().contains(
            QString(row.message).arg(package, manager->installationDirForVersion(version))))
            << capture.logger().texts().join('\n').toStdString();
        EXPECT_EQ(QDir(userRoot()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
        EXPECT_EQ(installedAfterRescan(*manager), Versions());
        EXPECT_FALSE(QFileInfo::exists(scratch("evil")));
    }
}

TEST_F(InstallationManagerTest, InstallZipInstallsTheRequestedVersion)
{
    const auto manager = makeManager();
    const QString package = writePackage(clientPackage("5.1.4.99"));
    qint64 reserved = -1;
    m_reserveSpace = [&](QFile& probe, qint64 size) {
        reserved = size;
        return QFileInfo(probe).fileName() == "dummytest.tmp";
    };
    LogCapture capture(Level::verbose);
    const SoftwareVersion version(5, 1, 4, 100);
    ASSERT_EQ(manager->installZip(version, package), api::ResultType::ok);

    const QString folder = user("5.1.4.100");
    EXPECT_TRUE(capture.logger().texts().contains("Version 5.1.4.100 has been installed successfully to " + folder));
    EXPECT_EQ(reserved, clientPackage().unpackedSize());
    EXPECT_EQ(manager->totalUnpackedSize(), reserved);
    EXPECT_GT(manager->installationProgress(), 0);
    EXPECT_TRUE(QFileInfo(folder + "/bin/velorin").isExecutable());
    EXPECT_FALSE(QFileInfo::exists(folder + "/update.json"));
    EXPECT_FALSE(QFileInfo::exists(folder + "/package.json"));
    EXPECT_FALSE(QFileInfo::exists(folder + "/dummytest.tmp"));
    EXPECT_EQ(QDir(userRoot()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"5.1.4.100"});

    const auto info = manager->installationForVersion(version, true);
    ASSERT_FALSE(info.isNull());
    EXPECT_EQ(info->version(), version) << "the requested version, whatever build_info.txt says";
    EXPECT_EQ(info->rootPath(), folder);
    EXPECT_TRUE(info->isRemovable());
    EXPECT_EQ(info->lastExecutionTime(), kNow);

    // Installed already: the folder is left alone.
    writeFile(folder + "/mine.txt", "kept");
    EXPECT_EQ(manager->installZip(version, package), api::ResultType::alreadyInstalled);
    EXPECT_TRUE(QFileInfo::exists(folder + "/mine.txt"));
}

TEST_F(InstallationManagerTest, OldVersionsShareAMajorMinorFolder)
{
    makeClient(user("2.2.0.0"));
    ASSERT_TRUE(QDir().mkpath(user("2.1/leftover")));
    const auto manager = makeManager();
    const QString package = writePackage(clientPackage());

    // A folder without a client is no installation: it is emptied and the version installed anew.
    ASSERT_EQ(manager->installZip(SoftwareVersion(2, 1, 0, 5), package), api::ResultType::ok);
    EXPECT_TRUE(QFileInfo::exists(user("2.1/bin/velorin")));
    EXPECT_FALSE(QFileInfo::exists(user("2.1/leftover")));
    EXPECT_EQ(manager->installationDirForVersion(SoftwareVersion(2, 2, 0, 0)), user("2.2.0.0"));
    EXPECT_EQ(manager->installationDirForVersion(SoftwareVersion(10, 0, 0, 1)), user("10.0.0.1"));
    EXPECT_TRUE(manager->isVersionInstalled(SoftwareVersion(2, 1, 0, 5), true));

    // Read back from its folder's name, it is 2.1.0.0.
    manager->updateInstalledVersionsInformation();
    EXPECT_EQ(manager->installedVersions(), (Versions{SoftwareVersion(2, 1, 0, 0), SoftwareVersion(2, 2, 0, 0)}));
    EXPECT_FALSE(manager->isVersionInstalled(SoftwareVersion(2, 1, 0, 5), true));
}

// A package whose client executable is unpacked before a damaged entry stops the extraction: the
// half-unpacked folder must not become an installation, now or after a rescan.
TEST_F(InstallationManagerTest, ExtractionFailingHalfWayLeavesNoInstallation)
{
    const QString package = writePackage(
        clientPackage().setCompression(ZipBuilder::Compression::store).addFile("lib/big.bin", std::string(8192, 'B')));
    QFile zip(package);
    ASSERT_TRUE(zip.open(QIODevice::ReadWrite));
    QByteArray bytes = zip.readAll();
    const int damaged = bytes.indexOf(QByteArray(8192, 'B'));
    ASSERT_GT(damaged, 0);
    bytes[damaged + 4096] = 'X';
    zip.seek(0);
    zip.write(bytes);
    zip.close();

    const auto manager = makeManager();
    EXPECT_EQ(manager->installZip(SoftwareVersion(5, 1, 4, 100), package), api::ResultType::ioError);
    EXPECT_FALSE(manager->isVersionInstalled(SoftwareVersion(5, 1, 4, 100), true));
    EXPECT_EQ(QDir(userRoot()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    EXPECT_EQ(installedAfterRescan(*manager), Versions());
}

// Two installations into one folder at once (say a synchronous and a background one): the later one
// answers busy and touches nothing. It is started from inside the first one's space check, when the
// first one has claimed and created its folder.
TEST_F(InstallationManagerTest, SecondInstallationIntoTheSameFolderIsBusy)
{
    struct Row
    {
        const char* name;
        SoftwareVersion first;
        SoftwareVersion second;
    };
    const std::vector<Row> rows = {
        {"the same version", {5, 1, 4, 100}, {5, 1, 4, 100}},
        {"two builds below 2.2 share the major.minor folder", {2, 1, 0, 5}, {2, 1, 0, 7}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        QDir(userRoot()).removeRecursively();
        const auto manager = makeManager();
        const QString package = writePackage(clientPackage());
        const QString other = writePackage(ZipBuilder().addFile("bin/velorin", "other", 0755), "other.zip");
        std::optional<api::ResultType> second;
        QStringList probeFolderAfterSecond;
        m_reserveSpace = [&, asked = false](QFile& probe, qint64) mutable {
            if (std::exchange(asked, true))
                return true;
            LogCapture capture(Level::verbose);
            second = manager->installZip(row.second, other);
            probeFolderAfterSecond = QFileInfo(probe).dir().entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
            return true;
        };
        EXPECT_EQ(manager->installZip(row.first, package), api::ResultType::ok);
        EXPECT_EQ(second, api::ResultType::busy);
        EXPECT_EQ(probeFolderAfterSecond, QStringList{"dummytest.tmp"}) << "the second installation touched it";
        const auto info = manager->installationForVersion(row.first, true);
        ASSERT_FALSE(info.isNull());
        QFile executable(info->executableFilePath());
        ASSERT_TRUE(executable.open(QIODevice::ReadOnly));
        EXPECT_EQ(executable.readAll(), "#!/bin/sh\necho client\n");
        if (row.second != row.first) {
            EXPECT_FALSE(manager->isVersionInstalled(row.second, true));
        }
    }
}

// Installation A waits in the middle of its extraction (its second file is a pipe that this test reads)
// while installation B runs from start to end. B replaces A's extractor as the current one; A goes on
// with its own. Meanwhile progress queries and rescans see A's state as it is.
TEST_F(InstallationManagerTest, ProgressAndRescansWhileAnotherInstallationRuns)
{
    const auto manager = makeManager();
    const std::string first(1024 * 1024, 'a');
    const std::string second(2 * 1024 * 1024, 'b'); // Far more than a pipe holds.
    const ZipBuilder packageA = ZipBuilder()
                                    .addFile("bin/velorin", "#!/bin/sh\n", 0755)
                                    .addFile("lib/first.bin", first)
                                    .addFile("lib/second.bin", second);
    const QString zipA = writePackage(packageA, "a.zip");
    const QString zipB = writePackage(clientPackage(), "b.zip");
    const SoftwareVersion versionA(5, 1, 4, 100);
    const SoftwareVersion versionB(5, 2, 0, 0);

    std::promise<QString> pipeMade;
    m_reserveSpace = [&, made = false](QFile& probe, qint64) mutable {
        if (!made) {
            made = true;
            const QString pipe = QFileInfo(probe).dir().filePath("lib/second.bin");
            EXPECT_TRUE(QDir().mkpath(QFileInfo(pipe).path()));
            EXPECT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
            pipeMade.set_value(pipe);
        }
        return true;
    };
    api::ResultType resultA = api::ResultType::otherError;
    std::thread installationA([&] { resultA = manager->installZip(versionA, zipA); });
    // A waits for a reader of its pipe: whatever happens here, the pipe is read to its end.
    int reader = -1;
    std::string received;
    const auto readToEnd = [&] {
        char buffer[65536];
        for (ssize_t read; (read = ::read(reader, buffer, sizeof buffer)) > 0;)
            received.append(buffer, static_cast<std::size_t>(read));
        ::close(std::exchange(reader, -1));
    };
    const vorn::utils::ScopeGuard joinA([&] {
        if (reader >= 0)
            readToEnd();
        if (installationA.joinable())
            installationA.join();
    });

    auto pipeFuture = pipeMade.get_future();
    ASSERT_EQ(pipeFuture.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    // Returns once A opened the pipe to write into it: its executable and first file are unpacked.
    reader = ::open(QFile::encodeName(pipeFuture.get()).constData(), O_RDONLY);
    ASSERT_GE(reader, 0);
    EXPECT_EQ(manager->installationProgress(), static_cast<qint64>(std::string("#!/bin/sh\n").size() + first.size()));
    EXPECT_EQ(manager->totalUnpackedSize(), packageA.unpackedSize());
    EXPECT_EQ(installedAfterRescan(*manager), Versions()) << "a half-unpacked client is no installation";

    EXPECT_EQ(manager->installZip(versionB, zipB), api::ResultType::ok);
    EXPECT_EQ(manager->totalUnpackedSize(), clientPackage().unpackedSize());
    const qint64 progressB = manager->installationProgress();
    EXPECT_GT(progressB, 0);

    readToEnd();
    installationA.join();
    EXPECT_EQ(resultA, api::ResultType::ok);
    EXPECT_EQ(received, second);
    EXPECT_EQ(manager->installedVersions(), (Versions{versionA, versionB}));
    // The last installation to become current was B: its values stay until the next one starts.
    EXPECT_EQ(manager->installationProgress(), progressB);
}

} // namespace
} // namespace vorn::vms::waypoint::test
