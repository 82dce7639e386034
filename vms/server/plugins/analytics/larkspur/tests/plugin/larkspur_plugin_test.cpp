// larkspur as the server sees it: the built plugin library loaded with the stand-in server's loader
// and host objects, and run by the vms_plugin_host tool.

#include <memory>
#include <string>
#include <vector>

#include <QtCore/QJsonArray>
#include <QtCore/QJsonObject>
#include <QtCore/QStringList>

#include <gtest/gtest.h>

#include <fake_zodivadad_camera/fake_zodivadad_camera.h>
#include <vorn/sdk/analytics/i_plugin.h>
#include <vorn/vms_server/custom_metadata_packet.h>
#include <vorn/vms_server/device_description.h>
#include <vorn/vms_server/host_services.h>
#include <vorn/vms_server/metadata_receiver.h>
#include <vorn/vms_server/option_map.h>

#include "larkspur_plugin_test_support.h"

namespace {

using namespace vorn::sdk;
using namespace larkspur_test;
using vorn::sdk::analytics::IConsumingDeviceAgent;
using vorn::sdk::analytics::IDeviceAgent;
using vorn::sdk::analytics::IEngine;
using AnalyticsPlugin = vorn::sdk::analytics::IPlugin;
using vorn::testing::FakeHttpServer;
using vorn::testing::FakeZodivadadCamera;

const QStringList kPluginIds{"vorn.zidezozi", "vorn.zodivadad", "vorn.only", "vorn.duzodoz", "vorn.zedir"};
const QStringList kVendorPatterns{"Zidezozi*", "Zodivadad*", "ZERU*", "Duzodoz*", "Zedir*"};

QJsonObject takeJson(Result<const IString*>* result)
{
    EXPECT_TRUE(result->isOk());
    const Ptr<const IString> message = toPtr(result->error.errorMessage);
    const Ptr<const IString> text = toPtr(result->value);
    return text ? QJsonDocument::fromJson(text->text()).object() : QJsonObject();
}

QStringList settingNames(const QJsonObject& manifest)
{
    QStringList names;
    for (const QJsonValue& item : manifest["deviceAgentSettingsModel"].toObject()["items"].toArray())
        names << item.toObject()["name"].toString();
    return names;
}

class LarkspurPlugin : public LoadedLarkspur
{
protected:
    // Beyond the base's checks: the library registered objects, and its registry went with it.
    void TearDown() override
    {
        LoadedLarkspur::TearDown();
        if (!m_library)
            return;
        EXPECT_TRUE(m_ledger->registryDeleted());
        EXPECT_GT(m_ledger->registrationCount(), 0);
    }
};

TEST_F(LarkspurPlugin, OffersOnePluginPerBrandInIndexOrder)
{
    ASSERT_TRUE(m_library->hasCreatePluginByIndex());
    EXPECT_EQ(m_library->sdkVersion(), "5.1.4 R1");
    const auto hostServices = makePtr<vorn::vms_server::HostServices>();
    for (int index = 0; index < kPluginIds.size(); ++index) {
        SCOPED_TRACE(index);
        const Ptr<AnalyticsPlugin> brand = createPlugin(index, hostServices.get());
        ASSERT_TRUE(brand);
        Result<const IString*> manifest;
        brand->getManifest(&manifest);
        EXPECT_EQ(takeJson(&manifest)["id"].toString(), kPluginIds[index]);

        const Ptr<IEngine> engine = obtainEngine(*brand);
        ASSERT_TRUE(engine);
        Result<const IString*> engineManifest;
        engine->getManifest(&engineManifest);
        const QJsonObject engineJson = takeJson(&engineManifest);
        EXPECT_EQ(engineJson["supportedCameraVendors"].toArray(), QJsonArray{kVendorPatterns[index]});
        EXPECT_EQ(engineJson["eventTypes"].toArray().size(), 17);
    }
    EXPECT_FALSE(m_library->createPlugin(kPluginIds.size()));
}

TEST_F(LarkspurPlugin, ServesAZodivadadCamera)
{
    for (const bool lprCamera : {false, true}) {
        SCOPED_TRACE(lprCamera ? "LPR" : "non-LPR");
        FakeZodivadadCamera camera;
        camera.setLprSupport(lprCamera);
        camera.requireAuth(FakeHttpServer::AuthScheme::digest, "admin", "s3cret");
        const auto hostServices = makePtr<vorn::vms_server::HostServices>();
        const Ptr<AnalyticsPlugin> zodivadad = createPlugin(1, hostServices.get());
        const Ptr<IEngine> engine = obtainEngine(*zodivadad);

        vorn::vms_server::DeviceDescription::Fields fields;
        fields.vendor = "Acme";
        fields.url = camera.url();
        EXPECT_FALSE(engine->supportsDevice(makePtr<vorn::vms_server::DeviceDescription>(fields).get()));
        EXPECT_EQ(camera.cgiRequests().size(), 0U);

        fields.vendor = "Zodivadad";
        fields.model = "ZV-IPC5000";
        fields.login = "admin";
        fields.password = "s3cret";
        const auto description = makePtr<vorn::vms_server::DeviceDescription>(fields);
        EXPECT_TRUE(engine->supportsDevice(description.get()));
        EXPECT_EQ(camera.cgiRequests().back().query, "action=get.system.information");

        Result<IDeviceAgent*> created;
        engine->createDeviceAgent(&created, description.get());
        ASSERT_TRUE(created.isOk());
        const auto agent = queryInterface<IConsumingDeviceAgent>(toPtr(created.value));
        ASSERT_TRUE(agent);

        Result<const IString*> manifestResult;
        agent->getManifest(&manifestResult);
        const QJsonObject manifest = takeJson(&manifestResult);
        EXPECT_EQ(settingNames(manifest), QStringList{lprCamera ? "LPR.Port" : "VCA.Port"});
        EXPECT_EQ(manifest["eventTypes"].toArray().size(), lprCamera ? 0 : 17);

        const auto receiver = makePtr<vorn::vms_server::MetadataReceiver>();
        agent->attachReceiver(receiver.get());
        Result<const IOptionMap*> settingsResult;
        agent->applySettings(&settingsResult,
                             makePtr<vorn::vms_server::OptionMap>(std::vector<std::pair<std::string, std::string>>{
                                                                      {"VCA.Port", "9000"}, {"LPR.Port", "4000"}})
                                 .get());
        EXPECT_TRUE(settingsResult.isOk());
        EXPECT_EQ(settingsResult.value, nullptr);

        EXPECT_TRUE(selectMetadataTypes(*agent, std::vector<std::string>{"vorn.zodivadad.Motion"},
                                        std::vector<std::string>{"vorn.zodivadad.Vehicle"}));

        Result<void> consumed;
        agent->consumeDataPacket(&consumed,
                                 makePtr<vorn::vms_server::CustomMetadataPacket>("Zodivadad", "not rtp", 1).get());
        EXPECT_TRUE(consumed.isOk());
        agent->attachReceiver(nullptr);
    }
}

TEST(LarkspurInPluginHost, ListsTheFiveBrandsInIndexOrder)
{
    const ToolRun run = runHost({"--list"});
    EXPECT_EQ(run.exitCode, 0) << run.errors.toStdString();

    QStringList ids;
    for (const QJsonObject& line : linesOfKind(run.lines, "pluginManifest"))
        ids << line["manifest"].toObject()["id"].toString();
    EXPECT_EQ(ids, kPluginIds);
    EXPECT_EQ(linesOfKind(run.lines, "engineManifest").size(), 5U);
    ASSERT_FALSE(run.lines.empty());
    EXPECT_EQ(run.lines.back()["kind"], "leakCheck");
    EXPECT_EQ(run.lines.back()["live"], 0);
}

TEST(LarkspurInPluginHost, PrintsTheNarrowedDeviceAgentManifestOfACamera)
{
    FakeZodivadadCamera camera;
    camera.requireAuth(FakeHttpServer::AuthScheme::basic, "admin", "s3cret");
    const ToolRun run =
        runHost(cameraArguments(camera.url()) +
                QStringList{"--setting", "VCA.Port=9000", "--events", "all", "--objects", "all", "--run-for", "0"});
    EXPECT_EQ(run.exitCode, 0) << run.errors.toStdString();

    const auto supports = linesOfKind(run.lines, "supportsDevice");
    ASSERT_EQ(supports.size(), 1U);
    EXPECT_EQ(supports[0]["result"], true);
    const auto manifests = linesOfKind(run.lines, "deviceAgentManifest");
    ASSERT_EQ(manifests.size(), 1U);
    const QJsonObject manifest = manifests[0]["manifest"].toObject();
    EXPECT_EQ(settingNames(manifest), QStringList{"VCA.Port"});
    EXPECT_EQ(manifest["eventTypes"].toArray().size(), 17);
    EXPECT_TRUE(linesOfKind(run.lines, "error").empty());
    ASSERT_FALSE(run.lines.empty());
    EXPECT_EQ(run.lines.back()["kind"], "leakCheck");
    EXPECT_EQ(run.lines.back()["live"], 0);
    EXPECT_FALSE(run.errors.contains("s3cret"));
}

} // namespace
