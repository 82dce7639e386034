// Video-analytics events from a camera's push port to the server's receiver, through the built plugin
// library: once loaded by the stand-in server in this process, once run by the vms_plugin_host tool.

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include <QtCore/QJsonArray>
#include <QtCore/QJsonObject>
#include <QtCore/QStringList>

#include <gtest/gtest.h>

#include <fake_zodivadad_camera/fake_zodivadad_camera.h>
#include <fake_zodivadad_camera/vca_push_server.h>
#include <fake_zodivadad_camera/vca_wire.h>
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
using vorn::testing::VcaPushServer;
using vorn::vms_server::ReceivedEventPacket;
using Strings = std::vector<std::string>;
namespace wire = vorn::testing::vca_wire;

constexpr int64_t kServerTimeMs = 1'700'000'000'000;
// Loading the library under the sanitizers and the first connection take a moment on a busy machine.
constexpr auto kDeadline = 60s;

// What the camera pushes, in one stream: every command the channel reads, a frame it ignores, several
// frames in one write and frames cut across writes (see the cuts below).
struct Pushes
{
    const std::string motion =
        wire::frame(wire::kBasicAlarmCommand, R"({"event":1,"alarm":5,"time":"2024-05-01T12:00:00Z"})");
    const std::string alarms = wire::frame(
        wire::kVcaAlarmCommand, wire::jsonChunk(R"({"event":4,"alarm":1,"line":2,"direction":1,"object":2})") +
                                    wire::imageChunk("JPEG") + wire::jsonChunk(R"({"event":2,"alarm":0})"));
    const std::string counting = wire::frame(wire::kRegionalCountCommand, R"({"event":0,"number":7})");
    const std::string radar = wire::frame(wire::kRadarCommand, R"({"event":1})");
    const std::string face =
        wire::frame(wire::kFaceCommand, wire::jsonChunk(R"({"event":0,"face_data":[{"age":30,"gender":1}]})"));

    std::string stream() const { return motion + alarms + counting + radar + face; }
    std::vector<std::size_t> cuts() const { return {5, motion.size() + 30, motion.size() + alarms.size()}; }
};

const std::string kServerTimeUs = std::to_string(kServerTimeMs * 1000);
const Strings kExpectedPackets{
    "1714564800000000 flags=1 | vorn.zodivadad.Motion 'Motion Detection #1' active []"
    " | vorn.zodivadad.Motion 'Motion Detection #3' active []",
    kServerTimeUs + " flags=0 | vorn.zodivadad.LineCrossing 'Line Crossing #2' active"
                    " [Crossing direction=B->A, Object type=Car/Vehicle]",
    kServerTimeUs + " flags=0 | vorn.zodivadad.AdvancedMotion 'Advanced Motion Detection stopped' inactive []",
    kServerTimeUs + " flags=0 | vorn.zodivadad.RegionalPeopleCounting 'Regional People Counting' active [Number=7]",
    kServerTimeUs + " flags=0 | vorn.zodivadad.Face 'Face [exclusive]' active [Age=30, Gender=female]",
};
const Strings kSelectedEventTypes{"vorn.zodivadad.Motion", "vorn.zodivadad.LineCrossing",
                                  "vorn.zodivadad.AdvancedMotion", "vorn.zodivadad.RegionalPeopleCounting",
                                  "vorn.zodivadad.Face"};

// "<timestamp> flags=<flags>", then per item " | <type id> '<description>' active|inactive [name=value, ...]".
std::string summary(int64_t timestampUs, int flags, const QJsonArray& items)
{
    std::string text = std::to_string(timestampUs) + " flags=" + std::to_string(flags);
    for (const QJsonValue& itemValue : items) {
        const QJsonObject item = itemValue.toObject();
        text += " | " + item["typeId"].toString().toStdString() + " '" + item["description"].toString().toStdString() +
                "' " + (item["isActive"].toBool() ? "active" : "inactive") + " [" +
                attributesText(item["attributes"].toArray()) + "]";
    }
    return text;
}

std::string summary(const ReceivedEventPacket& packet)
{
    QJsonArray items;
    for (const auto& item : packet.items) {
        items.append(QJsonObject{{"typeId", QString::fromStdString(item.typeId)},
                                 {"description", QString::fromStdString(item.description)},
                                 {"isActive", item.isActive},
                                 {"attributes", attributesJson(item.attributes)}});
    }
    return summary(packet.timestampUs, packet.flags.value_or(-1), items);
}

