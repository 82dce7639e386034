// The built quillwort library end to end, as the server sees it: loaded by the stand-in server's loader in
// this process, and run by the vms_plugin_host tool on the fake camera's metadata packets.
#include <string>
#include <vector>

#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QProcess>
#include <QtCore/QStringList>
#include <QtCore/QUrl>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fake_axis_camera/fake_axis_camera.h>
#include <vorn/sdk/analytics/i_plugin.h>
#include <vorn/vms_server/device_description.h>
#include <vorn/vms_server/host_services.h>
#include <vorn/vms_server/plugin_library.h>

namespace {

using namespace vorn::sdk;
using namespace vorn::sdk::analytics;
using testing::HasSubstr;
using testing::Not;
using vorn::testing::FakeAxisCamera;

constexpr char kLogin[] = "root";
constexpr char kPassword[] = "Secr3t-Pw";
constexpr int64_t kPacketTimestampUs = 1'714'564'800'250'000;

class LoadedQuillwort : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string error;
        m_library = vorn::vms_server::PluginLibrary::load(QUILLWORT_PLUGIN_PATH, m_ledger, &error);
        ASSERT_TRUE(m_library) << error;
    }

    void TearDown() override
    {
        if (!m_library)
            return;
        EXPECT_EQ(m_library->unload(), "");
        EXPECT_TRUE(m_ledger->isClean()) << m_ledger->report();
    }

    Ptr<vorn::sdk::analytics::IPlugin> createPlugin(IHostServices* hostServices) const
    {
        const auto plugin = queryInterface<vorn::sdk::analytics::IPlugin>(m_library->createPlugin(0));
        if (plugin)
            plugin->attachHostServices(hostServices);
        return plugin;
    }

    const std::shared_ptr<vorn::vms_server::RegistryLedger> m_ledger =
        std::make_shared<vorn::vms_server::RegistryLedger>();
    std::unique_ptr<vorn::vms_server::PluginLibrary> m_library;
};

std::string text(Result<const IString*>& result)
{
    EXPECT_TRUE(result.isOk());
    const auto string = toPtr(result.value);
    return string ? string->text() : "";
}

Ptr<IDeviceDescription> describe(std::string vendor, std::string url = "http://127.0.0.1:1/")
{
    vorn::vms_server::DeviceDescription::Fields fields;
    fields.vendor = std::move(vendor);
    fields.url = std::move(url);
    fields.login = kLogin;
    fields.password = kPassword;
    return makePtr<vorn::vms_server::DeviceDescription>(std::move(fields));
}

TEST_F(LoadedQuillwort, OnePluginWhoseEnginesAcceptAxisCameras)
{
    EXPECT_FALSE(m_library->createPlugin(1)); // no plugin list
    const auto hostServices = makePtr<vorn::vms_server::HostServices>();
    const auto plugin = createPlugin(hostServices.get());
    ASSERT_TRUE(plugin);

    Result<const IString*> manifest;
    plugin->getManifest(&manifest);
    EXPECT_EQ(text(manifest), R"({"id":"vorn.axis","name":"Axis","description":"Enables in-camera analytics )"
                              R"(support for Axis IP Cameras","version":"1.0.0","vendor":"Axis"})");

    Result<IEngine*> first;
    Result<IEngine*> second;
    plugin->obtainEngine(&first);
    plugin->obtainEngine(&second);
    const auto engine = toPtr(first.value);
    const auto otherEngine = toPtr(second.value);
    ASSERT_TRUE(engine && otherEngine);
    EXPECT_NE(engine.get(), otherEngine.get());

    Result<const IString*> engineManifest;
    engine->getManifest(&engineManifest);
    EXPECT_EQ(text(engineManifest),
              R"({"capabilities":"deviceDependent|noAutoBestShots","streamTypeFilter":"metadata"})");

    struct Row
    {
        std::string vendor;
        bool supported;
    };
    for (const Row& row : {Row{"AXIS", true}, Row{"Axis Communications", true}, Row{"axis", true}, Row{"aXiS", true},
                           Row{"", false}, Row{"Vendor Axis", false}, Row{"Axi", false}}) {
        EXPECT_EQ(engine->supportsDevice(describe(row.vendor).get()), row.supported) << row.vendor;
    }
    EXPECT_FALSE(engine->supportsDevice(nullptr));
}

