#include <string>

#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>

#include <gtest/gtest.h>

#include <fake_uniview_camera/fake_uniview_camera.h>
#include <vorn/sdk/analytics/i_plugin.h>
#include <vorn/sdk/entry_points.h>
#include <vorn/vms_server_plugins/analytics/uniview/engine.h>
#include <vorn/vms_server_plugins/analytics/uniview/plugin.h>

#include "hornbeam_test_support.h"

extern "C" vorn::sdk::IPlugin* createVornPluginByIndex(int instanceIndex);
extern "C" vorn::sdk::IPlugin* createVornPlugin();

namespace vorn::vms_server_plugins::analytics::uniview {
namespace {

using namespace vorn::sdk;
using vorn::testing::FakeUniviewCamera;

std::string manifestId(vorn::sdk::analytics::IPlugin& plugin)
{
    Result<const IString*> result;
    plugin.getManifest(&result);
    EXPECT_TRUE(result.isOk());
    const Ptr<const IString> text = toPtr(result.value);
    return text ? QJsonDocument::fromJson(text->text()).object()["id"].toString().toStdString() : std::string();
}

Ptr<vorn::sdk::analytics::IPlugin> pluginAt(int index)
{
    return queryInterface<vorn::sdk::analytics::IPlugin>(toPtr(createVornPluginByIndex(index)));
}

TEST(UniviewPluginEntryPoints, MakeANewPluginOfARowOnEveryCall)
{
    const char* const ids[] = {"vorn.uniview", "vorn.hykon", "vorn.videosec"};
    for (int index = 0; index < 3; ++index) {
        SCOPED_TRACE(index);
        const Ptr<vorn::sdk::analytics::IPlugin> plugin = pluginAt(index);
        ASSERT_TRUE(plugin);
        EXPECT_EQ(manifestId(*plugin), ids[index]);
        EXPECT_NE(pluginAt(index), plugin);
    }
    EXPECT_FALSE(toPtr(createVornPluginByIndex(-1)));
    EXPECT_FALSE(toPtr(createVornPluginByIndex(3)));

    const auto first = queryInterface<vorn::sdk::analytics::IPlugin>(toPtr(createVornPlugin()));
    ASSERT_TRUE(first);
    EXPECT_EQ(manifestId(*first), "vorn.uniview");
}

TEST(UniviewPlugin, MakesANewEngineOnEveryRequest)
{
    hornbeam_test::PluginWithClock host(hornbeam_test::kHykonIndex);
    EXPECT_TRUE(host.plugin->probe());
    Result<vorn::sdk::analytics::IEngine*> first;
    Result<vorn::sdk::analytics::IEngine*> second;
    host.plugin->obtainEngine(&first);
    host.plugin->obtainEngine(&second);
    const Ptr<vorn::sdk::analytics::IEngine> firstEngine = toPtr(first.value);
    const Ptr<vorn::sdk::analytics::IEngine> secondEngine = toPtr(second.value);
    ASSERT_TRUE(first.isOk());
    ASSERT_TRUE(firstEngine);
    EXPECT_NE(firstEngine, secondEngine);
}

// The server may release the plugin before its engines; the engine holds the plugin's vendor patterns,
// probe flag and host services for as long as it lives.
TEST(UniviewPlugin, AnEngineOutlivesItsPluginsLastServerReference)
{
    FakeUniviewCamera camera;
    Ptr<Engine> engine;
    {
        hornbeam_test::PluginWithClock host(hornbeam_test::kHykonIndex, 1234);
        engine = makePtr<Engine>(host.plugin.get());
    } // The test's references to plugin and host services are gone.

    EXPECT_EQ(engine->serverTimeMs(), 1234);
    EXPECT_TRUE(engine->supportsDevice(hornbeam_test::describeCamera("HYKON", camera.url()).get()));
    EXPECT_FALSE(engine->supportsDevice(hornbeam_test::describeCamera("Uniview", camera.url()).get()));
    EXPECT_EQ(camera.requests().size(), 1U);
}

} // namespace
} // namespace vorn::vms_server_plugins::analytics::uniview
