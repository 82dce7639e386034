// Licence plates from a camera's push port to the server's receiver, through the built plugin library:
// once loaded by the stand-in server in this process, once run by the vms_plugin_host tool.

#include <chrono>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include <QtCore/QJsonArray>
#include <QtCore/QJsonObject>
#include <QtCore/QStringList>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fake_zodivadad_camera/fake_zodivadad_camera.h>
#include <fake_zodivadad_camera/lpr_push_server.h>
#include <fake_zodivadad_camera/lpr_settings_writes.h>
#include <vorn/sdk/analytics/i_plugin.h>
#include <vorn/vms_server/host_services.h>
#include <vorn/vms_server/metadata_receiver.h>

#include "larkspur_plugin_test_support.h"

namespace {

using namespace std::chrono_literals;
using namespace vorn::sdk;
using namespace vorn::sdk::analytics;
using namespace larkspur_test;
using vorn::testing::FakeHttpServer;
using vorn::testing::FakeZodivadadCamera;
using vorn::testing::zodivadad::LprPlate;
using vorn::testing::zodivadad::LprPushServer;
using vorn::vms_server::ReceivedBestShot;
using vorn::vms_server::ReceivedObjectPacket;
using Strings = std::vector<std::string>;

// Loading the library under the sanitizers and the first connection take a moment on a busy machine.
constexpr auto kDeadline = 60s;

// A car whose plate the camera read, with three images; the plugin passes on the two smallest.
LprPlate car()
{
    LprPlate plate;
    plate.timestampMs = 1'714'564'800'123;
    plate.plateNumber = "B-ZV 1234";
    plate.plateColor = 7;
    plate.country = "DE";
    plate.plateType = 2;
    plate.vehicleKind = 1;
    plate.vehicleColor = 2;
    plate.speed = 48;
    plate.direction = 1;
    plate.plateConfidence = 0.5F;
    plate.images = {std::string(700, 'v'), std::string(2000, 'o'), std::string(300, 'p')};
    return plate;
}

// "<timestamp> flags=<flags> duration=<duration>", then per item " | <type id> [name=value, ...]".
std::string objectSummary(int64_t timestampUs, int flags, int64_t durationUs, const QJsonArray& items)
{
    std::string text =
        std::to_string(timestampUs) + " flags=" + std::to_string(flags) + " duration=" + std::to_string(durationUs);
    for (const QJsonValue& itemValue : items) {
        const QJsonObject item = itemValue.toObject();
        text +=
            " | " + item["typeId"].toString().toStdString() + " [" + attributesText(item["attributes"].toArray()) + "]";
    }
    return text;
}

const std::string kCarPacket =
    "1714564800123000 flags=1 duration=500000"
    " | vorn.zodivadad.LicensePlate [Number=B-ZV 1234, Color=White, Country=DE, Type=White]"
    " | vorn.zodivadad.Car [License Plate.Number=B-ZV 1234, License Plate.Color=White, License Plate.Country=DE,"
    " License Plate.Type=White, Speed=48, Color=Blue, Direction=Incoming]";

using LarkspurLprPush = LoadedLarkspur;

TEST_F(LarkspurLprPush, PlatesVehiclesAndBestShotsReachTheServersReceiver)
{
    FakeZodivadadCamera camera;
    camera.setLprSupport(true);
    camera.setLprSettings({{"lpr_enable", "1"}, {"lpr_post_enable", "0"}});
    camera.requireAuth(FakeHttpServer::AuthScheme::digest, "admin", "s3cret");
    LprPushServer push;
    push.setCredentials("admin", "s3cret");

    const auto hostServices = makePtr<vorn::vms_server::HostServices>();
    const auto plugin = createPlugin(kZodivadadPluginIndex, hostServices.get());
    ASSERT_TRUE(plugin);
    const Ptr<IEngine> engine = obtainEngine(*plugin);
    ASSERT_TRUE(engine);

    const auto agent = createDeviceAgent(*engine, describeCamera(camera.url()).get());
    ASSERT_TRUE(agent);
    // The agent switched on the camera's licence-plate settings while it was made.
    EXPECT_EQ(camera.lprSettings().size(), 9U);
    for (const auto& [key, value] : camera.lprSettings())
        EXPECT_EQ(value, "1") << key;

    const auto receiver = makePtr<vorn::vms_server::MetadataReceiver>();
    agent->attachReceiver(receiver.get());
    applySetting(*agent, "LPR.Port", std::to_string(push.port()));
    EXPECT_TRUE(selectMetadataTypes(*agent, std::nullopt, Strings{"vorn.zodivadad.LicensePlate"}));

    ASSERT_TRUE(push.waitForLogins(1, kDeadline));
    EXPECT_EQ(push.logins()[0].json, R"({"id":"admin","password":"s3cret"})");
    ASSERT_EQ(push.pushPlates({car()}), 1U);

    ASSERT_TRUE(receiver->waitForRecords(3, kDeadline));
    const auto records = receiver->records();
    ASSERT_EQ(records.size(), 3U);
    const auto* packet = std::get_if<ReceivedObjectPacket>(&records[0]);
    ASSERT_TRUE(packet);
    QJsonArray items;
    for (const auto& item : packet->items) {
        items.append(QJsonObject{{"typeId", QString::fromStdString(item.typeId)},
                                 {"attributes", attributesJson(item.attributes)}});
    }
    EXPECT_EQ(objectSummary(packet->timestampUs, packet->flags.value_or(-1), packet->durationUs, items), kCarPacket);
    EXPECT_EQ(packet->items[0].attributes[0].confidence, 0.5F);

    // The plate's best shot has the smallest image, the vehicle's the next one.
    const std::string expectedImages[] = {std::string(300, 'p'), std::string(700, 'v')};
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i == 0 ? "plate" : "vehicle");
        const auto* bestShot = std::get_if<ReceivedBestShot>(&records[1 + i]);
        ASSERT_TRUE(bestShot);
        EXPECT_EQ(bestShot->trackId, packet->items[i].trackId);
        EXPECT_EQ(bestShot->boundingBox, packet->items[i].boundingBox);
        EXPECT_EQ(bestShot->timestampUs, packet->timestampUs);
        EXPECT_EQ(bestShot->flags, 1);
        EXPECT_EQ(bestShot->imageFormat, "image/jpeg");
        EXPECT_EQ(bestShot->imageData, expectedImages[i]);
    }
    agent->attachReceiver(nullptr);
    // Once the test's own objects are gone, the tear-down checks that no object of the library is left,
    // its channel with it.
}

