#include "task_server_new.h"

#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QtCore/QCoreApplication>
#include <QtCore/QFile>
#include <QtCore/QTemporaryDir>

#include <vorn/testing/raw_pipe_client.h>
#include <vorn/testing/scoped_environment.h>
#include <vorn/utils/assert.h>
#include <vorn/utils/log/log.h>
#include <vorn/utils/log/log_capture.h>
#include <vorn/utils/log/stream_logger.h>
#include <vorn/vms/waypoint/api/tasks.h>
#include <vorn/vms/waypoint/api/waypoint_client.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "command_line.h"

namespace vorn::vms::waypoint {
namespace {

using namespace std::chrono_literals;
using ::testing::Contains;
using ::testing::HasSubstr;

std::string uniquePipeName()
{
    static std::atomic<int> counter{0};
    return "waypoint-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
}

std::string socketPath(const std::string& pipeName)
{
    return "/tmp/" + pipeName;
}

// A socket file on which nobody listens, made with plain socket calls.
bool makeStaleSocketFile(const std::string& path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
    const bool bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
    ::close(fd);
    return bound;
}

// A ping whose answer is computable from its request, so the reply bytes are exact.
const std::string kPing = R"(pingWaypoint)"
                          "\n"
                          R"({"value1":"7","value2":"9"})";
const std::string kPingReply = "ok\n"
                               R"({"timeMs":"16","value1":"7","value2":"9"})"
                               "\n";

class TaskServerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_server.setRequestTimeout(300ms);
        subscribeChannels(m_server);
        ASSERT_TRUE(m_server.listen(QString::fromStdString(m_pipeName)));
    }

    void subscribeChannels(TaskServerNew& server)
    {
        server.subscribeSimple("quit", [this] {
            ++m_quits;
            return true;
        });
        server.subscribe("pingWaypoint", [](const api::PingRequest& request, api::PingResponse& response) {
            response.value1 = request.value1;
            response.value2 = request.value2;
            response.timeMs = request.value1 + request.value2;
        });
        server.subscribe("run", [this](const api::StartApplicationTask& task, api::Response& response) {
            m_lastRunArguments = task.arguments;
            response.result = api::ResultType::versionNotInstalled;
        });
    }

    vorn::testing::RawPipeReply exchange(const std::vector<std::string>& pieces, bool closeWrite = false,
                                         std::chrono::milliseconds pause = 0ms)
    {
        return vorn::testing::rawPipeExchange(socketPath(m_pipeName), pieces, closeWrite, pause);
    }

    void expectServing()
    {
        const auto reply = exchange({kPing});
        EXPECT_TRUE(reply.connected);
        EXPECT_EQ(reply.bytes, kPingReply);
    }

    const std::string m_pipeName = uniquePipeName();
    TaskServerNew m_server;
    std::atomic<int> m_quits{0};
    QStringList m_lastRunArguments;
};

