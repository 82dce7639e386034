#include "bench_device_agent.h"

#include <vorn/vms_server/device_description.h>
#include <vorn/vms_server/host_services.h>
#include <vorn/vms_server_plugins/analytics/uniview/branding.h>
#include <vorn/vms_server_plugins/analytics/uniview/engine.h>
#include <vorn/vms_server_plugins/analytics/uniview/plugin.h>

namespace vorn::bench {

namespace uniview = vorn::vms_server_plugins::analytics::uniview;

vorn::sdk::Ptr<uniview::DeviceAgent> makeBenchDeviceAgent()
{
    const auto branding = uniview::embeddedBranding(0);
    const auto plugin =
        vorn::sdk::makePtr<uniview::Plugin>(branding->probe, branding->vendorPatterns, branding->pluginManifest);
    const auto hostServices = vorn::sdk::makePtr<vorn::vms_server::HostServices>();
    plugin->attachHostServices(hostServices.get());
    const auto engine = vorn::sdk::makePtr<uniview::Engine>(plugin.get());
    const auto description =
        vorn::sdk::makePtr<vorn::vms_server::DeviceDescription>(vorn::vms_server::DeviceDescription::Fields{
            .vendor = "Uniview", .model = "", .url = "http://127.0.0.1:9/", .login = "", .password = ""});
    return vorn::sdk::makePtr<uniview::DeviceAgent>(engine.get(), description.get());
}

} // namespace vorn::bench
