// The launcher end to end: the built waypoint and velorin programs in a temporary home, driven through
// the pipe with a raw socket client, as another process would drive them.
//
// Each test gets its own home, pipe name, single-instance lock folder (TMPDIR), compatibility root and
// record file of the client stand-in, so tests never see each other's launcher.
#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QtCore/QDateTime>
#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QFileInfo>
#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QLockFile>
#include <QtCore/QProcess>
#include <QtCore/QRegularExpression>
#include <QtCore/QStandardPaths>
#include <QtCore/QTemporaryDir>

#include <qtsinglecoreapplication.h>
#include <vorn/testing/raw_pipe_client.h>
#include <vorn/testing/scoped_environment.h>
#include <vorn/testing/wait_until.h>
#include <vorn/testing/zip_builder.h>

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;
using vorn::testing::waitUntil;

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class WaypointEndToEnd : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_root.isValid());
        for (const char* folder : {"home", "tmp", "data", "compat", "ini", "log"})
            QDir().mkpath(m_root.filePath(folder));
        static std::atomic<int> counter{0};
        m_pipeName = QStringLiteral("waypoint-e2e-%1-%2").arg(::getpid()).arg(counter++);

        m_environment = QProcessEnvironment::systemEnvironment();
        m_environment.insert("HOME", home());
        m_environment.insert("TMPDIR", m_root.filePath("tmp"));
        m_environment.insert("XDG_DATA_HOME", m_root.filePath("data"));
        m_environment.insert("XDG_CONFIG_HOME", m_root.filePath("config"));
        m_environment.insert("VORN_WAYPOINT_PIPE", m_pipeName);
        m_environment.insert("VORN_INSTALLATION_ROOT", m_root.filePath("compat"));
        m_environment.insert("VORN_INI_FILES_DIR", m_root.filePath("ini"));
        m_environment.insert("VELORIN_RECORD", recordPath());
        m_environment.insert("LD_LIBRARY_PATH", "/inherited/lib");
        // Each launcher keeps to its own log; a leak report of a sanitised launcher fails the test.
        m_environment.insert("ASAN_OPTIONS", "detect_leaks=1:exitcode=86");
    }

    void TearDown() override
    {
        for (QProcess* process : m_launchers) {
            if (process->state() != QProcess::NotRunning) {
                process->kill();
                process->waitForFinished(10000);
            }
            delete process;
        }
        // A launcher killed above had no chance to remove its socket file.
        QFile::remove(socketPath());
        if (HasFailure()) {
            for (const QFileInfo& log : QDir(m_root.filePath("log")).entryInfoList(QDir::Files))
                std::printf("---- %s\n%s\n", qPrintable(log.fileName()), readFile(log.filePath()).constData());
        }
    }

    QString home() const { return m_root.filePath("home"); }
    QString recordPath() const { return m_root.filePath("record.jsonl"); }
    QString socketPath() const { return "/tmp/" + m_pipeName; }
    QString installationDir(const QString& version) const
    {
        return home() + "/AppData/Local/Velorin/client/velorin/" + version;
    }

    // Starts waypoint with the arguments (and its own log file); the caller waits for what it needs.
    // With a wrapper (a command line that ends where the program belongs) waypoint runs under it.
    QProcess* startWaypoint(const QStringList& arguments, const QStringList& wrapper = {})
    {
        auto* process = new QProcess;
        m_launchers.push_back(process);
        process->setProcessEnvironment(m_environment);
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        const QString log = m_root.filePath(QStringLiteral("log/waypoint-%1").arg(m_launchers.size()));
        const QStringList waypoint =
            QStringList{WAYPOINT_PATH, "--log-level", "verbose", "--log-file", log} + arguments;
        const QStringList command = wrapper + waypoint;
        process->start(command.first(), command.mid(1));
        EXPECT_TRUE(process->waitForStarted(10000));
        return process;
    }

    // What the launcher started n-th (from 1) has logged so far.
    QString logOf(int n) const
    {
        QString text;
        const QString prefix = QStringLiteral("waypoint-%1").arg(n);
        for (const QFileInfo& log : QDir(m_root.filePath("log")).entryInfoList(QDir::Files)) {
            if (log.fileName() == prefix || log.fileName().startsWith(prefix + "."))
                text += QString::fromUtf8(readFile(log.filePath()));
        }
        return text;
    }

    // Starts a serving launcher and waits until it answers on the pipe.
    QProcess* startServingWaypoint(const QStringList& arguments = {"--exec"}, const QStringList& wrapper = {})
    {
        QProcess* process = startWaypoint(arguments, wrapper);
        EXPECT_TRUE(
            waitUntil([&] { return exchange("pingWaypoint\n{\"value1\":\"1\",\"value2\":\"2\"}").size() > 0; }));
        return process;
    }

    std::string exchange(const std::string& request)
    {
        return vorn::testing::rawPipeExchange(socketPath().toStdString(), {request}, false, 0ms, 60000ms).bytes;
    }

    // A client package: the real velorin as bin/velorin, its build information and a library folder.
    QString makePackage(const QString& version, qint64 padding = 0)
    {
        vorn::testing::ZipBuilder builder;
        builder.addFile("bin/velorin", readFile(VELORIN_PATH).toStdString(), 0755)
            .addFile("build_info.txt", "version=" + version.toStdString() + "\nprotoVersion=51\n")
            .addFile("lib/libclient.so", "not really a library\n");
        if (padding > 0) {
            // Incompressible bytes, stored, so that the extraction takes a while.
            std::string bytes(static_cast<std::size_t>(padding), '\0');
            std::uint32_t state = 12345;
            for (char& byte : bytes) {
                state = state * 1664525u + 1013904223u;
                byte = static_cast<char>(state >> 24);
            }
            builder.setCompression(vorn::testing::ZipBuilder::Compression::store).addFile("share/data.bin", bytes);
        }
        const QString path = m_root.filePath("client-" + version + ".zip");
        EXPECT_TRUE(builder.write(path));
        return path;
    }

    std::string installZip(const QString& version, const QString& zip, const char* channel = "installZip")
    {
        QJsonObject body{{"version", version}, {"zipFileName", zip}};
        return exchange(std::string(channel) + "\n" + QJsonDocument(body).toJson(QJsonDocument::Compact).toStdString());
    }

    std::string runRequest(const QString& version, const QStringList& arguments)
    {
        QJsonObject body{{"version", version}, {"arguments", QJsonArray::fromStringList(arguments)}};
        return exchange("run\n" + QJsonDocument(body).toJson(QJsonDocument::Compact).toStdString());
    }

    // The client starts recorded so far, waiting until there are at least `count`.
    QList<QJsonObject> records(int count)
    {
        QList<QJsonObject> lines;
        waitUntil([&] {
            lines.clear();
            for (const QByteArray& line : readFile(recordPath()).split('\n')) {
                if (!line.isEmpty())
                    lines.append(QJsonDocument::fromJson(line).object());
            }
            return lines.size() >= count;
        });
        return lines;
    }

    static int exitCodeOf(QProcess* process)
    {
        EXPECT_TRUE(process->waitForFinished(60000));
        EXPECT_EQ(process->exitStatus(), QProcess::NormalExit);
        return process->exitCode();
    }

    QTemporaryDir m_root;
    QString m_pipeName;
    QProcessEnvironment m_environment;
    std::vector<QProcess*> m_launchers;
};

