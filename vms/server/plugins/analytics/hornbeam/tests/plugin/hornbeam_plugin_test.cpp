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
#include <QtCore/QProcess>
#include <QtCore/QStringList>

#include <gtest/gtest.h>

#include <fake_uniview_camera/fake_uniview_camera.h>
#include <vorn/sdk/analytics/i_engine.h>
#include <vorn/sdk/analytics/i_plugin.h>
#include <vorn/vms_server/device_description.h>
#include <vorn/vms_server/host_services.h>
#include <vorn/vms_server/plugin_library.h>

namespace {

using namespace vorn::sdk;
using vorn::sdk::analytics::IEngine;
using AnalyticsPlugin = vorn::sdk::analytics::IPlugin;
using vorn::testing::FakeHttpServer;
using vorn::testing::FakeUniviewCamera;

const char* const kPluginIds[] = {"vorn.uniview", "vorn.hykon", "vorn.videosec"};

/**
 * Loads the built plugin library as the server does. The tear-down unloads it and checks that no object
 * of the library is left, so a test releases all it got from the library before it ends.
 */
class HornbeamPlugin : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string error;
        m_library = vorn::vms_server::PluginLibrary::load(HORNBEAM_PLUGIN_PATH, m_ledger, &error);
        ASSERT_TRUE(m_library) << error;
    }

    void TearDown() override
    {
        if (!m_library)
            return;
        EXPECT_EQ(m_library->unload(), "");
        EXPECT_TRUE(m_ledger->isClean()) << m_ledger->report();
        EXPECT_TRUE(m_ledger->registryDeleted());
        EXPECT_GT(m_ledger->registrationCount(), 0);
    }

    Ptr<IEngine> engineOf(int index)
    {
        const auto plugin = queryInterface<AnalyticsPlugin>(m_library->createPlugin(index));
        EXPECT_TRUE(plugin);
        if (!plugin)
            return nullptr;
        plugin->attachHostServices(m_hostServices.get());
        Result<IEngine*> result;
        plugin->obtainEngine(&result);
        EXPECT_TRUE(result.isOk());
        return toPtr(result.value); // The engine keeps its plugin.
    }

    const std::shared_ptr<vorn::vms_server::RegistryLedger> m_ledger =
        std::make_shared<vorn::vms_server::RegistryLedger>();
    const Ptr<vorn::vms_server::HostServices> m_hostServices = makePtr<vorn::vms_server::HostServices>();
    std::unique_ptr<vorn::vms_server::PluginLibrary> m_library;
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

/** How a vms_plugin_host run ended, and what it printed: its JSON lines in order, its error output. */
struct ToolRun
{
    int exitCode = -1;
    std::vector<QJsonObject> lines;
    QString errors;

    std::vector<QJsonObject> linesOfKind(const QString& kind) const
    {
        std::vector<QJsonObject> result;
        for (const QJsonObject& line : lines) {
            if (line["kind"] == kind)
                result.push_back(line);
        }
        return result;
    }
};

ToolRun runHost(const QStringList& arguments)
{
    QProcess process;
    process.start(VMS_PLUGIN_HOST_PATH, QStringList{HORNBEAM_PLUGIN_PATH} + arguments);
    ToolRun run;
    EXPECT_TRUE(process.waitForFinished(60'000)) << process.errorString().toStdString();
    run.exitCode = process.exitCode();
    run.errors = QString::fromUtf8(process.readAllStandardError());
    for (const QByteArray& line : process.readAllStandardOutput().split('\n')) {
        if (!line.trimmed().isEmpty())
            run.lines.push_back(QJsonDocument::fromJson(line).object());
    }
    return run;
}

TEST(HornbeamHost, ListsThePluginsInIndexOrder)
{
    const ToolRun run = runHost({"--list"});
    EXPECT_EQ(run.exitCode, 0) << run.errors.toStdString();
    const auto plugins = run.linesOfKind("pluginManifest");
    const auto engines = run.linesOfKind("engineManifest");
    ASSERT_EQ(plugins.size(), 3U);
    ASSERT_EQ(engines.size(), 3U);
    for (int index = 0; index < 3; ++index) {
        SCOPED_TRACE(index);
        EXPECT_EQ(plugins[index]["index"].toInt(), index);
        EXPECT_EQ(plugins[index]["manifest"].toObject()["id"].toString(), kPluginIds[index]);
        EXPECT_EQ(engines[index]["manifest"].toObject()["eventTypes"].toArray().size(), 22);
    }
    ASSERT_EQ(run.linesOfKind("leakCheck").size(), 1U);
    EXPECT_EQ(run.linesOfKind("leakCheck")[0]["live"].toInt(), 0);
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

        const ToolRun run = runHost({"--index", QString::number(row.index), "--vendor", row.vendor, "--url",
                                     QString::fromStdString(camera.url()), "--login", "admin", "--password", "s3cret"});

        const auto supports = run.linesOfKind("supportsDevice");
        ASSERT_EQ(supports.size(), 1U) << run.errors.toStdString();
        EXPECT_EQ(supports[0]["result"].toBool(), row.supported);
        EXPECT_EQ(camera.requests().size(), row.requests);
        for (const auto& request : camera.requests()) {
            EXPECT_EQ(request.target, "/LAPI/V1.0/System/Time");
            EXPECT_FALSE(request.header("Authorization"));
        }
        ASSERT_EQ(run.linesOfKind("leakCheck").size(), 1U);
        EXPECT_EQ(run.linesOfKind("leakCheck")[0]["live"].toInt(), 0);
        if (!row.supported) {
            EXPECT_EQ(run.exitCode, 0) << run.errors.toStdString();
        }
    }
}

} // namespace
