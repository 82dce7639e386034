// The connection cycle of the channel base, over 127.0.0.1 against the fake camera's push port, with a
// small channel of the test's own that reads frames until the camera closes or sends garbage.

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <fake_zodivadad_camera/vca_push_server.h>
#include <fake_zodivadad_camera/vca_wire.h>
#include <vorn/utils/log/log_capture.h>
#include <vorn/utils/scaled_clock.h>
#include <vorn/vms_server_plugins/analytics/zodivadad/tcp_data_monitor.h>
#include <vorn/vms_server_plugins/analytics/zodivadad/vca_frame.h>

#include "larkspur_test_support.h"

namespace vorn::vms_server_plugins::analytics::zodivadad {
namespace {

using namespace std::chrono_literals;
using vorn::network::SocketAddress;
using vorn::testing::VcaPushServer;
using vorn::utils::ScaledClock;
using vorn::utils::ScopedTimeScale;
using vorn::utils::log::Level;
using vorn::utils::log::LogCapture;
namespace wire = vorn::testing::vca_wire;

// At this scale the 5000 ms reconnection delay takes 50 ms, and the 30 s wait for a reply 300 ms: long
// enough that a loaded machine does not make the fake camera look silent.
using larkspur_test::kTimeScale;
using larkspur_test::letScaledTimePass;
using vorn::testing::waitUntil;

int countLogged(LogCapture& capture, const QString& text)
{
    int count = 0;
    for (const QString& line : capture.logger().texts())
        count += line == text ? 1 : 0;
    return count;
}

// A frame of this command makes the probe channel start a second read beside the one in progress.
constexpr std::uint16_t kReadTwiceCommand = wire::kFaceCommand;

// Registers with one frame, then takes frames until the camera closes (reason "Closed") or sends
// something that is not a frame (reason "Garbage"). After a frame of kReadTwiceCommand it starts a
// second read, records how that ends and, when asked to, reconnects then (reason "Second read").
class ProbeChannel final : public TcpDataMonitor
{
public:
    ProbeChannel()
        : TcpDataMonitor(nullptr)
    {}
    ~ProbeChannel() override { stop(); }

    std::string portSettingName() const override { return "Probe.Port"; }
    bool setNeededTypes(const std::set<std::string>&, const std::set<std::string>&) override { return true; }

    BasicBuffer<char> makeRegisterRequest() override
    {
        ++requests;
        return BasicBuffer<char>(wire::frame(wire::kRegisterCommand, R"({"user":"probe"})"));
    }

    std::vector<std::uint16_t> commands() const
    {
        const std::lock_guard lock(m_mutex);
        return m_commands;
    }

    struct SecondRead
    {
        SystemError::ErrorCode code = SystemError::noError;
        std::size_t bytesRead = 0;
        bool insideTheCall = false; //< Whether it ended inside the readSome() that started it.
    };
    std::vector<SecondRead> secondReads() const
    {
        const std::lock_guard lock(m_mutex);
        return m_secondReads;
    }

    std::atomic<int> requests{0};
    std::atomic<std::size_t> bytesReceived{0};
    std::atomic<bool> reconnectAfterSecondRead{false};

private:
    void onRegisterReply(SystemError::ErrorCode code, std::size_t bytesRead) override { onData(code, bytesRead); }

    void onData(SystemError::ErrorCode code, std::size_t bytesRead)
    {
        if (code != SystemError::noError || bytesRead == 0)
            return scheduleReconnect("Closed");
        bytesReceived += bytesRead;
        bool readTwice = false;
        for (;;) {
            VcaParseResult frame = parseVcaPacket(&m_receiveBuffer, this);
            if (frame.status == ParseStatus::error)
                return scheduleReconnect("Garbage");
            if (frame.status == ParseStatus::needMoreData)
                break;
            readTwice = readTwice || frame.command == kReadTwiceCommand;
            const std::lock_guard lock(m_mutex);
            m_commands.push_back(frame.command);
        }
        readSome(ReadWait::idle,
                 [this](SystemError::ErrorCode code, std::size_t bytesRead) { onData(code, bytesRead); });
        if (!readTwice)
            return;
        m_insideSecondRead = true;
        readSome(ReadWait::idle,
                 [this](SystemError::ErrorCode code, std::size_t bytesRead) { onSecondRead(code, bytesRead); });
        m_insideSecondRead = false;
    }