TEST_F(WaypointEndToEnd, InstallsFromAZipAndAnswersQueries)
{
    QProcess* launcher = startServingWaypoint();
    const QString zip = makePackage("5.1.4.100");

    EXPECT_EQ(exchange("getInstalledVersions\n{}"), "ok\n{\"versions\":[]}\n");
    EXPECT_EQ(exchange("isVersionInstalled\n{\"version\":\"5.1.4.100\"}"), "ok\n{\"installed\":false}\n");
    EXPECT_EQ(installZip("5.1.4.100", zip), "ok\n\n");
    EXPECT_TRUE(QFileInfo(installationDir("5.1.4.100") + "/bin/velorin").isExecutable());
    EXPECT_EQ(installZip("5.1.4.100", zip), "alreadyInstalled\n\n");
    EXPECT_EQ(exchange("isVersionInstalled\n{\"version\":\"5.1.4.100\"}"), "ok\n{\"installed\":true}\n");
    EXPECT_EQ(exchange("getInstalledVersions\n{}"), "ok\n{\"versions\":[\"5.1.4.100\"]}\n");
    EXPECT_EQ(installZip("5.2.0.1", m_root.filePath("missing.zip")).substr(0, 3) != "ok\n", true);

    EXPECT_EQ(exchange("quit\n"), "ok\n\n");
    EXPECT_EQ(exitCodeOf(launcher), 0);
}

