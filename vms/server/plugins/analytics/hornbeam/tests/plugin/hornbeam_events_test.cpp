// hornbeam's event reception end to end: vms_plugin_host runs the built library against a fake Uniview
// camera that announces its capabilities, takes the subscription and pushes alarms and structured data,
// while the host hands over video packets with SEI tracks. What the host prints is what the server got.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/write.hpp>

#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QProcess>
#include <QtCore/QTemporaryDir>

#include <gtest/gtest.h>

#include <fake_uniview_camera/fake_event_service.h>
#include <fake_uniview_camera/fake_uniview_camera.h>
#include <vorn/testing/annexb_builder.h>
#include <vorn/testing/wait_until.h>
#include <vorn/utils/base64.h>
#include <vorn/vms_server/testing/plugin_host_run.h>

namespace {

using vorn::testing::FakeEventService;
using vorn::testing::FakeUniviewCamera;
namespace annexb = vorn::testing::annexb;

// Peers that hold connections to a receiver: each connects, sends its opening bytes and then nothing, and,
// when `reopen` says so, connects again when the receiver closes the connection. They run on a thread of
// their own until the flood is destroyed.
class ConnectionFlood
{
public:
    ConnectionFlood(const std::string& host, std::uint16_t port, int count, std::string opening, bool reopen)
        : m_endpoint(boost::asio::ip::make_address(host), port)
        , m_opening(std::move(opening))
        , m_reopen(reopen)
    {
        for (int i = 0; i < count; ++i)
            open();
        m_thread = std::thread([this] { m_io.run(); });
    }

    ~ConnectionFlood()
    {
        m_io.stop();
        m_thread.join();
    }

    ConnectionFlood(const ConnectionFlood&) = delete;
    ConnectionFlood& operator=(const ConnectionFlood&) = delete;

    int connections() const { return m_connections; }

private:
    struct Peer
    {
        explicit Peer(boost::asio::io_context& io)
            : socket(io)
        {}
        boost::asio::ip::tcp::socket socket;
        char drop[4096];
    };

    void open()
    {
        auto peer = std::make_shared<Peer>(m_io);
        peer->socket.async_connect(m_endpoint, [this, peer](boost::system::error_code error) {
            if (error)
                return open();
            ++m_connections;
            boost::asio::async_write(peer->socket, boost::asio::buffer(m_opening),
                                     [this, peer](boost::system::error_code, std::size_t) { waitForClose(peer); });
        });
    }

    void waitForClose(const std::shared_ptr<Peer>& peer)
    {
        peer->socket.async_read_some(boost::asio::buffer(peer->drop),
                                     [this, peer](boost::system::error_code error, std::size_t) {
                                         if (!error)
                                             return waitForClose(peer);
                                         if (m_reopen)
                                             open();
                                     });
    }

    boost::asio::io_context m_io;
    const boost::asio::ip::tcp::endpoint m_endpoint;
    const std::string m_opening;
    const bool m_reopen;
    std::atomic<int> m_connections{0};
    std::thread m_thread;
};

// The host's JSON lines of one kind, from its whole output.
std::vector<QJsonObject> linesOfKind(const QByteArray& output, const QString& kind)
{
    std::vector<QJsonObject> lines;
    for (const QByteArray& line : output.split('\n'))
        lines.push_back(QJsonDocument::fromJson(line).object());
    return vorn::vms_server::testing::linesOfKind(lines, kind);
}

// vms_plugin_host running hornbeam with every event type against a fake camera that detects motion. The host
// writes into files, so that it never waits for the test to read a pipe.
struct AlarmHost
{
    AlarmHost()
    {
        camera.setLapiData("GET", "Channels/0/Alarm/Capabilities", R"({"MotionDetection":{"IsSupport":1}})");
    }

    // Starts the host and returns once the plugin takes pushes: until it has read the subscription's answer
    // they go nowhere, so an alarm is pushed until one has become an event.
    void start()
    {
        ASSERT_TRUE(folder.isValid());
        host.setStandardOutputFile(outputPath);
        host.setStandardErrorFile(logPath);
        host.start(VMS_PLUGIN_HOST_PATH, {HORNBEAM_PLUGIN_PATH, "--vendor", "Uniview", "--url",
                                          QString::fromStdString(camera.url()), "--events", "all"});
        ASSERT_TRUE(host.waitForStarted());
        ASSERT_TRUE(events.waitForLiveSubscriptions(1, std::chrono::seconds(20)));
        ASSERT_TRUE(vorn::testing::waitUntil(
            [&] {
                events.pushAlarm(alarm);
                return eventPacketCount() > 0;
            },
            std::chrono::seconds(20)))
            << log().toStdString();
    }