    void onSecondRead(SystemError::ErrorCode code, std::size_t bytesRead)
    {
        {
            const std::lock_guard lock(m_mutex);
            m_secondReads.push_back({code, bytesRead, m_insideSecondRead});
        }
        if (reconnectAfterSecondRead)
            scheduleReconnect("Second read");
    }

    bool m_insideSecondRead = false; //< I/O thread only.
    mutable std::mutex m_mutex;      //< Guards m_commands and m_secondReads.
    std::vector<std::uint16_t> m_commands;
    std::vector<SecondRead> m_secondReads;
};

QString failureLine(const char* reason)
{
    return QString("%1. Next connection attempt in 5 seconds").arg(reason);
}

SocketAddress localAddress(std::uint16_t port)
{
    return SocketAddress("127.0.0.1", port);
}

TEST(TcpDataMonitor, ReconnectsAfterEachKindOfFailureWithAFreshRegistration)
{
    const struct
    {
        const char* name;
        const char* reason;
        std::function<void(VcaPushServer&)> fail;
    } rows[] = {
        {"camera closes", "Closed", [](VcaPushServer& camera) { camera.closeConnections(); }},
        {"camera sends garbage", "Garbage", [](VcaPushServer& camera) { camera.push("garbage, not a frame"); }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ScopedTimeScale fast(kTimeScale);
        LogCapture capture(Level::verbose);
        VcaPushServer camera;
        ProbeChannel channel;
        channel.setAddress(localAddress(camera.port()));
        channel.start();
        ASSERT_TRUE(camera.waitForRegistrations(1));
        ASSERT_TRUE(waitUntil([&] { return channel.commands().size() == 1; })); // The reply.

        const auto failedAt = ScaledClock::now();
        row.fail(camera);
        ASSERT_TRUE(camera.waitForRegistrations(2));
        EXPECT_GE(ScaledClock::now() - failedAt, TcpDataMonitor::kReconnectDelay);
        EXPECT_EQ(camera.registrations()[1].connection, 2u);
        EXPECT_EQ(channel.requests, 2);
        EXPECT_EQ(countLogged(capture, failureLine(row.reason)), 1);
        EXPECT_TRUE(channel.isStarted());
    }
}

TEST(TcpDataMonitor, KeepsTryingARefusingCameraEveryDelay)
{
    ScopedTimeScale fast(kTimeScale);
    LogCapture capture(Level::verbose);
    VcaPushServer camera;
    camera.stopListening();
    ProbeChannel channel;
    channel.setAddress(localAddress(camera.port()));

    const auto startedAt = ScaledClock::now();
    channel.start();
    const QString refused = failureLine("Failed to connect to Zodivadad camera");
    ASSERT_TRUE(waitUntil([&] { return countLogged(capture, refused) >= 2; }));
    EXPECT_GE(ScaledClock::now() - startedAt, TcpDataMonitor::kReconnectDelay);
    EXPECT_EQ(channel.requests, 0);

    camera.resumeListening();
    ASSERT_TRUE(camera.waitForRegistrations(1));
    const int failures = countLogged(capture, refused);
    EXPECT_GE(ScaledClock::now() - startedAt, failures * TcpDataMonitor::kReconnectDelay);
    EXPECT_TRUE(waitUntil([&] { return channel.commands().size() == 1; }));
}

TEST(TcpDataMonitor, StopIsFinalInEveryState)
{
    ScopedTimeScale fast(kTimeScale);
    LogCapture capture(Level::verbose);
    const QString refused = failureLine("Failed to connect to Zodivadad camera");

    {
        SCOPED_TRACE("never started, and right after start");
        VcaPushServer camera;
        ProbeChannel channel;
        channel.setAddress(localAddress(camera.port()));
        channel.stop();
        for (int i = 0; i < 20; ++i) {
            channel.start();
            channel.stop(); // Mostly before the queued connection attempt has made a socket.
        }
        EXPECT_FALSE(channel.isStarted());
        const int requests = channel.requests;
        letScaledTimePass(4 * TcpDataMonitor::kReconnectDelay);
        EXPECT_EQ(channel.requests, requests);
    }
    {
        SCOPED_TRACE("during the wait after a failure");
        VcaPushServer camera;
        camera.stopListening();
        ProbeChannel channel;
        channel.setAddress(localAddress(camera.port()));
        channel.start();
        ASSERT_TRUE(waitUntil([&] { return countLogged(capture, refused) >= 1; }));
        channel.stop();
        const int failures = countLogged(capture, refused);
        camera.resumeListening();
        letScaledTimePass(4 * TcpDataMonitor::kReconnectDelay);
        EXPECT_EQ(camera.connectionCount(), 0u);
        EXPECT_EQ(countLogged(capture, refused), failures);
        EXPECT_FALSE(channel.isStarted());

        channel.start();
        EXPECT_TRUE(channel.isStarted());
        EXPECT_TRUE(camera.waitForRegistrations(1));
    }
    {
        SCOPED_TRACE("while connected");
        VcaPushServer camera;
        ProbeChannel channel;
        channel.setAddress(localAddress(camera.port()));
        channel.start();
        ASSERT_TRUE(camera.waitForRegistrations(1));
        channel.stop();
        camera.closeConnections(); // Would make a running channel reconnect.
        letScaledTimePass(4 * TcpDataMonitor::kReconnectDelay);
        EXPECT_EQ(camera.registrations().size(), 1u);
        EXPECT_TRUE(channel.connectionInfo().endsWith("not connected local addr N/A"));
    }
}

TEST(TcpDataMonitor, NewConnectionStartsWithEmptyBuffers)
{
    const std::string frame = wire::frame(wire::kBasicAlarmCommand, R"({"event":1})");
    const struct
    {
        const char* name;
        std::function<void(VcaPushServer&, ProbeChannel&)> newConnection;
    } rows[] = {
        {"after the camera closed", [](VcaPushServer& camera, ProbeChannel&) { camera.closeConnections(); }},
        {"after stop and start",
         [](VcaPushServer&, ProbeChannel& channel) {
             channel.stop();
             channel.start();
         }},
        {"after a start while running", [](VcaPushServer&, ProbeChannel& channel) { channel.start(); }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ScopedTimeScale fast(kTimeScale);
        LogCapture capture(Level::verbose);
        VcaPushServer camera;
        ProbeChannel channel;
        channel.setAddress(localAddress(camera.port()));
        channel.start();
        ASSERT_TRUE(camera.waitForRegistrations(1));
        ASSERT_TRUE(waitUntil([&] { return channel.commands().size() == 1; }));

        // Half a frame, left in the buffer when the connection ends.
        const std::size_t before = channel.bytesReceived;
        ASSERT_TRUE(camera.push(frame.substr(0, 20)));
        ASSERT_TRUE(waitUntil([&] { return channel.bytesReceived == before + 20; }));
        row.newConnection(camera, channel);

        ASSERT_TRUE(camera.waitForRegistrations(2));
        ASSERT_TRUE(waitUntil([&] { return channel.commands().size() == 2; })); // The second reply.
        ASSERT_TRUE(camera.push(frame));
        ASSERT_TRUE(waitUntil([&] { return channel.commands().size() == 3; }));
        EXPECT_EQ(channel.commands().back(), wire::kBasicAlarmCommand);
        EXPECT_EQ(countLogged(capture, failureLine("Garbage")), 0);
        EXPECT_EQ(camera.registrations().size(), 2u) << "the new connection worked at its first try";
    }
}

// A second read while one is pending fails with EALREADY, as the socket fails it, and the pending read goes
// on to its end with its own handler; after a reconnection from that failure the next connection reads as
// any does.
TEST(TcpDataMonitor, SecondReadFailsAndTheReadInProgressGoesOn)
{
    const std::string alarm = wire::frame(wire::kBasicAlarmCommand, R"({"event":1})");
    for (const bool reconnect : {false, true}) {
        SCOPED_TRACE(reconnect ? "the channel reconnects after the failure" : "the channel reads on");
        ScopedTimeScale fast(kTimeScale);
        LogCapture capture(Level::verbose);
        VcaPushServer camera;
        ProbeChannel channel;
        channel.reconnectAfterSecondRead = reconnect;
        channel.setAddress(localAddress(camera.port()));
        channel.start();
        ASSERT_TRUE(camera.waitForRegistrations(1));
        ASSERT_TRUE(waitUntil([&] { return channel.commands().size() == 1; })); // The reply.

        ASSERT_TRUE(camera.push(wire::frame(kReadTwiceCommand, "{}")));
        ASSERT_TRUE(waitUntil([&] { return channel.secondReads().size() == 1; }));
        const ProbeChannel::SecondRead second = channel.secondReads().front();
        EXPECT_EQ(second.code, EALREADY);
        EXPECT_EQ(second.bytesRead, 0u);
        EXPECT_FALSE(second.insideTheCall);

        std::size_t frames = 2;
        if (reconnect) {
            ASSERT_TRUE(camera.waitForRegistrations(2));
            frames = 3; // With the new connection's reply.
            ASSERT_TRUE(waitUntil([&] { return channel.commands().size() == frames; }));
            EXPECT_EQ(countLogged(capture, failureLine("Second read")), 1);
        }
        ASSERT_TRUE(camera.push(alarm));
        ASSERT_TRUE(waitUntil([&] { return channel.commands().size() == frames + 1; }));
        EXPECT_EQ(channel.commands().back(), wire::kBasicAlarmCommand);
        EXPECT_EQ(channel.secondReads().size(), 1u);
        EXPECT_EQ(countLogged(capture, failureLine("Closed")), 0);
        EXPECT_EQ(camera.registrations().size(), reconnect ? 2u : 1u);
    }
}

TEST(TcpDataMonitor, AddressAndConnectionInLogTag)
{
    ScopedTimeScale fast(kTimeScale);
    LogCapture capture(Level::verbose);
    VcaPushServer first;
    VcaPushServer second;
    ProbeChannel channel;

    EXPECT_EQ(channel.connectionInfo(), "Addr :0 not connected local addr N/A");
    channel.setAddress(localAddress(first.port()));
    EXPECT_EQ(countLogged(capture, QString("Setting address :0 -> 127.0.0.1:%1").arg(first.port())), 1);
    const QString firstAddress = QString("Addr 127.0.0.1:%1 ").arg(first.port());
    EXPECT_EQ(channel.connectionInfo(), firstAddress + "not connected local addr N/A");

    channel.start();
    ASSERT_TRUE(first.waitForRegistrations(1));
    EXPECT_TRUE(channel.connectionInfo().startsWith(firstAddress + "connected local addr 127.0.0.1:"))
        << channel.connectionInfo().toStdString();

    // A new address is used from the next connection attempt on.
    channel.setAddress(localAddress(second.port()));
    EXPECT_TRUE(channel.connectionInfo().contains(" connected local addr 127.0.0.1:"));
    first.closeConnections();
    ASSERT_TRUE(second.waitForRegistrations(1));
    EXPECT_EQ(first.connectionCount(), 1u);
}

TEST(TcpDataMonitor, SurvivesStartAndStopFromAnotherThreadWhileTheCameraPushes)
{
    ScopedTimeScale fast(kTimeScale);
    LogCapture capture(Level::verbose);
    VcaPushServer camera;
    camera.setBehindAcceptance(wire::frame(wire::kBasicAlarmCommand, "{}") + "garbage, certainly not a frame");
    auto channel = std::make_unique<ProbeChannel>();
    channel->setAddress(localAddress(camera.port()));

    std::atomic<bool> done{false};
    std::thread reader([&] {
        while (!done)
            (void)channel->connectionInfo(); // The log tag, built on another thread.
    });
    std::thread driver([&] {
        for (int i = 0; i < 300; ++i) {
            channel->start();
            if (i % 3 == 0)
                std::this_thread::yield();
            channel->stop();
        }
        channel->start();
    });
    driver.join();
    ASSERT_TRUE(camera.waitForRegistrations(1));
    ASSERT_TRUE(waitUntil([&] { return camera.registrations().size() >= 3; })); // Garbage keeps it cycling.
    done = true;
    reader.join();

    channel.reset(); // Destroyed in the middle of its cycle.
    const qsizetype lines = capture.logger().texts().size();
    letScaledTimePass(4 * TcpDataMonitor::kReconnectDelay);
    EXPECT_EQ(capture.logger().texts().size(), lines) << "nothing of the channel runs after it is gone";
}

} // namespace
} // namespace vorn::vms_server_plugins::analytics::zodivadad
