// Video-analytics events from a camera's push port to the server's receiver, through the built plugin
// library: once loaded by the stand-in server in this process, once run by the vms_plugin_host tool.

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QProcess>
#include <QtCore/QStringList>

#include <gtest/gtest.h>

#include <fake_zodivadad_camera/fake_zodivadad_camera.h>
#include <fake_zodivadad_camera/vca_push_server.h>
#include <fake_zodivadad_camera/vca_wire.h>
#include <vorn/sdk/analytics/i_plugin.h>
#include <vorn/vms_server/device_description.h>
#include <vorn/vms_server/host_services.h>
#include <vorn/vms_server/metadata_receiver.h>
#include <vorn/vms_server/metadata_type_selection.h>
#include <vorn/vms_server/option_map.h>
#include <vorn/vms_server/plugin_library.h>

namespace {

using namespace std::chrono_literals;
using namespace vorn::sdk;
using namespace vorn::sdk::analytics;
using vorn::testing::FakeHttpServer;
using vorn::testing::FakeZodivadadCamera;
using vorn::testing::VcaPushServer;
using vorn::vms_server::PluginLibrary;
using vorn::vms_server::ReceivedEventPacket;
using vorn::vms_server::RegistryLedger;
using Strings = std::vector<std::string>;
namespace wire = vorn::testing::vca_wire;

constexpr int kZodivadadPluginIndex = 1;
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
                "' " + (item["isActive"].toBool() ? "active" : "inactive") + " [";
        const QJsonArray attributes = item["attributes"].toArray();
        for (int i = 0; i < attributes.size(); ++i) {
            const QJsonObject attribute = attributes[i].toObject();
            text += (i ? ", " : "") + attribute["name"].toString().toStdString() + "=" +
                    attribute["value"].toString().toStdString();
        }
        text += "]";
    }
    return text;
}

std::string summary(const ReceivedEventPacket& packet)
{
    QJsonArray items;
    for (const auto& item : packet.items) {
        QJsonArray attributes;
        for (const auto& attribute : item.attributes) {
            attributes.append(QJsonObject{{"name", QString::fromStdString(attribute.name)},
                                          {"value", QString::fromStdString(attribute.value)}});
        }
        items.append(QJsonObject{{"typeId", QString::fromStdString(item.typeId)},
                                 {"description", QString::fromStdString(item.description)},
                                 {"isActive", item.isActive},
                                 {"attributes", attributes}});
    }
    return summary(packet.timestampUs, packet.flags.value_or(-1), items);
}

TEST(LarkspurVcaPush, PushedEventsReachTheServersReceiver)
{
    const auto ledger = std::make_shared<RegistryLedger>();
    std::string error;
    std::unique_ptr<PluginLibrary> library = PluginLibrary::load(LARKSPUR_PLUGIN_PATH, ledger, &error);
    ASSERT_TRUE(library) << error;
    {
        FakeZodivadadCamera camera;
        camera.requireAuth(FakeHttpServer::AuthScheme::digest, "admin", "s3cret");
        VcaPushServer push;
        push.requireDigest("admin", "s3cret");

        const auto hostServices = makePtr<vorn::vms_server::HostServices>();
        hostServices->setServerTimeMs(kServerTimeMs);
        const auto plugin = queryInterface<vorn::sdk::analytics::IPlugin>(library->createPlugin(kZodivadadPluginIndex));
        ASSERT_TRUE(plugin);
        plugin->attachHostServices(hostServices.get());
        Result<IEngine*> engineResult;
        plugin->obtainEngine(&engineResult);
        const Ptr<IEngine> engine = toPtr(engineResult.value);
        ASSERT_TRUE(engine);

        vorn::vms_server::DeviceDescription::Fields fields;
        fields.vendor = "Zodivadad";
        fields.model = "ZV-IPC5000";
        fields.url = camera.url();
        fields.login = "admin";
        fields.password = "s3cret";
        Result<IDeviceAgent*> created;
        engine->createDeviceAgent(&created, makePtr<vorn::vms_server::DeviceDescription>(fields).get());
        const auto agent = queryInterface<IConsumingDeviceAgent>(toPtr(created.value));
        ASSERT_TRUE(agent);

        const auto receiver = makePtr<vorn::vms_server::MetadataReceiver>();
        agent->attachReceiver(receiver.get());
        Result<const IOptionMap*> settingsResult;
        agent->applySettings(&settingsResult,
                             makePtr<vorn::vms_server::OptionMap>(std::vector<std::pair<std::string, std::string>>{
                                                                      {"VCA.Port", std::to_string(push.port())}})
                                 .get());
        Result<void> selected;
        agent->selectMetadataTypes(
            &selected, makePtr<vorn::vms_server::MetadataTypeSelection>(kSelectedEventTypes, std::nullopt).get());
        EXPECT_TRUE(selected.isOk());

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
    }
    // Every object of the library is gone by now, its channel with it.
    EXPECT_EQ(library->unload(), "");
    EXPECT_TRUE(ledger->isClean()) << ledger->report();
}

TEST(LarkspurVcaPushInPluginHost, PrintsPushedEventsAsEventPacketLines)
{
    FakeZodivadadCamera camera;
    VcaPushServer push;
    const int64_t startUs = vorn::vms_server::HostServices::systemTimeMs() * 1000;
    QProcess host;
    QStringList events;
    for (const std::string& id : kSelectedEventTypes)
        events << QString::fromStdString(id);
    host.start(VMS_PLUGIN_HOST_PATH,
               {LARKSPUR_PLUGIN_PATH, "--index", QString::number(kZodivadadPluginIndex), "--vendor", "Zodivadad",
                "--model", "ZV-IPC5000", "--url", QString::fromStdString(camera.url()), "--login", "admin",
                "--password", "s3cret", "--setting", QString("VCA.Port=%1").arg(push.port()), "--events",
                events.join(",")});
    ASSERT_TRUE(host.waitForStarted()) << host.errorString().toStdString();

    // Runs until it is told to stop; the test stops it once the events are out.
    ASSERT_TRUE(push.waitForRegistrations(1, kDeadline));
    const Pushes pushes;
    ASSERT_TRUE(push.pushInPieces(pushes.stream(), pushes.cuts()));

    std::vector<QJsonObject> lines;
    Strings packets;
    const auto deadline = std::chrono::steady_clock::now() + kDeadline;
    const auto readLines = [&] {
        while (host.canReadLine()) {
            const QJsonObject line = QJsonDocument::fromJson(host.readLine()).object();
            lines.push_back(line);
            if (line["kind"] == "eventPacket") {
                packets.push_back(summary(static_cast<int64_t>(line["timestampUs"].toDouble()), line["flags"].toInt(-1),
                                          line["items"].toArray()));
            }
        }
    };
    while (packets.size() < kExpectedPackets.size() && std::chrono::steady_clock::now() < deadline) {
        host.waitForReadyRead(100);
        readLines();
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

    host.terminate();
    ASSERT_TRUE(host.waitForFinished(std::chrono::duration_cast<std::chrono::milliseconds>(kDeadline).count()));
    readLines();
    EXPECT_EQ(host.exitCode(), 0) << host.readAllStandardError().toStdString();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back()["kind"], "leakCheck");
    EXPECT_EQ(lines.back()["live"], 0);
}

} // namespace
