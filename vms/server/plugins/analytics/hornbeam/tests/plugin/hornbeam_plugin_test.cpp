// hornbeam as the server sees it: the built plugin library loaded with the stand-in server's loader and
// host objects, and run by the vms_plugin_host tool against the fake Uniview camera. These tests hold
// none of hornbeam's objects but those the library hands out.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QStringList>

#include <gtest/gtest.h>

#include <fake_uniview_camera/fake_uniview_camera.h>
#include <vorn/sdk/analytics/i_engine.h>
#include <vorn/sdk/analytics/i_plugin.h>
#include <vorn/vms_server/device_description.h>
#include <vorn/vms_server/host_services.h>
#include <vorn/vms_server/plugin_library.h>
#include <vorn/vms_server/testing/loaded_plugin_library.h>
#include <vorn/vms_server/testing/plugin_host_run.h>

namespace {

using namespace vorn::sdk;
using vorn::sdk::analytics::IEngine;
using AnalyticsPlugin = vorn::sdk::analytics::IPlugin;
using vorn::testing::FakeHttpServer;
using vorn::testing::FakeUniviewCamera;
using vorn::vms_server::testing::linesOfKind;
using vorn::vms_server::testing::ToolRun;

const char* const kPluginIds[] = {"vorn.uniview", "vorn.hykon", "vorn.videosec"};

/** The built hornbeam library, loaded as the server does, with host services for its plugins. */
class HornbeamPlugin : public vorn::vms_server::testing::LoadedPluginLibrary
{
protected:
    HornbeamPlugin()
        : LoadedPluginLibrary(HORNBEAM_PLUGIN_PATH)
    {}

    // Beyond the base's checks: the library registered objects, and its registry went with it.
    void TearDown() override
    {
        LoadedPluginLibrary::TearDown();
        if (!m_library)
            return;
        EXPECT_TRUE(m_ledger->registryDeleted());
        EXPECT_GT(m_ledger->registrationCount(), 0);
    }

    Ptr<IEngine> engineOf(int index)
    {
        const auto plugin = createPlugin(index, m_hostServices.get());
        EXPECT_TRUE(plugin);
        if (!plugin)
            return nullptr;
        Result<IEngine*> result;
        plugin->obtainEngine(&result);
        EXPECT_TRUE(result.isOk());
        return toPtr(result.value); // The engine keeps its plugin.
    }

    const Ptr<vorn::vms_server::HostServices> m_hostServices = makePtr<vorn::vms_server::HostServices>();
};

Ptr<vorn::vms_server::DeviceDescription> describeCamera(std::string vendor, std::string url)
{
    return makePtr<vorn::vms_server::DeviceDescription>(
        vorn::vms_server::DeviceDescription::Fields{.vendor = std::move(vendor),
                                                    .model = "IPC3534",
                                                    .url = std::move(url),
                                                    .login = "admin",
                                                    .password = "s3cret"});
}

TEST_F(HornbeamPlugin, OffersThreePluginsInIndexOrder)
{
    ASSERT_TRUE(m_library->hasCreatePluginByIndex());
    EXPECT_EQ(m_library->sdkVersion(), "5.1.4 R1");
    for (int index = 0; index < 3; ++index) {
        SCOPED_TRACE(index);
        const auto plugin = queryInterface<AnalyticsPlugin>(m_library->createPlugin(index));
        ASSERT_TRUE(plugin);
        Result<const IString*> manifest;
        plugin->getManifest(&manifest);
        const Ptr<const IString> text = toPtr(manifest.value);
        ASSERT_TRUE(text);
        EXPECT_EQ(QJsonDocument::fromJson(text->text()).object()["id"].toString(), kPluginIds[index]);
    }
    EXPECT_FALSE(m_library->createPlugin(3));
}

TEST_F(HornbeamPlugin, AcceptsCamerasOfItsBrandings)
{
    FakeUniviewCamera camera;
    const struct
    {
        int index;
        const char* vendor;
        bool expected;
        std::size_t requests; //< probe requests the answer took
    } rows[] = {
        {0, "UNV", true, 0},      {0, "Uniview", true, 0},  {0, "HYKON", false, 0},   {1, "HYKON", true, 1},
        {1, "Uniview", false, 0}, {2, "Videosec", true, 1}, {2, "videosec", true, 1}, {2, "Acme", false, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.index) + " " + row.vendor);
        const std::size_t before = camera.requests().size();
        const Ptr<IEngine> engine = engineOf(row.index);
        ASSERT_TRUE(engine);
        EXPECT_EQ(engine->supportsDevice(describeCamera(row.vendor, camera.url()).get()), row.expected);
        EXPECT_EQ(camera.requests().size() - before, row.requests);
    }
}

