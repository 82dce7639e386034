// larkspur's plugin creation entry points: one plugin per row of the brand table. The library
// context's own entry points (vornLibContext, vornSdkVersion, vornSetUnitTestOptions) come from the
// SDK helpers.

#include <string>

#include <vorn/fusion/serialization/json.h>
#include <vorn/sdk/analytics/helpers/plugin.h>
#include <vorn/sdk/entry_points.h>

#include "brand_table.h"
#include "engine.h"

namespace zodivadad = vorn::vms_server_plugins::analytics::zodivadad;

VORN_PLUGIN_API vorn::sdk::IPlugin* createVornPluginByIndex(int instanceIndex)
{
    const auto& brands = zodivadad::brandTable();
    if (instanceIndex < 0 || instanceIndex >= static_cast<int>(brands.size()))
        return nullptr;
    const zodivadad::Brand& brand = brands[static_cast<std::size_t>(instanceIndex)];

    // Each engine the factory makes loads the brand's engine manifest; the factory keeps its own copy
    // of the name.
    auto createEngine = [engineManifestName = brand.engineManifestName](
                            vorn::sdk::analytics::Plugin* plugin) -> vorn::sdk::analytics::IEngine* {
        return new zodivadad::Engine(plugin, engineManifestName);
    };

    const QByteArray manifest = QJson::serialized(brand.pluginManifest);
    return new vorn::sdk::analytics::Plugin(std::string(manifest.constData()), std::move(createEngine));
}

VORN_PLUGIN_API vorn::sdk::IPlugin* createVornPlugin()
{
    return createVornPluginByIndex(0);
}
