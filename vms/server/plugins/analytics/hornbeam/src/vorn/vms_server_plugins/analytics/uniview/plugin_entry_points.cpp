// hornbeam's plugin creation entry points: one plugin per row of the embedded branding list. The library
// context's own entry points (vornLibContext, vornSdkVersion, vornSetUnitTestOptions) come from the SDK
// helpers.

#include <optional>

#include <vorn/sdk/entry_points.h>

#include "branding.h"
#include "plugin.h"

namespace uniview = vorn::vms_server_plugins::analytics::uniview;

VORN_PLUGIN_API vorn::sdk::IPlugin* createVornPluginByIndex(int instanceIndex)
{
    // Nothing may throw into the server: a plugin that cannot be made is null, like an unknown index.
    try {
        std::optional<uniview::Branding> branding = uniview::embeddedBranding(instanceIndex);
        if (!branding)
            return nullptr;
        return new uniview::Plugin(branding->probe, std::move(branding->vendorPatterns),
                                   std::move(branding->pluginManifest));
    } catch (...) {
        return nullptr;
    }
}

VORN_PLUGIN_API vorn::sdk::IPlugin* createVornPlugin()
{
    return createVornPluginByIndex(0);
}