TEST_F(WaypointEndToEnd, InstallsInTheBackgroundWithProgress)
{
    QProcess* launcher = startServingWaypoint();
    const QString zip = makePackage("5.1.4.200", 64 * 1024 * 1024);

    EXPECT_EQ(installZip("5.1.4.200", zip, "startZipInstallation"), "ok\n\n");
    // The same request right after the first: answered ok, nothing started twice.
    EXPECT_EQ(installZip("5.1.4.200", zip, "startZipInstallation"), "ok\n\n");
    // Another one while it runs: busy (or, if the first has finished by now, a new installation that
    // finds the version installed).
    const std::string other = installZip("5.1.4.201", zip, "startZipInstallation");
    EXPECT_TRUE(other == "busy\n\n" || other == "ok\n\n") << other;

    std::string reply;
    int polls = 0;
    ASSERT_TRUE(waitUntil(
        [&] {
            reply = exchange("checkZipProgress\n{\"version\":\"5.1.4.200\"}");
            ++polls;
            return reply.rfind("unpackingZip\n", 0) != 0;
        },
        120000ms));
    const QJsonObject progress =
        QJsonDocument::fromJson(QByteArray::fromStdString(reply.substr(reply.find('\n') + 1))).object();
    if (other == "busy\n\n") {
        EXPECT_EQ(reply.substr(0, 3), "ok\n") << reply;
        EXPECT_GT(progress.value("total").toString().toLongLong(), 64 * 1024 * 1024);
        EXPECT_EQ(progress.value("extracted").toString(), progress.value("total").toString());
    }
    // The result was taken: now only whether the version is installed.
    EXPECT_EQ(exchange("checkZipProgress\n{\"version\":\"5.1.4.200\"}"), "ok\n{\"extracted\":\"0\",\"total\":\"0\"}\n");
    EXPECT_EQ(exchange("checkZipProgress\n{\"version\":\"9.9\"}"),
              "versionNotInstalled\n{\"extracted\":\"0\",\"total\":\"0\"}\n");
    EXPECT_TRUE(QFileInfo(installationDir("5.1.4.200") + "/bin/velorin").isExecutable());

    EXPECT_EQ(exchange("quit\n"), "ok\n\n");
    EXPECT_EQ(exitCodeOf(launcher), 0);
}

TEST_F(WaypointEndToEnd, RunStartsTheClientWithItsRules)
{
    QProcess* launcher = startServingWaypoint();
    ASSERT_EQ(installZip("5.1.4.100", makePackage("5.1.4.100")), "ok\n\n");
    ASSERT_EQ(installZip("2.5.0.0", makePackage("2.5.0.0")), "ok\n\n");
    const QString gstreamer = QFileInfo(WAYPOINT_PATH).absolutePath() + "/../lib/gstreamer-0.10";

    struct Row
    {
        const char* name;
        QString version;
        QStringList arguments;
        QStringList recordedArguments;
        QString libraryPath;
    };
    const Row rows[] = {
        {"exact version", "5.1.4.100", {"--proto", "5", "ü x"}, {"--proto", "5", "ü x"}, "/inherited/lib"},
        {"below 3.0: -name and library folders",
         "2.5.0.0",
         {"a"},
         {"a", "-name", "velorin"},
         installationDir("2.5.0.0") + "/lib:" + gstreamer + ":/inherited/lib"},
        {"same major.minor", "5.1.9.9", {"b"}, {"b"}, "/inherited/lib"},
        {"newest of any", "7.0", {"c"}, {"c"}, "/inherited/lib"},
    };
    int count = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(runRequest(row.version, row.arguments), "ok\n\n");
        const QList<QJsonObject> lines = records(++count);
        ASSERT_EQ(lines.size(), count);
        const QJsonObject& line = lines.last();
        EXPECT_EQ(line.value("arguments").toVariant().toStringList(), row.recordedArguments);
        EXPECT_EQ(line.value("workingFolder").toString(), home());
        EXPECT_EQ(line.value("libraryPath").toString(), row.libraryPath);
    }
    EXPECT_EQ(exchange("quit\n"), "ok\n\n");
    EXPECT_EQ(exitCodeOf(launcher), 0);
}