TEST_F(LoadedQuillwort, EachDeviceAgentAsksTheCameraAgain)
{
    FakeAxisCamera camera;
    const auto hostServices = makePtr<vorn::vms_server::HostServices>();
    const auto plugin = createPlugin(hostServices.get());
    Result<IEngine*> engineResult;
    plugin->obtainEngine(&engineResult);
    const auto engine = toPtr(engineResult.value);
    const auto description = describe("AXIS", camera.url());
    Result<IDeviceAgent*> first;
    Result<IDeviceAgent*> second;
    engine->createDeviceAgent(&first, description.get());
    engine->createDeviceAgent(&second, description.get());
    const auto agent = toPtr(first.value);
    const auto otherAgent = toPtr(second.value);
    ASSERT_TRUE(first.isOk() && second.isOk());
    EXPECT_NE(agent.get(), otherAgent.get());
    EXPECT_EQ(camera.requests().size(), 4U);
    EXPECT_TRUE(queryInterface<IConsumingDeviceAgent>(agent));
}

// ------------------------------------------------------------------------------------- vms_plugin_host

struct ToolRun
{
    int exitCode = -1;
    std::vector<QJsonObject> lines;
    std::string errors;
};

ToolRun runHost(const QStringList& arguments)
{
    QProcess process;
    process.start(VMS_PLUGIN_HOST_PATH, QStringList{QUILLWORT_PLUGIN_PATH} + arguments);
    ToolRun run;
    EXPECT_TRUE(process.waitForFinished(120'000)) << process.errorString().toStdString();
    run.exitCode = process.exitCode();
    run.errors = process.readAllStandardError().toStdString();
    for (const QByteArray& line : process.readAllStandardOutput().split('\n')) {
        if (!line.trimmed().isEmpty())
            run.lines.push_back(QJsonDocument::fromJson(line).object());
    }
    return run;
}

std::vector<QJsonObject> linesOfKind(const std::vector<QJsonObject>& lines, const QString& kind)
{
    std::vector<QJsonObject> result;
    for (const QJsonObject& line : lines) {
        if (line["kind"] == kind)
            result.push_back(line);
    }
    return result;
}

QStringList hostArguments(const FakeAxisCamera& camera, const std::vector<std::string>& packetFiles)
{
    QStringList arguments = {"--vendor",
                             "AXIS",
                             "--model",
                             "P1448-LE",
                             "--url",
                             QString::fromStdString(camera.url()),
                             "--login",
                             kLogin,
                             "--password",
                             kPassword,
                             "--events",
                             "all",
                             "--objects",
                             "all",
                             "--packet-timestamp-us",
                             QString::number(kPacketTimestampUs),
                             "--log-level",
                             "6"};
    for (const std::string& file : packetFiles)
        arguments << "--custom-packet"
                  << QString::fromStdString("vnd.onvif.metadata:" + FakeAxisCamera::dataFilePath(file));
    return arguments;
}

// "<typeId-or-name> '<description>' active=<0|1> key=<key>" per event item.
std::string eventSummary(const QJsonObject& packet, const QJsonObject& manifest)
{
    std::map<QString, QString> names;
    for (const QJsonValue& type : manifest["eventTypes"].toArray())
        names[type.toObject()["id"].toString()] = type.toObject()["name"].toString();
    std::string text;
    for (const QJsonValue& itemValue : packet["items"].toArray()) {
        const QJsonObject item = itemValue.toObject();
        text += names[item["typeId"].toString()].toStdString() + " '" + item["description"].toString().toStdString() +
                "' active=" + (item["isActive"].toBool() ? "1" : "0") + " key=" + item["key"].toString().toStdString();
    }
    return text;
}

TEST(QuillwortThroughHost, NotificationPacketsBecomeEventsObjectsAndBestShots)
{
    FakeAxisCamera camera;
    camera.setTopicSet(FakeAxisCamera::readDataFile("catalogue_topic_set.xml"));
    camera.addPlateRecord({.carId = 42, .timestamp = 1'714'564'800'000, .imagePath = "images/42.bmp"});

    const ToolRun run =
        runHost(hostArguments(camera, {"motion_initialized.xml", "motion_started.xml", "relay.xml",
                                       "profile1_started.xml", "profile_any_started.xml", "batched.xml",
                                       "motion_stopped.xml", "tampering.xml", "plate_new.xml", "plate_update.xml"}));
    EXPECT_EQ(run.exitCode, 0) << run.errors;

    const auto manifests = linesOfKind(run.lines, "deviceAgentManifest");
    ASSERT_EQ(manifests.size(), 1U);
    const QJsonObject manifest = manifests[0]["manifest"].toObject();
    QStringList names;
    for (const QJsonValue& type : manifest["eventTypes"].toArray())
        names << type.toObject()["name"].toString() + (type.toObject().contains("flags") ? "*" : "");
    EXPECT_EQ(names.join(", ").toStdString(),
              "License plate detected, Video Motion Detection*, Motion*, VMD 3: Video 1*, Motion Alarm*, Tampering");

    std::vector<std::string> events;
    for (const QJsonObject& packet : linesOfKind(run.lines, "eventPacket")) {
        EXPECT_EQ(packet["timestampUs"].toDouble(), static_cast<double>(kPacketTimestampUs));
        events.push_back(eventSummary(packet, manifest));
    }
    const std::vector<std::string> expected = {
        "Motion 'started' active=1 key=",
        "Video Motion Detection 'Profile 1 started' active=1 key=tnsaxis:CameraApplicationPlatform/VMD/Camera1Profile1",
        "Motion Alarm 'started' active=1 key=",
        "Motion 'started' active=1 key=",
        "Video Motion Detection 'Profile 2 stopped' active=0 key=tnsaxis:CameraApplicationPlatform/VMD/Camera1Profile2",
        "Motion 'stopped' active=0 key=",
        "Tampering '' active=0 key=",
        "License plate detected '' active=0 key=",
    };
    EXPECT_EQ(events, expected);

    const auto objects = linesOfKind(run.lines, "objectPacket");
    ASSERT_EQ(objects.size(), 2U);
    const QJsonObject plate = objects[0]["items"].toArray()[0].toObject();
    EXPECT_EQ(plate["typeId"], "vorn.axis.object.LicensePlate");
    EXPECT_EQ(objects[0]["durationUs"].toInt(), 200000);
    EXPECT_NEAR(plate["boundingBox"].toObject()["x"].toDouble(), 100.0 / 1920, 1e-6);
    EXPECT_NEAR(plate["boundingBox"].toObject()["height"].toDouble(), 40.0 / 1080, 1e-6);
    EXPECT_EQ(objects[1]["items"].toArray()[0].toObject()["trackId"], plate["trackId"]); // the same car

    const auto bestShots = linesOfKind(run.lines, "bestShot");
    ASSERT_EQ(bestShots.size(), 1U);
    EXPECT_EQ(bestShots[0]["trackId"], plate["trackId"]);
    const QUrl imageUrl(bestShots[0]["imageUrl"].toString());
    EXPECT_EQ(imageUrl.path(), "/local/fflprapp/images/42.bmp");
    EXPECT_EQ(imageUrl.password(), kPassword);

    const auto searches = camera.requestsTo(FakeAxisCamera::kPlateSearchPath);
    ASSERT_EQ(searches.size(), 1U);
    EXPECT_EQ(searches[0].query, "timestampFrom=1714564800000");

    const auto leaks = linesOfKind(run.lines, "leakCheck");
    ASSERT_EQ(leaks.size(), 1U);
    EXPECT_EQ(leaks[0]["live"].toInt(), 0);

    // Everything the plugin logged at its most detailed level, and not one password.
    EXPECT_THAT(run.errors, HasSubstr("Emitting object:"));
    EXPECT_THAT(run.errors, Not(HasSubstr(kPassword)));
}

TEST(QuillwortThroughHost, CameraWithoutCatalogueGivesAnEmptyManifest)
{
    FakeAxisCamera camera;
    camera.setReply(FakeAxisCamera::kEventServicePath, vorn::testing::FakeHttpServer::Reply::withStatus(500));
    const ToolRun run = runHost(hostArguments(camera, {"motion_started.xml"}));
    EXPECT_EQ(run.exitCode, 0) << run.errors;
    const auto manifests = linesOfKind(run.lines, "deviceAgentManifest");
    ASSERT_EQ(manifests.size(), 1U);
    EXPECT_EQ(QJsonDocument(manifests[0]["manifest"].toObject()).toJson(QJsonDocument::Compact).toStdString(),
              R"({"eventTypes":[],"supportedTypes":[],"typeLibrary":{"objectTypes":[]}})");
    EXPECT_TRUE(linesOfKind(run.lines, "eventPacket").empty());
    EXPECT_THAT(run.errors, HasSubstr("Couldn't fetch notification types"));
}

} // namespace
