// LoadedPluginLibrary: the GoogleTest fixture of a plugin's end-to-end tests. It loads the built plugin
// library the way the server does, and its tear-down unloads the library and checks that no object of the
// library is left, so a test releases all it got from the library before it ends:
//
//     class LoadedHornbeam : public vorn::vms_server::testing::LoadedPluginLibrary
//     {
//     protected:
//         LoadedHornbeam() : LoadedPluginLibrary(HORNBEAM_PLUGIN_PATH) {}
//     };
//     TEST_F(LoadedHornbeam, Works) { const auto plugin = createPlugin(0, hostServices.get()); ... }
//
// Header only: it is for test programs, which link GoogleTest; the server library itself does not.
#pragma once

#include <memory>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include <vorn/sdk/analytics/i_plugin.h>
#include <vorn/sdk/i_host_services.h>
#include <vorn/sdk/ptr.h>
#include <vorn/vms_server/plugin_library.h>
#include <vorn/vms_server/registry_ledger.h>

namespace vorn::vms_server::testing {

class LoadedPluginLibrary : public ::testing::Test
{
protected:
    explicit LoadedPluginLibrary(std::string path)
        : m_path(std::move(path))
    {}

    void SetUp() override
    {
        std::string error;
        m_library = PluginLibrary::load(m_path, m_ledger, &error);
        ASSERT_TRUE(m_library) << error;
    }

    void TearDown() override
    {
        if (!m_library)
            return;
        EXPECT_EQ(m_library->unload(), "");
        EXPECT_TRUE(m_ledger->isClean()) << m_ledger->report();
    }

    /** The library's analytics plugin at index with the host services attached; null where there is none. */
    sdk::Ptr<sdk::analytics::IPlugin> createPlugin(int index, sdk::IHostServices* hostServices) const
    {
        const auto plugin = sdk::queryInterface<sdk::analytics::IPlugin>(m_library->createPlugin(index));
        if (plugin)
            plugin->attachHostServices(hostServices);
        return plugin;
    }

    const std::shared_ptr<RegistryLedger> m_ledger = std::make_shared<RegistryLedger>();
    std::unique_ptr<PluginLibrary> m_library;

private:
    const std::string m_path;
};

} // namespace vorn::vms_server::testing