TEST(LarkspurLprPushInPluginHost, PrintsPushedPlatesAsObjectPacketAndBestShotLines)
{
    FakeZodivadadCamera camera;
    camera.setLprSupport(true);
    LprPushServer push;
    RunningHost host(cameraArguments(camera.url()) +
                     QStringList{"--setting", QString("LPR.Port=%1").arg(push.port()), "--objects", "all"});
    ASSERT_TRUE(host.waitForStarted()) << host.errorString();

    // Runs until it is told to stop; the test stops it once the plate is out.
    ASSERT_TRUE(push.waitForLogins(1, kDeadline));
    ASSERT_EQ(push.pushPlates({car()}), 1U);

    host.readUntil([&] { return linesOfKind(host.lines(), "bestShot").size() >= 2; }, kDeadline);
    Strings packets;
    for (const QJsonObject& line : linesOfKind(host.lines(), "objectPacket")) {
        packets.push_back(objectSummary(static_cast<int64_t>(line["timestampUs"].toDouble()), line["flags"].toInt(-1),
                                        static_cast<int64_t>(line["durationUs"].toDouble()), line["items"].toArray()));
    }
    const std::vector<QJsonObject> bestShots = linesOfKind(host.lines(), "bestShot");
    EXPECT_EQ(packets, Strings{kCarPacket});
    ASSERT_EQ(bestShots.size(), 2U);
    EXPECT_EQ(bestShots[0]["imageFormat"], "image/jpeg");
    EXPECT_EQ(bestShots[0]["imageSize"], 300);
    EXPECT_EQ(bestShots[1]["imageSize"], 700);
    EXPECT_EQ(bestShots[0]["flags"], 1);

    ASSERT_TRUE(host.stop(kDeadline));
    EXPECT_EQ(host.exitCode(), 0) << host.errors();
    const std::vector<QJsonObject>& lines = host.lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back()["kind"], "leakCheck");
    EXPECT_EQ(lines.back()["live"], 0);
}

} // namespace