using LarkspurVcaPush = LoadedLarkspur;

TEST_F(LarkspurVcaPush, PushedEventsReachTheServersReceiver)
{
    FakeZodivadadCamera camera;
    camera.requireAuth(FakeHttpServer::AuthScheme::digest, "admin", "s3cret");
    VcaPushServer push;
    push.requireDigest("admin", "s3cret");

    const auto hostServices = makePtr<vorn::vms_server::HostServices>();
    hostServices->setServerTimeMs(kServerTimeMs);
    const auto plugin = createPlugin(kZodivadadPluginIndex, hostServices.get());
    ASSERT_TRUE(plugin);
    const Ptr<IEngine> engine = obtainEngine(*plugin);
    ASSERT_TRUE(engine);

    const auto agent = createDeviceAgent(*engine, describeCamera(camera.url()).get());
    ASSERT_TRUE(agent);

    const auto receiver = makePtr<vorn::vms_server::MetadataReceiver>();
    agent->attachReceiver(receiver.get());
    applySetting(*agent, "VCA.Port", std::to_string(push.port()));
    EXPECT_TRUE(selectMetadataTypes(*agent, kSelectedEventTypes, std::nullopt));

    ASSERT_TRUE(push.waitForRegistrations(2, kDeadline)); // 401, then the digest answer.
    EXPECT_TRUE(push.registrations()[1].digestValid);
    const Pushes pushes;
    ASSERT_TRUE(push.pushInPieces(pushes.stream(), pushes.cuts()));

    ASSERT_TRUE(receiver->waitForRecords(kExpectedPackets.size(), kDeadline));
    Strings packets;
    for (const auto& record : receiver->records()) {
        const auto* packet = std::get_if<ReceivedEventPacket>(&record);
        ASSERT_TRUE(packet);
        packets.push_back(summary(*packet));
    }
    EXPECT_EQ(packets, kExpectedPackets);
    // Once the test's own objects are gone, the tear-down checks that no object of the library is left,
    // its channel with it.
}

TEST(LarkspurVcaPushInPluginHost, PrintsPushedEventsAsEventPacketLines)
{
    FakeZodivadadCamera camera;
    VcaPushServer push;
    const int64_t startUs = vorn::vms_server::HostServices::systemTimeMs() * 1000;
    QStringList events;
    for (const std::string& id : kSelectedEventTypes)
        events << QString::fromStdString(id);
    RunningHost host(cameraArguments(camera.url()) +
                     QStringList{"--setting", QString("VCA.Port=%1").arg(push.port()), "--events", events.join(",")});
    ASSERT_TRUE(host.waitForStarted()) << host.errorString();

    // Runs until it is told to stop; the test stops it once the events are out.
    ASSERT_TRUE(push.waitForRegistrations(1, kDeadline));
    const Pushes pushes;
    ASSERT_TRUE(push.pushInPieces(pushes.stream(), pushes.cuts()));

    host.readUntil([&] { return linesOfKind(host.lines(), "eventPacket").size() >= kExpectedPackets.size(); },
                   kDeadline);
    Strings packets;
    for (const QJsonObject& line : linesOfKind(host.lines(), "eventPacket")) {
        packets.push_back(summary(static_cast<int64_t>(line["timestampUs"].toDouble()), line["flags"].toInt(-1),
                                  line["items"].toArray()));
    }
    // Events without a time of their own carry the host's clock, which is the real one here.
    const int64_t endUs = vorn::vms_server::HostServices::systemTimeMs() * 1000;
    for (std::string& packet : packets) {
        if (packet.find(" flags=0 ") == std::string::npos)
            continue;
        const int64_t timestampUs = std::stoll(packet.substr(0, packet.find(' ')));
        EXPECT_GE(timestampUs, startUs) << packet;
        EXPECT_LE(timestampUs, endUs) << packet;
        packet.replace(0, packet.find(' '), kServerTimeUs);
    }
    EXPECT_EQ(packets, kExpectedPackets);

    ASSERT_TRUE(host.stop(kDeadline));
    EXPECT_EQ(host.exitCode(), 0) << host.errors();
    const std::vector<QJsonObject>& lines = host.lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back()["kind"], "leakCheck");
    EXPECT_EQ(lines.back()["live"], 0);
}

} // namespace
