#include "uniview_agent.h"

#include <cstdlib>
#include <string>
#include <vector>

#include <QtCore/QtGlobal>

#include <vorn/sdk/ptr.h>
#include <vorn/vms_server/device_description.h>
#include <vorn/vms_server/host_services.h>
#include <vorn/vms_server/metadata_type_selection.h>
#include <vorn/vms_server_plugins/analytics/uniview/branding.h>
#include <vorn/vms_server_plugins/analytics/uniview/engine.h>
#include <vorn/vms_server_plugins/analytics/uniview/plugin.h>

// The fuzzers link an instrumented static copy of the plugin's code, from which the linker takes only
// the objects something names: name the resource initialiser, or the embedded branding list and
// manifest are missing.
static void loadUniviewResources()
{
    Q_INIT_RESOURCE(uniview);
}

namespace vorn::fuzz {

namespace uniview = vorn::vms_server_plugins::analytics::uniview;

UniviewAgent& univiewAgent()
{
    static UniviewAgent instance = [] {
        loadUniviewResources();
        const auto branding = uniview::embeddedBranding(0);
        if (!branding)
            std::abort();
        auto* plugin = new uniview::Plugin(branding->probe, branding->vendorPatterns, branding->pluginManifest);
        auto* hostServices = new vorn::vms_server::HostServices();
        hostServices->setServerTimeMs(1'700'000'000'000);
        plugin->attachHostServices(hostServices);
        auto* engine = new uniview::Engine(plugin);
        const auto description =
            vorn::sdk::makePtr<vorn::vms_server::DeviceDescription>(vorn::vms_server::DeviceDescription::Fields{
                .vendor = "Uniview", .model = "", .url = "http://127.0.0.1:9/", .login = "", .password = ""});
        auto* agent = new uniview::DeviceAgent(engine, description.get());
        // The receiver decides nothing: it only has to take what it is given.
        auto* receiver =
            new vorn::vms_server::MetadataReceiver({}, vorn::vms_server::MetadataReceiver::Retention::listenerOnly);
        agent->attachReceiver(receiver);
        std::vector<std::string> eventTypes;
        for (const auto& eventType : engine->engineManifest().eventTypes)
            eventTypes.push_back(eventType.id.toStdString());
        // The needed types are set directly from a selection; the subscription attempt that follows fails at
        // once against the refusing camera and leaves a retry timer, which the fuzz runs never reach.
        const auto selection =
            vorn::sdk::makePtr<vorn::vms_server::MetadataTypeSelection>(eventTypes, std::vector<std::string>());
        vorn::sdk::Result<void> result;
        agent->selectMetadataTypes(&result, selection.get());
        return UniviewAgent{agent, receiver};
    }();
    return instance;
}

} // namespace vorn::fuzz