// A pipe client's texts reach the log quoted: a line feed, a carriage return or a line separator in a
// zip file name or a client argument starts no line of its own, whatever the text after it looks like.
TEST_F(WaypointEndToEnd, PipeTextsWithLineBreaksWriteNoLineOfTheirOwn)
{
    QProcess* launcher = startServingWaypoint();
    ASSERT_EQ(installZip("5.1.4.100", makePackage("5.1.4.100")), "ok\n\n");
    const QString forged = "2026-01-01 00:00:00.000 1 ERROR Forged: ";
    const QString zip =
        m_root.filePath("missing.zip") + "\n" + forged + "lf\r" + forged + "cr" + QChar(0x2028) + forged + "ls";
    EXPECT_NE(installZip("5.2.0.1", zip).substr(0, 3), "ok\n");
    EXPECT_EQ(installZip("5.2.0.2", zip, "startZipInstallation"), "ok\n\n");
    EXPECT_TRUE(waitUntil(
        [&] { return exchange("checkZipProgress\n{\"version\":\"5.2.0.2\"}").rfind("unpackingZip\n", 0) != 0; }));
    EXPECT_EQ(runRequest("5.1.4.100", {"--a\n" + forged + "arg"}), "ok\n\n");
    EXPECT_EQ(records(1).size(), 1);
    EXPECT_EQ(exchange("quit\n"), "ok\n\n");
    EXPECT_EQ(exitCodeOf(launcher), 0);

    const QString log = logOf(1);
    const QString quotedZip =
        m_root.filePath("missing.zip") + "\\n" + forged + "lf\\r" + forged + "cr\\u2028" + forged + "ls";
    for (const QString& quoted :
         {"Installing update 5.2.0.1 from " + quotedZip,
          "Cannot extract zip " + quotedZip + " to " + installationDir("5.2.0.1"),
          "Started async installation for version 5.2.0.2 from file " + quotedZip,
          "Cannot extract zip " + quotedZip + " to " + installationDir("5.2.0.2"), "args: --a\\n" + forged + "arg"}) {
        EXPECT_TRUE(log.contains(quoted)) << qPrintable(quoted);
    }
    const QRegularExpression lineBreak(QStringLiteral("[\\n\\r\\x{85}\\x{2028}\\x{2029}]"));
    for (const QString& line : log.split(lineBreak))
        EXPECT_FALSE(line.startsWith(forged)) << qPrintable(line);
}

TEST_F(WaypointEndToEnd, NormalModeStartsTheNewestClientAndNoClientMeansNotInstalled)
{
    QProcess* first = startServingWaypoint();
    EXPECT_EQ(runRequest("5.1", {}), "versionNotInstalled\n\n");
    ASSERT_EQ(installZip("5.0.0.1", makePackage("5.0.0.1")), "ok\n\n");
    ASSERT_EQ(installZip("5.1.4.100", makePackage("5.1.4.100")), "ok\n\n");
    EXPECT_EQ(exchange("quit\n"), "ok\n\n");
    EXPECT_EQ(exitCodeOf(first), 0);

    QProcess* second = startServingWaypoint({"--proto", "51", "x"});
    const QList<QJsonObject> lines = records(1);
    ASSERT_EQ(lines.size(), 1);
    EXPECT_EQ(
        lines[0].value("arguments").toVariant().toStringList(),
        QStringList({"--log-level", "verbose", "--log-file", m_root.filePath("log/waypoint-2"), "--proto", "51", "x"}));
    EXPECT_EQ(exchange("quit\n"), "ok\n\n");
    EXPECT_EQ(exitCodeOf(second), 0);
}

TEST_F(WaypointEndToEnd, PingEchoesItsValues)
{
    startServingWaypoint();
    const qint64 before = QDateTime::currentMSecsSinceEpoch();
    const std::string reply = exchange("pingWaypoint\n{\"value1\":\"7\",\"value2\":\"-9223372036854775808\"}");
    const qint64 after = QDateTime::currentMSecsSinceEpoch();
    ASSERT_EQ(reply.substr(0, 3), "ok\n");
    const QJsonObject body = QJsonDocument::fromJson(QByteArray::fromStdString(reply.substr(3))).object();
    EXPECT_EQ(body.value("value1").toString(), "7");
    EXPECT_EQ(body.value("value2").toString(), "-9223372036854775808");
    const qint64 time = body.value("timeMs").toString().toLongLong();
    EXPECT_GE(time, before);
    EXPECT_LE(time, after);
}

