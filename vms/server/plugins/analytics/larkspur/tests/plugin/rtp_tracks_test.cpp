// Object tracks from the camera's metadata stream, handed in as custom metadata packets, to the
// server's receiver, through the built plugin library: once loaded by the stand-in server in this
// process, once run by the vms_plugin_host tool with packet files.

#include <memory>
#include <string>
#include <variant>
#include <vector>

#include <QtCore/QFile>
#include <QtCore/QJsonArray>
#include <QtCore/QJsonObject>
#include <QtCore/QStringList>
#include <QtCore/QTemporaryDir>

#include <gtest/gtest.h>

#include <fake_zodivadad_camera/fake_zodivadad_camera.h>
#include <fake_zodivadad_camera/rtp_blob_encoder.h>
#include <vorn/sdk/analytics/i_plugin.h>
#include <vorn/vms_server/custom_metadata_packet.h>
#include <vorn/vms_server/device_description.h>
#include <vorn/vms_server/host_services.h>
#include <vorn/vms_server/metadata_receiver.h>

#include "larkspur_plugin_test_support.h"

namespace {

using namespace vorn::sdk;
using namespace vorn::sdk::analytics;
using namespace larkspur_test;
using vorn::testing::FakeZodivadadCamera;
using vorn::testing::zodivadad::encodeRtpBlob;
using vorn::testing::zodivadad::rtpObjectList;
using vorn::vms_server::ReceivedObjectPacket;

// A person in the lower right quarter and a vehicle in the upper left one; then the person again, with
// a newcomer.
const std::string kFirstBlob =
    encodeRtpBlob({rtpObjectList(1920, 1080,
                                 {{.number = 42, .type = 1, .x1 = 960, .y1 = 540, .x2 = 1920, .y2 = 1080},
                                  {.number = 7, .type = 2, .x1 = 0, .y1 = 0, .x2 = 480, .y2 = 270}})});
const std::string kSecondBlob =
    encodeRtpBlob({rtpObjectList(1920, 1080,
                                 {{.number = 42, .type = 1, .x1 = 0, .y1 = 0, .x2 = 960, .y2 = 540},
                                  {.number = 8, .type = 1, .x1 = 0, .y1 = 540, .x2 = 960, .y2 = 1080}})});

using LarkspurRtpTracks = LoadedLarkspur;

TEST_F(LarkspurRtpTracks, ObjectListsReachTheServersReceiverWithStableTracks)
{
    FakeZodivadadCamera camera; // Without licence-plate support: the agent reads the metadata stream.
    const auto hostServices = makePtr<vorn::vms_server::HostServices>();
    const auto plugin = createPlugin(kZodivadadPluginIndex, hostServices.get());
    ASSERT_TRUE(plugin);
    const Ptr<IEngine> engine = obtainEngine(*plugin);
    ASSERT_TRUE(engine);

    vorn::vms_server::DeviceDescription::Fields fields;
    fields.vendor = "Zodivadad";
    fields.url = camera.url();
    const auto agent = createDeviceAgent(*engine, makePtr<vorn::vms_server::DeviceDescription>(fields).get());
    ASSERT_TRUE(agent);
    const auto receiver = makePtr<vorn::vms_server::MetadataReceiver>();
    agent->attachReceiver(receiver.get());

    const auto consume = [&agent](const std::string& codec, const std::string& blob, int64_t timestampUs) {
        Result<void> result;
        agent->consumeDataPacket(&result,
                                 makePtr<vorn::vms_server::CustomMetadataPacket>(codec, blob, timestampUs).get());
        EXPECT_TRUE(result.isOk());
    };
    consume("Zodivadad", kFirstBlob, 1'000'000);
    consume("zodivadad", kFirstBlob, 1'050'000); // Another codec: not read.
    consume("Zodivadad", kSecondBlob, 1'100'000);

    // The parser runs inside the call: everything is there already.
    const auto records = receiver->records();
    ASSERT_EQ(records.size(), 2U);
    const auto* first = std::get_if<ReceivedObjectPacket>(&records[0]);
    const auto* second = std::get_if<ReceivedObjectPacket>(&records[1]);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->timestampUs, 1'000'000);
    EXPECT_EQ(first->durationUs, 100'000);
    EXPECT_EQ(first->flags, 1);
    ASSERT_EQ(first->items.size(), 2U);
    EXPECT_EQ(first->items[0].typeId, "vorn.zodivadad.Person");
    EXPECT_EQ(first->items[0].boundingBox, (BoundingBox{0.5F, 0.5F, 0.5F, 0.5F}));
    EXPECT_EQ(first->items[1].typeId, "vorn.zodivadad.Vehicle");
    EXPECT_EQ(first->items[1].boundingBox, (BoundingBox{0, 0, 0.25F, 0.25F}));
    EXPECT_NE(first->items[0].trackId, first->items[1].trackId);

    EXPECT_EQ(second->timestampUs, 1'100'000);
    ASSERT_EQ(second->items.size(), 2U);
    EXPECT_EQ(second->items[0].trackId, first->items[0].trackId); // Object 42 again.
    EXPECT_NE(second->items[1].trackId, first->items[0].trackId);
    EXPECT_NE(second->items[1].trackId, first->items[1].trackId);
    agent->attachReceiver(nullptr);
}

TEST(LarkspurRtpTracksInPluginHost, PrintsTracksOfCustomPacketFiles)
{
    FakeZodivadadCamera camera;
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    QStringList packetOptions;
    int index = 0;
    for (const std::string* blob : {&kFirstBlob, &kSecondBlob}) {
        const QString path = folder.filePath(QString("blob%1.bin").arg(++index));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(blob->data(), static_cast<qint64>(blob->size()));
        packetOptions << "--custom-packet"
                      << "Zodivadad:" + path;
    }

    const ToolRun run = runHost(QStringList{"--index", QString::number(kZodivadadPluginIndex), "--vendor", "Zodivadad",
                                            "--url", QString::fromStdString(camera.url()), "--packet-timestamp-us",
                                            "1700000000000000", "--run-for", "0"} +
                                packetOptions);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0) << run.errors.toStdString();

    const std::vector<QJsonObject> packets = linesOfKind(run.lines, "objectPacket");
    ASSERT_EQ(packets.size(), 2U);
    const QJsonArray first = packets[0]["items"].toArray();
    const QJsonArray second = packets[1]["items"].toArray();
    ASSERT_EQ(first.size(), 2);
    ASSERT_EQ(second.size(), 2);
    EXPECT_EQ(packets[0]["timestampUs"].toDouble(), 1700000000000000.0);
    EXPECT_EQ(packets[0]["flags"], 1);
    EXPECT_EQ(first[0].toObject()["typeId"], "vorn.zodivadad.Person");
    EXPECT_EQ(first[1].toObject()["typeId"], "vorn.zodivadad.Vehicle");
    EXPECT_EQ(second[0].toObject()["trackId"], first[0].toObject()["trackId"]);
    EXPECT_NE(second[1].toObject()["trackId"], first[0].toObject()["trackId"]);
    ASSERT_FALSE(run.lines.empty());
    EXPECT_EQ(run.lines.back()["kind"], "leakCheck");
    EXPECT_EQ(run.lines.back()["live"], 0);
}

} // namespace