#ifdef LARKSPUR_PLUGIN_PATH
// Both libraries embed their manifests as Qt resources in the one resource tree of the server's Qt, and
// both export the same entry points: each must still answer with its own.
TEST_F(HornbeamPlugin, KeepsToItsOwnBesideAnotherPluginLibrary)
{
    std::string error;
    const auto otherLedger = std::make_shared<vorn::vms_server::RegistryLedger>();
    auto larkspur = vorn::vms_server::PluginLibrary::load(LARKSPUR_PLUGIN_PATH, otherLedger, &error);
    ASSERT_TRUE(larkspur) << error;
    {
        const Ptr<IEngine> engine = engineOf(0);
        ASSERT_TRUE(engine);
        Result<const IString*> manifest;
        engine->getManifest(&manifest);
        const Ptr<const IString> text = toPtr(manifest.value);
        ASSERT_TRUE(text);
        const QJsonObject json = QJsonDocument::fromJson(text->text()).object();
        EXPECT_EQ(json["eventTypes"].toArray()[0].toObject()["id"].toString(), "vorn.uniview.Motion");

        const auto other = queryInterface<AnalyticsPlugin>(larkspur->createPlugin(0));
        ASSERT_TRUE(other);
        Result<const IString*> otherManifest;
        other->getManifest(&otherManifest);
        const Ptr<const IString> otherText = toPtr(otherManifest.value);
        ASSERT_TRUE(otherText);
        EXPECT_NE(QJsonDocument::fromJson(otherText->text()).object()["id"].toString(), kPluginIds[0]);
    }
    EXPECT_EQ(larkspur->unload(), "");
    EXPECT_TRUE(otherLedger->isClean()) << otherLedger->report();

    // hornbeam's resources outlive the other library's unloading.
    const Ptr<IEngine> engine = engineOf(1);
    ASSERT_TRUE(engine);
    Result<const IString*> manifest;
    engine->getManifest(&manifest);
    const Ptr<const IString> text = toPtr(manifest.value);
    ASSERT_TRUE(text);
    EXPECT_EQ(QJsonDocument::fromJson(text->text()).object()["eventTypes"].toArray().size(), 22);
}
#endif

ToolRun runHost(const QStringList& arguments)
{
    return vorn::vms_server::testing::runPluginHost(VMS_PLUGIN_HOST_PATH, HORNBEAM_PLUGIN_PATH, arguments);
}

TEST(HornbeamHost, ListsThePluginsInIndexOrder)
{
    const ToolRun run = runHost({"--list"});
    EXPECT_EQ(run.exitCode, 0) << run.errors.toStdString();
    const auto plugins = linesOfKind(run.lines, "pluginManifest");
    const auto engines = linesOfKind(run.lines, "engineManifest");
    ASSERT_EQ(plugins.size(), 3U);
    ASSERT_EQ(engines.size(), 3U);
    for (int index = 0; index < 3; ++index) {
        SCOPED_TRACE(index);
        EXPECT_EQ(plugins[index]["index"].toInt(), index);
        EXPECT_EQ(plugins[index]["manifest"].toObject()["id"].toString(), kPluginIds[index]);
        EXPECT_EQ(engines[index]["manifest"].toObject()["eventTypes"].toArray().size(), 22);
    }
    ASSERT_EQ(linesOfKind(run.lines, "leakCheck").size(), 1U);
    EXPECT_EQ(linesOfKind(run.lines, "leakCheck")[0]["live"].toInt(), 0);
}

// The compatibility check of the server, on a camera whose probe answer the row sets.
TEST(HornbeamHost, DecidesCompatibilityByVendorAndProbeAnswer)
{
    using Reply = FakeHttpServer::Reply;
    const struct
    {
        const char* name;
        int index;
        const char* vendor;
        std::optional<Reply> probeReply; //< none: the camera's own clock reply
        bool supported;
        std::size_t requests;
    } rows[] = {
        {"Uniview without a request", 0, "UNV", std::nullopt, true, 0},
        {"HYKON with a LAPI reply", 1, "HYKON", std::nullopt, true, 1},
        {"Videosec with a LAPI reply", 2, "Videosec", std::nullopt, true, 1},
        {"Response a text", 1, "HYKON", Reply::ok(R"({"Response": "Succeed"})"), false, 1},
        {"Response a number", 2, "Videosec", Reply::ok(R"({"Response": 0})"), false, 1},
        {"Response an array", 1, "HYKON", Reply::ok(R"({"Response": []})"), false, 1},
        {"not JSON", 2, "Videosec", Reply::withStatus(404, "<html>Not Found</html>", "text/html"), false, 1},
        {"silence", 1, "HYKON", Reply::silent(), false, 1},
        {"a vendor outside the patterns", 1, "Acme", std::nullopt, false, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        FakeUniviewCamera camera;
        if (row.probeReply)
            camera.setLapiReply("GET", "System/Time", *row.probeReply);

        // A supported camera gets a device agent, which asks for its capabilities; the run ends at once.
        const ToolRun run = runHost({"--index", QString::number(row.index), "--vendor", row.vendor, "--url",
                                     QString::fromStdString(camera.url()), "--login", "admin", "--password", "s3cret",
                                     "--run-for", "0"});

        const auto supports = linesOfKind(run.lines, "supportsDevice");
        ASSERT_EQ(supports.size(), 1U) << run.errors.toStdString();
        EXPECT_EQ(supports[0]["result"].toBool(), row.supported);
        std::size_t probes = 0;
        for (const auto& request : camera.requests()) {
            if (request.target != "/LAPI/V1.0/System/Time") {
                EXPECT_TRUE(row.supported) << request.target;
                continue;
            }
            ++probes;
            EXPECT_FALSE(request.header("Authorization"));
        }
        EXPECT_EQ(probes, row.requests);
        ASSERT_EQ(linesOfKind(run.lines, "leakCheck").size(), 1U);
        EXPECT_EQ(linesOfKind(run.lines, "leakCheck")[0]["live"].toInt(), 0);
        if (!row.supported) {
            EXPECT_EQ(run.exitCode, 0) << run.errors.toStdString();
        }
    }
}

} // namespace