TEST_F(WaypointEndToEnd, KillTimerEndsAChildAndRefusesWhatIsNotOne)
{
    startServingWaypoint();
    QProcess child;
    child.start("/bin/sleep", {"60"});
    ASSERT_TRUE(child.waitForStarted(10000));
    EXPECT_EQ(exchange("addProcessKillTimer\n{\"pid\":\"" + std::to_string(child.processId()) + "\",\"timeoutMs\":50}"),
              "ok\n\n");
    ASSERT_TRUE(child.waitForFinished(30000));
    EXPECT_EQ(child.exitStatus(), QProcess::CrashExit);

    for (const char* pid : {"0", "-1", "-2"}) {
        SCOPED_TRACE(pid);
        EXPECT_EQ(exchange(std::string("addProcessKillTimer\n{\"pid\":\"") + pid + "\",\"timeoutMs\":0}"),
                  "otherError\n\n");
    }
    // The launcher (and this test, in its process group) still live: ask it something.
    EXPECT_EQ(exchange("quit\n"), "ok\n\n");
}

TEST_F(WaypointEndToEnd, QuitModeMakesTheRunningLauncherExit)
{
    QProcess* server = startServingWaypoint();
    QProcess* quitter = startWaypoint({"--quit"});
    EXPECT_EQ(exitCodeOf(quitter), 1);
    EXPECT_EQ(exitCodeOf(server), 0);
    EXPECT_FALSE(QFileInfo::exists(socketPath()));

    // Nobody running: quit mode exits with 0 and does not stay.
    QProcess* alone = startWaypoint({"--quit"});
    EXPECT_EQ(exitCodeOf(alone), 0);
}

TEST_F(WaypointEndToEnd, QuitModeDoesNotWaitForAnInstanceThatRefusedTheQuit)
{
    // Another instance holds the single-instance lock but serves no pipe (hung, or still starting):
    // the quit request fails, so there is nothing to wait for.
    QString lockPath;
    {
        const vorn::testing::ScopedEnvironment tmpdir("TMPDIR", m_root.filePath("tmp").toUtf8());
        lockPath = QtSingleCoreApplication::lockFilePath("waypoint");
    }
    QLockFile otherInstance(lockPath);
    ASSERT_TRUE(otherInstance.tryLock(0));
    QProcess* quitter = startWaypoint({"--quit"});
    EXPECT_EQ(exitCodeOf(quitter), 0);
}

TEST_F(WaypointEndToEnd, QuitModeNeitherTakesOverNorTellsALauncherOfAnotherUser)
{
    // Another local user's launcher serves this user's pipe name: it made the socket file first.
    const QString setpriv = QStandardPaths::findExecutable("setpriv");
    if (::geteuid() != 0 || setpriv.isEmpty())
        GTEST_SKIP() << "running a launcher as another user needs root and setpriv (util-linux)";
    const uid_t otherUser = 4242;
    std::error_code error;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(m_root.path().toStdString(), error))
        ASSERT_EQ(::lchown(entry.path().c_str(), otherUser, otherUser), 0) << entry.path();
    ASSERT_EQ(::chown(QFile::encodeName(m_root.path()).constData(), otherUser, otherUser), 0);
    const QStringList asOtherUser{setpriv, QStringLiteral("--reuid=%1").arg(otherUser),
                                  QStringLiteral("--regid=%1").arg(otherUser), "--clear-groups"};
    QProcess* foreign = startServingWaypoint({"--exec"}, asOtherUser);
    struct stat info
    {
    };
    ASSERT_EQ(::stat(socketPath().toUtf8().constData(), &info), 0);
    ASSERT_EQ(info.st_uid, otherUser);

    QProcess* quitter = startWaypoint({"--quit"});
    EXPECT_EQ(exitCodeOf(quitter), 0) << "the quit request reached the other user's launcher";
    EXPECT_TRUE(logOf(2).contains("Pipe " + m_pipeName + " belongs to another user")) << qPrintable(logOf(2));
    EXPECT_EQ(foreign->state(), QProcess::Running);
    EXPECT_EQ(exchange("pingWaypoint\n{\"value1\":\"1\",\"value2\":\"2\"}").substr(0, 3), "ok\n");
}

TEST_F(WaypointEndToEnd, SigtermEndsAServingLauncher)
{
    QProcess* server = startServingWaypoint();
    ASSERT_TRUE(QFileInfo::exists(socketPath()));
    ::kill(static_cast<pid_t>(server->processId()), SIGTERM);
    EXPECT_EQ(exitCodeOf(server), 0);
    EXPECT_FALSE(QFileInfo::exists(socketPath()));
}

} // namespace