    // Ends the host; it must end well.
    void stop()
    {
        host.terminate();
        ASSERT_TRUE(host.waitForFinished(60'000));
        EXPECT_EQ(host.exitCode(), 0) << log().right(4096).toStdString();
    }

    static QByteArray contents(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    std::size_t eventPacketCount() const { return linesOfKind(contents(outputPath), "eventPacket").size(); }
    QByteArray log() const { return contents(logPath); }

    FakeUniviewCamera camera;
    FakeEventService events{camera};
    QTemporaryDir folder;
    const QString outputPath = folder.filePath("output.jsonl");
    const QString logPath = folder.filePath("log.txt");
    QProcess host;
    const std::string alarm = FakeEventService::alarmBody("MotionAlarmOn", 1'700'000'000);
};

TEST(HornbeamEvents, PushedAlarmsStructuredObjectsAndSeiTracksReachTheServer)
{
    FakeUniviewCamera camera;
    FakeEventService events(camera);
    camera.setLapiData("GET", "Channels/0/Alarm/Capabilities", R"({"MotionDetection":{"IsSupport":1}})");
    camera.setLapiData("GET", "Channels/0/Smart/Capabilities",
                       R"({"FaceDetection":{"IsSupport":1},"CrossLineDetection":{"IsSupport":1}})");

    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    annexb::TrackRecord vehicle;
    vehicle.objectId = 7;
    vehicle.left = 1000;
    vehicle.top = 2000;
    vehicle.right = 3000;
    vehicle.bottom = 5000;
    vehicle.typeFlag = 1;
    vehicle.extra = "\x02";
    const std::string video =
        annexb::seiUnit({{5, annexb::univiewTrackPayload(40, {vehicle})}}) + annexb::sliceUnit(20000, 3, 5);
    const QString videoPath = folder.filePath("frame.h264");
    {
        QFile file(videoPath);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(video.data(), static_cast<qint64>(video.size()));
    }

    QProcess host;
    host.setReadChannel(QProcess::StandardError);
    host.start(VMS_PLUGIN_HOST_PATH,
               {HORNBEAM_PLUGIN_PATH, "--vendor", "Uniview", "--url", QString::fromStdString(camera.url()), "--login",
                "admin", "--password", "s3cret", "--events", "all", "--objects", "all", "--video-packet", videoPath,
                "--run-for", "3", "--log-level", "6"});
    ASSERT_TRUE(host.waitForStarted());
    ASSERT_TRUE(events.waitForLiveSubscriptions(1, std::chrono::seconds(20)));
    // The camera has the subscription once it answered; the plugin's routes are in place once it has read the
    // answer, which it says (at level 6) when it schedules the renewal. Pushes before that go to the catch-all.
    QByteArray errors;
    const bool scheduled = vorn::testing::waitUntil(
        [&] {
            host.waitForReadyRead(100);
            errors += host.readAllStandardError();
            return errors.contains("Scheduling renew in");
        },
        std::chrono::seconds(20));
    ASSERT_TRUE(scheduled) << errors.toStdString();

    const std::string picture = "\xFF\xD8\xFF\xE0 a face";
    EXPECT_EQ(events.pushAlarm(FakeEventService::alarmBody("MotionAlarmOn", 1'700'000'000)), 1);
    EXPECT_EQ(events.pushStructure(R"({"TimeStamp":1700000001,"StructureInfo":{"ImageNum":1,"ImageInfoList":[)"
                                   R"({"Index":1,"Data":")" +
                                   vorn::utils::toBase64(picture) +
                                   R"("}],"ObjInfo":{"FaceInfoList":[{"FaceID":3,"SmallPicAttachIndex":1,)"
                                   R"("Position":"100,100;900,900"}]}}})"),
              1);

    ASSERT_TRUE(host.waitForFinished(60'000));
    const QByteArray output = host.readAllStandardOutput();
    errors += host.readAllStandardError();
    EXPECT_EQ(host.exitCode(), 0) << errors.toStdString();

    const auto eventPackets = linesOfKind(output, "eventPacket");
    ASSERT_EQ(eventPackets.size(), 1u) << output.toStdString();
    EXPECT_EQ(eventPackets[0]["timestampUs"].toDouble(), 1'700'000'000'000'000.0);
    EXPECT_EQ(eventPackets[0]["flags"].toInt(), 1);

    // The SEI track and the pushed face, in either order: the host hands the video packet over while the
    // camera pushes.
    const auto objectPackets = linesOfKind(output, "objectPacket");
    ASSERT_EQ(objectPackets.size(), 2u) << output.toStdString();
    const auto packetOfType = [&](const QString& typeId) {
        for (const QJsonObject& packet : objectPackets) {
            if (packet["items"].toArray()[0].toObject()["typeId"].toString() == typeId)
                return packet;
        }
        return QJsonObject();
    };
    const QJsonObject seiPacket = packetOfType("vorn.uniview.Vehicle");
    ASSERT_FALSE(seiPacket.isEmpty()) << output.toStdString();
    EXPECT_EQ(seiPacket["flags"].toInt(), 0);
    const QJsonObject facePacket = packetOfType("vorn.uniview.Face");
    ASSERT_FALSE(facePacket.isEmpty()) << output.toStdString();
    const QJsonObject face = facePacket["items"].toArray()[0].toObject();
    EXPECT_EQ(facePacket["timestampUs"].toDouble(), 1'700'000'001'000'000.0);

    const auto bestShots = linesOfKind(output, "bestShot");
    ASSERT_EQ(bestShots.size(), 1u);
    EXPECT_EQ(bestShots[0]["trackId"], face["trackId"]);

    const auto leakChecks = linesOfKind(output, "leakCheck");
    ASSERT_EQ(leakChecks.size(), 1u);
    EXPECT_EQ(leakChecks[0]["live"].toInt(), 0);
    EXPECT_FALSE(errors.contains("s3cret")) << "the password reached the log";
    EXPECT_TRUE(errors.contains("Received event [MotionAlarmOn]"));
}

// Anyone who reaches the plugin's receiver can post. At the default log level, a thousand pushes without
// "StructureInfo" and a hundred and fifty bodies of 256 KiB that are no JSON leave a small log (the reports
// over the limiter's count are detail, and a quoted body is cut), and the agent still turns an alarm into
// an event afterwards.
TEST(HornbeamEvents, AFloodOfBadPushesLeavesASmallLogAndTheAgentServing)
{
    AlarmHost run;
    ASSERT_NO_FATAL_FAILURE(run.start());

    for (int i = 0; i < 1000; ++i)
        run.events.pushStructure(R"({"TimeStamp":5})");
    const std::string notJson(256 * 1024, 'x');
    for (int i = 0; i < 150; ++i)
        ASSERT_EQ(run.events.pushStructure(notJson), 1);

    const std::size_t before = run.eventPacketCount();
    run.events.pushAlarm(run.alarm);
    EXPECT_TRUE(vorn::testing::waitUntil([&] { return run.eventPacketCount() > before; }, std::chrono::seconds(20)));

    ASSERT_NO_FATAL_FAILURE(run.stop());
    const QByteArray errors = run.log();
    EXPECT_LT(errors.size(), 2 * 1024 * 1024);
    EXPECT_TRUE(errors.contains("JSON parsing failed - ")) << "the first reports are written";
    int longest = 0;
    for (const QByteArray& line : errors.split('\n'))
        longest = std::max(longest, static_cast<int>(line.size()));
    EXPECT_LT(longest, 4096) << "a quoted body is cut";
}

// Whoever reaches the receiver cannot keep the camera's pushes out: with peers holding connections to it,
// alarms still get through and become events. The receiver's own test shows each of its bounds; this is
// what they add up to for the plugin. A stalled peer sends 2 MiB of its declared 16 MiB rather than most of
// it, which keeps the run short under the sanitizers and still makes forty of them more than the receiver
// holds of large bodies; what the host's memory does with such bodies is measured from outside, not here.
TEST(HornbeamEvents, AlarmsGetThroughWhilePeersHoldTheReceiversConnections)
{
    const std::string structurePath = FakeEventService::kStructurePath;
    struct Row
    {
        const char* name;
        int connections;
        std::string opening;
        bool reopen;
        int alarms;
        int atLeast;
    };
    const Row rows[] = {
        {"idle connections, a request line each, reopened when closed", 300, "POST " + structurePath + " HTTP/1.1\r\n",
         true, 20, 18},
        {"connections that declare 16 MiB bodies and stall", 40,
         "POST " + structurePath + " HTTP/1.1\r\nHost: camera\r\nContent-Length: 16777216\r\n\r\n" +
             std::string(2 * 1024 * 1024, 'x'),
         false, 10, 9},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        AlarmHost run;
        ASSERT_NO_FATAL_FAILURE(run.start());
        const std::size_t before = run.eventPacketCount();

        const FakeEventService::Subscriber receiver = run.events.liveSubscribers().at(0);
        int answered = 0;
        {
            ConnectionFlood flood(receiver.ipAddress, static_cast<std::uint16_t>(receiver.port), row.connections,
                                  row.opening, row.reopen);
            ASSERT_TRUE(vorn::testing::waitUntil([&] { return flood.connections() >= row.connections; }));
            for (int i = 0; i < row.alarms; ++i)
                answered += run.events.pushAlarm(run.alarm);
        }
        EXPECT_GE(answered, row.atLeast);
        vorn::testing::waitUntil([&] { return run.eventPacketCount() >= before + answered; });
        EXPECT_GE(run.eventPacketCount() - before, static_cast<std::size_t>(row.atLeast));
        ASSERT_NO_FATAL_FAILURE(run.stop());
    }
}

} // namespace
