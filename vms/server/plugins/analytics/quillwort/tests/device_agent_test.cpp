// A device agent against the fake camera: what it asks while it is made, the manifest that its chain of
// processors gives, and how it treats the packets the server hands over.
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vorn/sdk/helpers/string.h>
#include <vorn/utils/assert.h>
#include <vorn/utils/log/log_capture.h>
#include <vorn/utils/scaled_clock.h>
#include <vorn/vms_server_plugins/analytics/axis/camera_client.h>
#include <vorn/vms_server_plugins/analytics/axis/device_agent_manifest.h>
#include <vorn/vms_server_plugins/analytics/axis/notifications.h>

#include "quillwort_test_support.h"

namespace quillwort_test {
namespace {

using namespace vorn::sdk;
using testing::Contains;
using testing::HasSubstr;
using vorn::testing::FakeHttpServer;
using vorn::utils::log::Level;
using vorn::utils::log::LogCapture;
using vorn::vms_server::ReceivedEventPacket;

QString idOf(const QString& topic)
{
    axis::NotificationType type;
    type.topic = topic;
    return axis::makeEventTypeId(type);
}

std::string manifestOf(const axis::DeviceAgent& agent)
{
    Result<const IString*> result;
    agent.getManifest(&result);
    EXPECT_TRUE(result.isOk());
    const auto text = toPtr(result.value);
    return text ? text->text() : "";
}

using AxisDeviceAgent = AgentOnFakeCamera;

TEST_F(AxisDeviceAgent, AsksForImageSizeAndCatalogueOnce)
{
    struct Row
    {
        int channel;
        const char* query;
    };
    for (const Row& row : {Row{0, "camera=1"}, Row{2, "camera=3"}}) {
        SCOPED_TRACE(row.query);
        const std::size_t before = camera.requests().size();
        const auto agent = createAgent(row.channel);
        const auto requests = camera.requests();
        ASSERT_EQ(requests.size(), before + 2);
        EXPECT_EQ(requests[before].method, "GET");
        EXPECT_EQ(requests[before].path, FakeAxisCamera::kImageSizePath);
        EXPECT_EQ(requests[before].query, row.query);
        EXPECT_EQ(requests[before + 1].method, "POST");
        EXPECT_EQ(requests[before + 1].path, FakeAxisCamera::kEventServicePath);
        EXPECT_EQ(requests[before + 1].header("Content-Type"),
                  "action=\"http://www.axis.com/vapix/ws/event1/GetEventInstances\"");
        EXPECT_EQ(requests[before + 1].body, axis::eventInstancesRequestBody());
        EXPECT_EQ(agent->metadataProcessor().coordinateDomain(), (axis::CoordinateDomain{1920, 1080}));
    }
}

TEST_F(AxisDeviceAgent, ManifestListsTheChainsTypesInChainOrder)
{
    const auto agent = createAgent();
    const std::vector<axis::EventType> expected = {
        {"vorn.axis.event.LicensePlateDetected", "License plate detected", false},
        {idOf("tnsaxis:CameraApplicationPlatform/VMD"), "Video Motion Detection", true},
        {idOf("tns1:RuleEngine/MotionRegionDetector/Motion"), "Motion", true},
        {idOf("tns1:RuleEngine/tnsaxis:VMD3/vmd3_video_1"), "VMD 3: Video 1", true},
        {idOf("tns1:VideoSource/MotionAlarm"), "Motion Alarm", true},
        {idOf("tns1:VideoSource/tnsaxis:Tampering"), "Tampering", false},
    };
    EXPECT_EQ(agent->eventTypes(), expected);
    ASSERT_EQ(agent->objectTypes().size(), 1U);
    EXPECT_EQ(manifestOf(*agent), axis::deviceAgentManifest(expected, agent->objectTypes()));
    EXPECT_THAT(manifestOf(*agent), HasSubstr(R"("name":"Motion","flags":"stateDependent"})"));
    EXPECT_THAT(manifestOf(*agent), HasSubstr(R"("name":"Tampering"})"));
}

TEST_F(AxisDeviceAgent, CameraFailuresLeaveAnAgentWithoutTypes)
{
    struct Row
    {
        const char* name;
        std::optional<FakeHttpServer::Reply> imageSize;
        std::optional<FakeHttpServer::Reply> catalogue;
        std::vector<const char*> lines;
    };
    const Row rows[] = {
        {"error status",
         FakeHttpServer::Reply::withStatus(404),
         FakeHttpServer::Reply::withStatus(500, "<SOAP-ENV:Fault/>"),
         {"Bad HTTP response status: 404 Not Found", "Couldn't fetch coordinate domain",
          "Bad HTTP response status: 500 Internal Server Error", "Couldn't fetch notification types"}},
        {"body cut short",
         FakeHttpServer::Reply::cutBody("image width", 100),
         FakeHttpServer::Reply::cutBody("<a>", 100),
         {"Couldn't read response body: ", "Couldn't fetch coordinate domain", "Couldn't fetch notification types"}},
        {"catalogue is not XML",
         std::nullopt,
         FakeHttpServer::Reply::ok("<html><body>"),
         {"Couldn't parse notification types XML: "}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        camera.setReply(FakeAxisCamera::kImageSizePath, row.imageSize);
        camera.setReply(FakeAxisCamera::kEventServicePath, row.catalogue);
        LogCapture log(Level::verbose);
        const auto agent = createAgent();
        EXPECT_EQ(manifestOf(*agent), R"({"eventTypes":[],"typeLibrary":{"objectTypes":[]},"supportedTypes":[]})");
        const QString text = log.logger().texts().join('\n');
        for (const char* line : row.lines)
            EXPECT_THAT(text.toStdString(), HasSubstr(line));
    }
}

// The plate of plate_new.xml (car 42), searched at the camera with its box of 100/50/200/40.
void consumePlate(AgentOnFakeCamera& t, axis::DeviceAgent& agent)
{
    ASSERT_TRUE(
        t.select(agent, Strings{"vorn.axis.event.LicensePlateDetected"}, Strings{"vorn.axis.object.LicensePlate"}));
    ASSERT_TRUE(t.consumeFile(agent, "plate_new.xml", 1000));
}

// Every request to the camera (image size, catalogue, plate search) comes from one kind of client: it
// answers Digest, and says that the connection ends with the reply.
TEST_F(AxisDeviceAgent, CameraRequestsAnswerDigestChallenges)
{
    camera.requireAuth(FakeHttpServer::AuthScheme::digest, kLogin, kPassword);
    camera.addPlateRecord({.carId = 42, .timestamp = 1'714'564'800'000, .imagePath = "images/42.bmp"});
    const auto agent = createAgent();
    EXPECT_EQ(agent->eventTypes().size(), 6U);
    consumePlate(*this, *agent);
    EXPECT_THAT(recordsOf<vorn::vms_server::ReceivedBestShot>().at(0).imageUrl.value_or(""), HasSubstr("42.bmp"));
    for (const char* path :
         {FakeAxisCamera::kImageSizePath, FakeAxisCamera::kEventServicePath, FakeAxisCamera::kPlateSearchPath}) {
        SCOPED_TRACE(path);
        const auto requests = camera.requestsTo(path);
        ASSERT_EQ(requests.size(), 2U); // challenged, then answered
        EXPECT_FALSE(requests[0].header("Authorization"));
        EXPECT_TRUE(requests[1].header("Authorization").value_or("").starts_with("Digest "));
        for (const auto& request : requests)
            EXPECT_EQ(request.header("Connection"), "close");
    }
}

TEST_F(AxisDeviceAgent, CameraRequestsGiveNoPasswordToABasicChallenge)
{
    camera.addPlateRecord({.carId = 42, .timestamp = 0, .imagePath = "images/42.bmp"});
    const auto agent = createAgent(); // before the camera asks for credentials, to search its plates later
    camera.requireAuth(FakeHttpServer::AuthScheme::basic, kLogin, kPassword);
    LogCapture log(Level::verbose);
    EXPECT_TRUE(createAgent()->eventTypes().empty());
    consumePlate(*this, *agent);
    EXPECT_EQ(camera.requestsTo(FakeAxisCamera::kPlateSearchPath).size(), 1U);
    EXPECT_EQ(recordsOf<vorn::vms_server::ReceivedBestShot>().at(0).imageUrl.value_or(""), "");
    for (const auto& request : camera.requests())
        EXPECT_FALSE(request.header("Authorization")) << request.path;
    EXPECT_THAT(logTexts(log), Contains("Bad HTTP response status: 401 Unauthorized"));
}

// A camera that accepts and then stays silent, or stalls in the middle of a body, costs the creation of a
// device agent the camera client's 10 s (not the 30 s of the client's defaults), and the agent is made.
TEST_F(AxisDeviceAgent, SilentCameraCostsTheTimeOutAndStillGivesAnAgent)
{
    const vorn::utils::ScopedTimeScale fast(kFastTimeScale);
    struct Row
    {
        const char* name;
        const char* path;
        FakeHttpServer::Reply reply;
        axis::CoordinateDomain domain;
        std::size_t eventTypes;
        const char* line;
    };
    const Row rows[] = {
        {"silent image size", FakeAxisCamera::kImageSizePath, FakeHttpServer::Reply::silent(), axis::CoordinateDomain{},
         6, "Request failed: "}, // the catalogue request after it was answered
        {"image size stalls in the body", FakeAxisCamera::kImageSizePath,
         FakeHttpServer::Reply::stalledBody("image width = 1920\n", 100), axis::CoordinateDomain{}, 6,
         "Couldn't read response body: "},
        {"catalogue stalls in the body", FakeAxisCamera::kEventServicePath,
         FakeHttpServer::Reply::stalledBody("<SOAP-ENV:Envelope>", 4000), axis::CoordinateDomain{1920, 1080}, 0,
         "Couldn't read response body: "},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        camera.setReply(FakeAxisCamera::kImageSizePath, std::nullopt);
        camera.setReply(FakeAxisCamera::kEventServicePath, std::nullopt);
        camera.setReply(row.path, row.reply);
        LogCapture log(Level::verbose);
        const auto start = vorn::utils::ScaledClock::now();
        const auto agent = createAgent();
        const auto elapsed = vorn::utils::ScaledClock::now() - start;
        EXPECT_GE(elapsed, axis::kCameraRequestTimeout);
        EXPECT_LT(elapsed, kTimedOutRequestBound);
        EXPECT_EQ(agent->metadataProcessor().coordinateDomain(), row.domain);
        EXPECT_EQ(agent->eventTypes().size(), row.eventTypes);
        EXPECT_THAT(logTexts(log), Contains(HasSubstr(row.line)));
    }
}

TEST_F(AxisDeviceAgent, PacketsThatAreNotNotificationsAreDroppedWithALine)
{
    const auto agent = createAgent();
    ASSERT_TRUE(select(*agent, Strings{idOf("tns1:RuleEngine/MotionRegionDetector/Motion").toStdString()}, {}));
    struct Row
    {
        const char* name;
        std::string codec;
        std::string bytes;
        const char* line; //< null: dropped without a line
    };
    std::string deep;
    for (int i = 0; i <= axis::kMaxXmlDepth; ++i)
        deep += "<e>";
    const Row rows[] = {
        {"codec in other letter case", "VND.ONVIF.METADATA", FakeAxisCamera::readDataFile("motion_started.xml"),
         "Unexpected metadata codec: VND.ONVIF.METADATA"},
        {"unclosed element", "vnd.onvif.metadata", "<tt:MetadataStream><tt:Event>", "Couldn't parse metadata XML: "},
        {"nested too deeply", "vnd.onvif.metadata", deep,
         "Couldn't parse metadata XML: elements nested more than 128 levels deep"},
        {"message without topic", "vnd.onvif.metadata",
         "<a><wsnt:NotificationMessage><tt:Message><tt:Data/></tt:Message></wsnt:NotificationMessage></a>",
         "Notification has no topic"},
        {"message without message node", "vnd.onvif.metadata",
         "<wsnt:NotificationMessage><wsnt:Topic>x</wsnt:Topic></wsnt:NotificationMessage>",
         "Notification has no message node"},
        {"message without data", "vnd.onvif.metadata",
         "<wsnt:NotificationMessage><wsnt:Topic>x</wsnt:Topic><tt:Message/></wsnt:NotificationMessage>",
         "Notification has no data node"},
        {"initial state report", "vnd.onvif.metadata", FakeAxisCamera::readDataFile("motion_initialized.xml"), nullptr},
        {"no notification at all", "vnd.onvif.metadata", "<tt:MetadataStream/>", nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        LogCapture log(Level::debug);
        EXPECT_TRUE(consume(*agent, row.bytes, 1000, row.codec));
        const QStringList lines = log.logger().texts();
        if (row.line) {
            ASSERT_EQ(lines.size(), 1) << lines.join('\n').toStdString();
            EXPECT_THAT(lines[0].toStdString(), HasSubstr(row.line));
        } else {
            EXPECT_TRUE(lines.isEmpty()) << lines.join('\n').toStdString();
        }
    }
    EXPECT_EQ(receiver->recordCount(), 0U);
}

// A server packet whose data pointer and size are the server's to get wrong.
class BrokenPacket : public vorn::vms_server::ServerRefCountable<vorn::sdk::analytics::ICustomMetadataPacket>
{
public:
    BrokenPacket(const char* data, int32_t size)
        : m_data(data)
        , m_size(size)
    {}
    int64_t timestampUs() const override { return 0; }
    const char* codec() const override { return "vnd.onvif.metadata"; }
    const char* data() const override { return m_data; }
    int32_t dataSize() const override { return m_size; }

private:
    ~BrokenPacket() override = default;
    const char* const m_data;
    const int32_t m_size;
};

TEST_F(AxisDeviceAgent, PacketWithNullDataOrNegativeSizeIsDropped)
{
    const auto agent = createAgent();
    static const char kText[] = "<a/>";
    for (const auto& [data, size] : {std::pair<const char*, int32_t>{nullptr, 10}, {kText, -1}, {nullptr, 0}}) {
        LogCapture log(Level::debug);
        Result<void> result;
        agent->consumeDataPacket(&result, makePtr<BrokenPacket>(data, size).get());
        EXPECT_TRUE(result.isOk());
        EXPECT_THAT(logTexts(log), Contains(HasSubstr("without data or with a negative size")));
    }
}

TEST_F(AxisDeviceAgent, VideoPacketsAreIgnored)
{
    const auto agent = createAgent();
    LogCapture log(Level::verbose);
    Result<void> result;
    agent->consumeDataPacket(
        &result, makePtr<vorn::vms_server::CompressedVideoPacket>("h264", std::string("\0\0\0\1", 4), 5).get());
    EXPECT_TRUE(result.isOk());
    EXPECT_TRUE(log.logger().texts().isEmpty());
}

TEST_F(AxisDeviceAgent, EmissionWithoutReceiverReportsAndSendsNothing)
{
    const auto agent = createAgent();
    agent->attachReceiver(nullptr);
    ASSERT_TRUE(select(*agent, Strings{idOf("tns1:RuleEngine/MotionRegionDetector/Motion").toStdString()}, {}));
    vorn::utils::AssertionCapture assertions(/*result*/ true);
    EXPECT_TRUE(consumeFile(*agent, "motion_started.xml", 1000));
    ASSERT_EQ(assertions.reports().size(), 1);
    EXPECT_THAT(assertions.reports()[0].toStdString(), HasSubstr("(handler)"));
    EXPECT_EQ(receiver->recordCount(), 0U);
}

TEST_F(AxisDeviceAgent, ReceiverIsReplacedWithItsReference)
{
    const auto agent = createAgent();
    const auto second = makePtr<vorn::vms_server::MetadataReceiver>();
    const int32_t firstCount = receiver->retain() - 1;
    receiver->release();
    agent->attachReceiver(second.get());
    EXPECT_EQ(receiver->retain() - 1, firstCount - 1);
    receiver->release();
    EXPECT_EQ(second->retain() - 1, 2);
    second->release();
}

// The server may hand over packets on several threads while it attaches receivers and selects types on
// others; under the sanitizers this shows a receiver released while in use, or a torn selection.
TEST_F(AxisDeviceAgent, PacketsSelectionsAndReceiversFromSeveralThreads)
{
    camera.addPlateRecord({.carId = 42, .timestamp = 0, .imagePath = "images/42.bmp"});
    const auto agent = createAgent();
    const Strings events{idOf("tns1:RuleEngine/MotionRegionDetector/Motion").toStdString(),
                         "vorn.axis.event.LicensePlateDetected"};
    const Strings objects{"vorn.axis.object.LicensePlate"};
    const std::string motion = FakeAxisCamera::readDataFile("motion_started.xml");
    const std::string plate = FakeAxisCamera::readDataFile("plate_new.xml"); // searched at the camera
    std::vector<std::thread> senders;
    for (int t = 0; t < 3; ++t) {
        senders.emplace_back([&agent, &motion, &plate] {
            for (int i = 0; i < 100; ++i)
                consume(*agent, i % 10 ? motion : plate, i);
        });
    }
    for (int i = 0; i < 100; ++i) {
        select(*agent, i % 2 ? events : Strings{}, i % 2 ? objects : Strings{});
        const auto other = makePtr<vorn::vms_server::MetadataReceiver>();
        agent->attachReceiver(other.get());
        agent->attachReceiver(receiver.get());
    }
    for (auto& sender : senders)
        sender.join();
    select(*agent, events, objects);
    const std::size_t before = receiver->recordCount();
    consume(*agent, motion, 1);
    consume(*agent, plate, 1);
    EXPECT_EQ(receiver->recordCount(), before + 4); // the motion event, the plate object, best shot and event
}

} // namespace
} // namespace quillwort_test
