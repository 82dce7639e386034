#include <gtest/gtest.h>

#include <memory>
#include <string>

#include <vorn/sdk/analytics/i_plugin.h>
#include <vorn/vms_server/host_services.h>
#include <vorn/vms_server/plugin_library.h>

namespace vorn::vms_server {
namespace {

std::unique_ptr<PluginLibrary> load(const std::string& path, std::string* error)
{
    return PluginLibrary::load(path, std::make_shared<RegistryLedger>(), error);
}

TEST(PluginLibrary, LoadFailuresSayWhy)
{
    struct Row
    {
        const char* name;
        std::string path;
        std::vector<std::string> expectedParts;
    };
    const Row rows[] = {
        {"missing file",
         "/nonexistent/libnothing.so",
         {"Cannot load plugin library /nonexistent/libnothing.so", "No such file or directory"}},
        {"not a shared library", __FILE__, {"Cannot load plugin library", "plugin_library_test.cpp"}},
        {"library without entry points", VMS_HOST_NOT_A_PLUGIN_PATH, {"has no entry point vornLibContext"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::string error;
        EXPECT_EQ(load(row.path, &error), nullptr);
        for (const auto& part : row.expectedParts)
            EXPECT_NE(error.find(part), std::string::npos) << error;
    }
}

TEST(PluginLibrary, LoadsNamesAndAccountsForEveryObject)
{
    auto ledger = std::make_shared<RegistryLedger>();
    std::string error;
    auto library = PluginLibrary::load(VMS_HOST_TEST_PLUGIN_PATH, ledger, &error);
    ASSERT_NE(library, nullptr) << error;
    EXPECT_EQ(library->contextName(), "vms_host_test_plugin");
    EXPECT_EQ(library->sdkVersion(), "5.1.4 R1");
    EXPECT_TRUE(library->hasCreatePluginByIndex());

    {
        // One library context per library: a second load would give the new ledger nothing to see.
        std::string secondError;
        EXPECT_EQ(load(VMS_HOST_TEST_PLUGIN_PATH, &secondError), nullptr);
        EXPECT_NE(secondError.find("already loaded"), std::string::npos) << secondError;
    }

    {
        auto first = library->createPlugin(0);
        auto second = library->createPlugin(1);
        EXPECT_TRUE(first);
        EXPECT_TRUE(second);
        EXPECT_FALSE(library->createPlugin(2));
        EXPECT_FALSE(library->createPlugin(-1));
        EXPECT_EQ(ledger->liveCount(), 2);

        auto plugin = sdk::queryInterface<sdk::analytics::IPlugin>(first);
        ASSERT_TRUE(plugin);
        plugin->attachHostServices(sdk::makePtr<HostServices>().get());
        sdk::Result<sdk::analytics::IEngine*> engine;
        plugin->obtainEngine(&engine);
        ASSERT_TRUE(engine.isOk());
        EXPECT_EQ(ledger->liveCount(), 3);
        engine.value->release();
    }
    EXPECT_TRUE(ledger->isClean()) << ledger->report();
    EXPECT_EQ(library->unload(), "");
    EXPECT_TRUE(ledger->registryDeleted()) << "the library context deletes the registry at unload";
    EXPECT_TRUE(ledger->isClean()) << ledger->report();

    // Unloaded for good: it loads afresh.
    auto again = load(VMS_HOST_TEST_PLUGIN_PATH, &error);
    EXPECT_NE(again, nullptr) << error;
}

TEST(PluginLibrary, SinglePluginLibraryOffersIndexZeroOnly)
{
    auto ledger = std::make_shared<RegistryLedger>();
    std::string error;
    auto library = PluginLibrary::load(VMS_HOST_SINGLE_TEST_PLUGIN_PATH, ledger, &error, "single");
    ASSERT_NE(library, nullptr) << error;
    EXPECT_EQ(library->contextName(), "single");
    EXPECT_FALSE(library->hasCreatePluginByIndex());
    EXPECT_TRUE(library->createPlugin(0));
    EXPECT_FALSE(library->createPlugin(1));
    EXPECT_TRUE(ledger->isClean()) << ledger->report();
}

} // namespace
} // namespace vorn::vms_server