TEST_F(TaskServerTest, ProtocolBytes)
{
    struct Row
    {
        const char* name;
        std::vector<std::string> pieces;
        bool closeWrite;
        std::string expected;
    };
    const std::string oversized =
        "pingWaypoint\n{\"value1\":\"7\",\"value2\":\"9\",\"pad\":\"" + std::string(5000, 'x') + "\"}";
    const Row rows[] = {
        {"quit", {"quit\n"}, false, "ok\n\n"},
        {"ping", {kPing}, false, kPingReply},
        {"ping with unknown member",
         {"pingWaypoint\n{\"value1\":\"7\",\"x\":[1,{\"y\":\"}\"}],\"value2\":\"9\"}"},
         false,
         kPingReply},
        {"run", {"run\n{\"arguments\":[\"a\",\"b\"],\"version\":\"5.1.4.38659\"}"}, false, "versionNotInstalled\n\n"},
        {"ping in pieces", {"pingWay", "point\n{\"value1\":", "\"7\",\"value2\":\"9\"}"}, false, kPingReply},
        {"carriage return in channel line", {"run\r\n{\"arguments\":[],\"version\":\"5.1\"}"}, false, ""},
        {"unknown channel", {"format\n{}"}, false, ""},
        {"no line feed", {"pingWaypoint"}, true, ""},
        {"empty", {}, true, ""},
        {"silence", {}, false, ""},
        {"over 4096 bytes", {oversized}, false, ""},
        {"body not JSON", {"pingWaypoint\nhello"}, false, ""},
        {"missing member", {"pingWaypoint\n{\"value1\":\"7\"}"}, false, ""},
        {"number where a text belongs", {"pingWaypoint\n{\"value1\":7,\"value2\":\"9\"}"}, false, ""},
        {"body cut off", {"pingWaypoint\n{\"value1\":\"7\""}, true, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const auto reply = exchange(row.pieces, row.closeWrite, 20ms);
        EXPECT_TRUE(reply.connected);
        EXPECT_FALSE(reply.timedOut);
        EXPECT_EQ(reply.bytes, row.expected);
        expectServing();
    }
    EXPECT_EQ(m_lastRunArguments, QStringList({"a", "b"}));
}

TEST_F(TaskServerTest, FailuresAreLogged)
{
    vorn::utils::log::LogCapture capture(vorn::utils::log::Level::verbose);
    exchange({"run\r\n{}"});
    exchange({"pingWaypoint\nhello"});
    exchange({"no line"}, true);
    const QStringList texts = capture.logger().texts();
    EXPECT_THAT(texts, Contains("Unknown channel \"run\\r\""));
    EXPECT_THAT(texts, Contains("Failed to deserialize request \"pingWaypoint\""));
    EXPECT_THAT(texts, Contains("deserializeTask(): Cannot deserialize task name:\nno line"));
}

TEST_F(TaskServerTest, ClientTextNeverStartsALogLine)
{
    // The launcher's own logging set-up, so the entry goes through the file writer it uses.
    const auto previousLogger = vorn::utils::log::mainLogger();
    const vorn::utils::log::Level previousLevel = vorn::utils::log::maxLevel();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    initLogging(QStringLiteral("verbose"), dir.filePath(QStringLiteral("log/waypoint")));

    // No line feed: the whole message is quoted as the task name, after the line feed of the text.
    const QByteArray forged = "2031-01-01 00:00:00.000 ERROR InstallationManager: FORGED installed 6.6.6";
    const auto reply = exchange({forged.toStdString()}, true);
    vorn::utils::log::setMainLogger(previousLogger);
    vorn::utils::log::setMaxLevel(previousLevel);
    EXPECT_TRUE(reply.connected);
    EXPECT_EQ(reply.bytes, "");

    QFile file(dir.filePath(QStringLiteral("log/waypoint.log")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    int quotes = 0;
    for (int i = 0; i < lines.size(); ++i) {
        SCOPED_TRACE(lines[i].toStdString());
        EXPECT_FALSE(lines[i].startsWith(forged.left(10)));
        if (!lines[i].contains("FORGED"))
            continue;
        ++quotes;
        EXPECT_EQ(lines[i].toStdString(), (vorn::utils::log::StreamLogger::kContinuationMark + forged).toStdString());
        ASSERT_GT(i, 0);
        EXPECT_TRUE(lines[i - 1].endsWith(": deserializeTask(): Cannot deserialize task name:"));
    }
    EXPECT_EQ(quotes, 1);
}

TEST_F(TaskServerTest, SocketIsReachableByItsOwnerOnly)
{
    struct stat info
    {
    };
    ASSERT_EQ(::stat(socketPath(m_pipeName).c_str(), &info), 0);
    EXPECT_TRUE(S_ISSOCK(info.st_mode));
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(TaskServerTest, ListensAgainAfterAStop)
{
    // The stop request of the first run must not end the second one at once.
    m_server.stop();
    ASSERT_TRUE(m_server.listen(QString::fromStdString(m_pipeName)));
    expectServing();
}

TEST(TaskServerStop, StopFromAHandlerEndsTheThreadAfterItsReply)
{
    TaskServerNew other;
    other.subscribeSimple("quit", [&other] {
        other.pleaseStop();
        return true;
    });
    const std::string otherName = uniquePipeName();
    ASSERT_TRUE(other.listen(QString::fromStdString(otherName)));
    EXPECT_EQ(vorn::testing::rawPipeExchange(socketPath(otherName), {"quit\n"}).bytes, "ok\n\n");
    EXPECT_TRUE(other.wait(5000));
}

TEST_F(TaskServerTest, SecondServerOnTheSameNameIsRefused)
{
    vorn::utils::log::LogCapture capture(vorn::utils::log::Level::verbose);
    TaskServerNew second;
    subscribeChannels(second);
    EXPECT_FALSE(second.listen(QString::fromStdString(m_pipeName)));
    EXPECT_THAT(capture.logger().texts().join('\n').toStdString(), HasSubstr("Failed to listen to pipe " + m_pipeName));
    expectServing();
}

TEST(TaskServerStaleSocket, StaleSocketFileIsReplaced)
{
    const std::string name = uniquePipeName();
    const std::string path = socketPath(name);
    // A socket file nobody listens on, as a launcher that died leaves it.
    ASSERT_TRUE(makeStaleSocketFile(path));

    TaskServerNew server;
    server.subscribeSimple("quit", [] { return true; });
    ASSERT_TRUE(server.listen(QString::fromStdString(name)));
    EXPECT_EQ(vorn::testing::rawPipeExchange(path, {"quit\n"}).bytes, "ok\n\n");
}

TEST(TaskServerForeignPipe, FileOfAnotherUserIsRefusedAsAnError)
{
    const std::string name = uniquePipeName();
    const std::string path = socketPath(name);
    // A socket file nobody answers on, which the server would take over if it were this user's.
    ASSERT_TRUE(makeStaleSocketFile(path));
    const uid_t otherUser = ::geteuid() + 4242;
    if (::chown(path.c_str(), otherUser, static_cast<gid_t>(-1)) != 0) {
        ::unlink(path.c_str());
        GTEST_SKIP() << "giving a file to another user needs root";
    }

    vorn::utils::log::LogCapture capture(vorn::utils::log::Level::verbose);
    TaskServerNew server;
    server.subscribeSimple("quit", [] { return true; });
    EXPECT_FALSE(server.listen(QString::fromStdString(name)));
    EXPECT_TRUE(server.pipeName().isEmpty());
    const vorn::utils::log::LogRecord expected{vorn::utils::log::Level::error, QString(),
                                               QString::fromStdString("Pipe " + name + " belongs to another user (" +
                                                                      path +
                                                                      " or its lock file). Not listening to pipe.")};
    bool found = false;
    for (vorn::utils::log::LogRecord record : capture.logger().records()) {
        record.tag.clear();
        found = found || record == expected;
    }
    EXPECT_TRUE(found) << capture.logger().texts().join('\n').toStdString();
    struct stat info
    {
    };
    ASSERT_EQ(::lstat(path.c_str(), &info), 0) << "the other user's file was removed";
    EXPECT_EQ(info.st_uid, otherUser);
    ::unlink(path.c_str());
}

TEST(TaskServerSubscribe, RefusesDuplicatesAndEmptyParts)
{
    vorn::utils::AssertionCapture assertions;
    TaskServerNew server;
    EXPECT_TRUE(server.subscribeSimple("quit", [] { return true; }));
    EXPECT_FALSE(server.subscribeSimple("quit", [] { return false; }));
    EXPECT_FALSE(server.subscribe("quit", [](const api::PingRequest&, api::PingResponse&) {}));
    EXPECT_TRUE(assertions.reports().isEmpty());

    EXPECT_FALSE(server.subscribeSimple("", [] { return true; }));
    EXPECT_FALSE(server.subscribeSimple("x", std::function<bool()>()));
    EXPECT_FALSE(server.subscribe("y", std::function<void(const api::PingRequest&, api::PingResponse&)>()));
    ASSERT_EQ(assertions.reports().size(), 3);
    EXPECT_THAT(assertions.reports()[0].toStdString(), HasSubstr("(!name.isEmpty())"));
    EXPECT_THAT(assertions.reports()[1].toStdString(), HasSubstr("(callback)"));
    EXPECT_THAT(assertions.reports()[2].toStdString(), HasSubstr("(callback)"));

    // The first "quit" stayed: it answers ok.
    const std::string name = uniquePipeName();
    ASSERT_TRUE(server.listen(QString::fromStdString(name)));
    EXPECT_EQ(vorn::testing::rawPipeExchange(socketPath(name), {"quit\n"}).bytes, "ok\n\n");
}

} // namespace
} // namespace vorn::vms::waypoint

namespace vorn::vms::waypoint {
namespace {

TEST_F(TaskServerTest, ClientCallThroughThePipe)
{
    const vorn::testing::ScopedEnvironment pipe(api::kPipeNameVariable, QByteArray::fromStdString(m_pipeName));

    api::PingRequest ping;
    ping.value1 = 7;
    ping.value2 = 9;
    api::PingResponse pong;
    EXPECT_EQ(api::sendCommandToWaypoint(ping, &pong, 3000), api::ResultType::ok);
    EXPECT_EQ(pong.value1, 7);
    EXPECT_EQ(pong.value2, 9);
    EXPECT_EQ(pong.timeMs, 16);

    api::StartApplicationTask run;
    run.arguments = QStringList{"x"};
    EXPECT_EQ(api::sendCommandToWaypoint(run, nullptr, 3000), api::ResultType::versionNotInstalled);
    EXPECT_EQ(api::sendCommandToWaypoint(api::QuitTask(), nullptr, 3000), api::ResultType::ok);
    // A channel the server does not have: no reply bytes.
    EXPECT_EQ(api::sendCommandToWaypoint(api::GetInstalledVersionsRequest(), nullptr, 3000),
              api::ResultType::badResponse);

    const vorn::testing::ScopedEnvironment nobody(api::kPipeNameVariable, QByteArray("waypoint-test-nobody-here"));
    EXPECT_EQ(api::sendCommandToWaypoint(api::QuitTask(), nullptr, 3000), api::ResultType::connectError);
}

TEST_F(TaskServerTest, ClientSendsNothingToALauncherOfAnotherUser)
{
    const vorn::testing::ScopedEnvironment pipe(api::kPipeNameVariable, QByteArray::fromStdString(m_pipeName));
    vorn::utils::log::LogCapture capture(vorn::utils::log::Level::verbose);

    // This server runs as this process's user: a client that expects another one must not send the quit.
    EXPECT_EQ(api::sendCommandToWaypoint(api::QuitTask(), nullptr, 3000, ::geteuid() + 4242),
              api::ResultType::connectError);
    expectServing();
    EXPECT_EQ(m_quits.load(), 0);
    // The server saw the connection, served after it: not a byte came over it.
    EXPECT_THAT(capture.logger().texts(), Contains("deserializeTask(): Cannot deserialize task name:\n"));

    EXPECT_EQ(api::sendCommandToWaypoint(api::QuitTask(), nullptr, 3000), api::ResultType::ok);
    EXPECT_EQ(m_quits.load(), 1);
}

} // namespace
} // namespace vorn::vms::waypoint
