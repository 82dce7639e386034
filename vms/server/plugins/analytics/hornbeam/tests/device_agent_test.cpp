#include <vorn/vms_server_plugins/analytics/uniview/device_agent.h>

#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>

#include <gtest/gtest.h>

#include <vorn/sdk/helpers/error.h>
#include <vorn/vms_server/custom_metadata_packet.h>

#include "agent_test_support.h"

namespace hornbeam_test {
namespace {

QStringList idsOf(const QJsonArray& array, const char* key)
{
    QStringList ids;
    for (const QJsonValue& value : array)
        ids << value.toObject()[key].toString();
    return ids;
}

TEST(DeviceAgentManifest, NarrowedToTheCamerasCapabilities)
{
    struct Row
    {
        const char* name;
        std::string smartData;
        QStringList eventTypes;
        QStringList supportedTypes;
        QStringList objectTypes;
        QStringList enumTypes;
    };
    const std::vector<Row> rows = {
        {"motion only", R"({"MotionDetection":{"IsSupport":1}})", {"vorn.uniview.Motion"}, {}, {}, {}},
        {"line crossing",
         R"({"CrossLineDetection":{"IsSupport":1}})",
         {"vorn.uniview.LineCrossed"},
         {"vorn.uniview.Person", "vorn.uniview.Vehicle", "vorn.uniview.Bike"},
         {"vorn.uniview.Person", "vorn.uniview.Vehicle", "vorn.uniview.Bike"},
         {"vorn.uniview.BodyDirection", "vorn.uniview.VehicleDirection", "vorn.uniview.VehicleSpeedType",
          "vorn.uniview.ShoesType"}},
        {"face detection",
         R"({"FaceDetection":{"IsSupport":1}})",
         {},
         {"vorn.uniview.Face"},
         {"vorn.uniview.Face"},
         {}},
        {"nothing", "", {}, {}, {}, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        AgentFixture fixture;
        if (!row.smartData.empty())
            fixture.camera.setLapiData("GET", "Channels/0/Smart/Capabilities", row.smartData);
        fixture.createAgent();
        vorn::sdk::Result<const vorn::sdk::IString*> result;
        fixture.agent->getManifest(&result);
        ASSERT_TRUE(result.isOk());
        const auto text = vorn::sdk::toPtr(result.value);
        const QJsonObject manifest = QJsonDocument::fromJson(text->text()).object();
        EXPECT_EQ(idsOf(manifest["eventTypes"].toArray(), "id"), row.eventTypes);
        EXPECT_EQ(idsOf(manifest["supportedTypes"].toArray(), "objectTypeId"), row.supportedTypes);
        const QJsonObject library = manifest["typeLibrary"].toObject();
        EXPECT_EQ(idsOf(library["objectTypes"].toArray(), "id"), row.objectTypes);
        QStringList enums = idsOf(library["enumTypes"].toArray(), "id");
        QStringList expectedEnums = row.enumTypes;
        enums.sort();
        expectedEnums.sort();
        EXPECT_EQ(enums, expectedEnums);
    }
}

TEST(DeviceAgent, ServerClockAndPacketsThatAreNoVideo)
{
    AgentFixture fixture;
    fixture.pluginWithClock.hostServices->setServerTimeMs(1'700'000'123'456);
    fixture.createAgent();
    EXPECT_EQ(fixture.agent->serverTimeUs(), 1'700'000'123'456'000);

    const auto custom =
        vorn::sdk::makePtr<vorn::vms_server::CustomMetadataPacket>("h264", std::string("\0\0\1\x06", 4), 0);
    vorn::sdk::Result<void> untouched(vorn::sdk::Error(vorn::sdk::ErrorCode::generalFailure, nullptr));
    fixture.agent->consumeDataPacket(&untouched, custom.get());
    EXPECT_FALSE(untouched.isOk()) << "the result was touched";
    EXPECT_TRUE(fixture.receiver->records().empty());
}

TEST(DeviceAgent, SelectionsStartAndStopTheSubscription)
{
    AgentFixture fixture;
    fixture.createAgent();
    fixture.select({"vorn.uniview.Motion"});
    ASSERT_EQ(fixture.events.liveSubscribers().size(), 1u);
    const auto first = fixture.events.liveSubscribers()[0];
    EXPECT_EQ(first.ipAddress, "127.0.0.1");
    EXPECT_EQ(first.addressType, 0);
    EXPECT_EQ(first.requestedDuration, 1800);
    EXPECT_NE(first.port, 0);

    fixture.selectNothing();
    ASSERT_TRUE(fixture.events.waitForLiveSubscriptions(0));
    EXPECT_TRUE(fixture.events.waitUntil([](const auto& all) { return !all.empty() && !all[0].live; }))
        << "no cancel reached the camera";

    fixture.select({}, {"vorn.uniview.Face"});
    EXPECT_EQ(fixture.events.liveSubscribers().size(), 1u);
}

} // namespace
} // namespace hornbeam_test
