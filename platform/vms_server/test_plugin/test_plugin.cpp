#include "test_plugin.h"

#include <vorn/sdk/entry_points.h>
#include <vorn/sdk/helpers/error.h>

#include "test_engine.h"

namespace vorn::vms_server::test_plugin {

TestPlugin::TestPlugin(int index)
    : m_index(index)
{}

sdk::Result<sdk::analytics::IEngine*> TestPlugin::doObtainEngine()
{
    if (m_index == kPluginWithoutEngine)
        return sdk::error(sdk::ErrorCode::generalFailure, "This plugin has no engine");
    return static_cast<sdk::analytics::IEngine*>(new TestEngine(this));
}

std::string TestPlugin::manifestString() const
{
    const std::string index = std::to_string(m_index);
    return R"({"id":"vorn.hostTest.)" + index + R"(","name":"Host test plugin )" + index +
           R"(","description":"Proves the server's plugin path","version":"1.0.0","vendor":"Vorn"})";
}

} // namespace vorn::vms_server::test_plugin

using vorn::vms_server::test_plugin::TestPlugin;

#if defined(VMS_HOST_TEST_PLUGIN_SINGLE)

VORN_PLUGIN_API vorn::sdk::IPlugin* createVornPlugin()
{
    return new TestPlugin(0);
}

#else

VORN_PLUGIN_API vorn::sdk::IPlugin* createVornPluginByIndex(int instanceIndex)
{
    if (instanceIndex < 0 || instanceIndex >= TestPlugin::kPluginCount)
        return nullptr;
    return new TestPlugin(instanceIndex);
}

#endif
