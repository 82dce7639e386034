#include <vorn/vms_server_plugins/analytics/uniview/device_capabilities_provider.h>

#include <set>
#include <string>
#include <vector>

#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>

#include <gtest/gtest.h>

#include <vorn/utils/scaled_clock.h>

#include "agent_test_support.h"

namespace hornbeam_test {
namespace {

using vorn::testing::FakeHttpServer;

std::set<QString> typesOf(std::initializer_list<const char*> ids)
{
    std::set<QString> set;
    for (const char* id : ids)
        set.insert(QString::fromLatin1(id));
    return set;
}

TEST(DeviceCapabilities, CapabilityRepliesToTypeSets)
{
    struct Row
    {
        const char* name;
        std::string alarmData; //< "Data" of the alarm capabilities; empty: the request fails (404)
        std::string smartData;
        std::set<QString> expected;
        const char* message = nullptr;
    };
    const std::vector<Row> rows = {
        {"IsSupport 1", R"({"MotionDetection":{"IsSupport":1}})", "", typesOf({"vorn.uniview.Motion"})},
        {"IsSupport true is no support", R"({"MotionDetection":{"IsSupport":true}})", "", {}},
        {"Support<name> 1", R"({"MotionDetection":{"IsSupport":0,"SupportMotionDetection":1}})", "",
         typesOf({"vorn.uniview.Motion"})},
        {"support key as text", R"({"MotionDetection":{"Support":"1"}})", "", {}},
        {"every support key",
         R"({"AudioDetection":{"IsSupportCfg":2},"TamperDetection":{"SupportCfg":1},
             "ObjTrack":{"IsSupported":1},"RemoveArticle":{"Support":-1}})",
         "",
         typesOf(
             {"vorn.uniview.Audio", "vorn.uniview.Tamper", "vorn.uniview.ObjTracking", "vorn.uniview.ObjectRemoved"})},
        {"both requests, persons once", R"({"HumanShapeDetection":{"IsSupport":1}})",
         R"({"CrossLineDetection":{"IsSupport":1},"SmartThingWithoutType":{"IsSupport":1}})",
         typesOf({"vorn.uniview.Bike", "vorn.uniview.LineCrossed", "vorn.uniview.Person", "vorn.uniview.Vehicle"})},
        {"value not an object", R"({"MotionDetection":1})", "", {}},
        {"Data is an array", R"([{"MotionDetection":{"IsSupport":1}}])", R"({"FaceDetection":{"IsSupport":1}})",
         typesOf({"vorn.uniview.Face"}), "Data must be an object"},
        {"both fail", "", "", {}, "failed with HTTP code [HTTP/1.1 404 Not Found]"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        vorn::utils::log::LogCapture capture(vorn::utils::log::Level::verbose);
        AgentFixture fixture;
        for (auto [path, data] : {std::pair{"Channels/2/Alarm/Capabilities", row.alarmData},
                                  std::pair{"Channels/2/Smart/Capabilities", row.smartData}}) {
            if (!data.empty())
                fixture.camera.setLapiData("GET", path, data);
        }
        fixture.createAgent(/*channel*/ 2);
        uniview::DeviceCapabilitiesProvider provider(fixture.agent.get());
        EXPECT_EQ(provider.supportedEventTypes(), row.expected);
        EXPECT_EQ(provider.supportedEventTypes(), row.expected) << "a second call differs";
        if (row.message) {
            EXPECT_FALSE(capture.logger().texts().filter(row.message).isEmpty())
                << capture.logger().texts().join('\n').toStdString();
        }
    }
}

TEST(DeviceCapabilities, DeviceErrorAndUnreadableRepliesContributeNothing)
{
    vorn::utils::log::LogCapture capture(vorn::utils::log::Level::verbose);
    AgentFixture fixture;
    fixture.camera.setLapiError("GET", "Channels/0/Alarm/Capabilities", 7, "Not supported");
    fixture.camera.setLapiReply("GET", "Channels/0/Smart/Capabilities", FakeHttpServer::Reply::ok("{not json"));
    fixture.createAgent();
    uniview::DeviceCapabilitiesProvider provider(fixture.agent.get());
    EXPECT_TRUE(provider.supportedEventTypes().empty());
    const QStringList texts = capture.logger().texts();
    EXPECT_FALSE(texts.filter("failed with device code 7 (Not supported)").isEmpty());
    EXPECT_FALSE(texts.filter("JSON parsing failed - ").isEmpty());
}

TEST(DeviceCapabilities, SilentCameraEndsAfterTheTimeOutsAndIsAskedOnce)
{
    const vorn::utils::ScopedTimeScale fast(0.001); // the 5000 ms time-outs take 5 ms
    AgentFixture fixture;
    fixture.camera.setLapiReply("GET", "Channels/0/Alarm/Capabilities", FakeHttpServer::Reply::silent());
    fixture.camera.setLapiReply("GET", "Channels/0/Smart/Capabilities", FakeHttpServer::Reply::silent());
    fixture.createAgent();
    vorn::sdk::Result<const vorn::sdk::IString*> first;
    fixture.agent->getManifest(&first);
    ASSERT_TRUE(first.isOk());
    const auto firstText = vorn::sdk::toPtr(first.value);
    const QJsonObject manifest = QJsonDocument::fromJson(firstText->text()).object();
    EXPECT_TRUE(manifest["eventTypes"].toArray().isEmpty());
    // Both requests ended (each may have timed out before or after it reached the camera).
    const std::size_t requests = fixture.camera.requests().size();

    vorn::sdk::Result<const vorn::sdk::IString*> second;
    fixture.agent->getManifest(&second);
    const auto secondText = vorn::sdk::toPtr(second.value);
    EXPECT_STREQ(firstText->text(), secondText->text());
    EXPECT_EQ(fixture.camera.requests().size(), requests);
}

} // namespace
} // namespace hornbeam_test
