// TestPlugin: the plugin of the host's test library, built on the SDK's plugin base as every plugin
// library is. It exists to prove the server's path end to end: loading, listing, engine failures,
// device runs, metadata delivery and the release of every object.
//
// The library offers two plugins through createVornPluginByIndex: index 0 makes working engines,
// index 1 refuses to make an engine (error -100). Built with VMS_HOST_TEST_PLUGIN_SINGLE it offers
// only plugin 0, through createVornPlugin.
#pragma once

#include <string>

#include <vorn/sdk/analytics/helpers/plugin.h>

namespace vorn::vms_server::test_plugin {

class TestPlugin : public sdk::analytics::Plugin
{
public:
    static constexpr int kPluginCount = 2;
    static constexpr int kPluginWithoutEngine = 1;

    explicit TestPlugin(int index);

protected:
    sdk::Result<sdk::analytics::IEngine*> doObtainEngine() override;
    std::string manifestString() const override;

private:
    const int m_index;
};

} // namespace vorn::vms_server::test_plugin
