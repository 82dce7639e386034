// axis::Plugin: the one plugin of the quillwort library. It publishes the plugin manifest and makes a new
// engine on every request; everything else is the SDK plugin base's.
//
//     Ptr<IPlugin> plugin = toPtr(createVornPlugin());
//     plugin->obtainEngine(&result);      // a new axis::Engine each time
#pragma once

#include <string>

#include <vorn/sdk/analytics/helpers/plugin.h>

namespace vorn::vms_server_plugins::analytics::axis {

class Plugin : public vorn::sdk::analytics::Plugin
{
public:
    Plugin() = default;

    /** {"id":"vorn.axis","name":"Axis",...}, built anew on each call. */
    void getManifest(vorn::sdk::Result<const vorn::sdk::IString*>* outResult) const override;
    void obtainEngine(vorn::sdk::Result<vorn::sdk::analytics::IEngine*>* outResult) override;

    static std::string manifest();
};

} // namespace vorn::vms_server_plugins::analytics::axis
