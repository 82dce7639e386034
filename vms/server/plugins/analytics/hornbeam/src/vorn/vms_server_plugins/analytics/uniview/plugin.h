// uniview::Plugin: the analytics plugin of one branding of hornbeam (Uniview, HYKON, Videosec). It
// answers its branding's plugin manifest, makes a new engine for every request, and lends its engines
// the branding's vendor patterns, its probe flag and the host services that the server attached.
//
//     Ptr<Plugin> plugin = makePtr<Plugin>(branding.probe, branding.vendorPatterns, branding.pluginManifest);
//     plugin->attachHostServices(hostServices);           // the server does this before any engine
//     plugin->obtainEngine(&result);                      // a new uniview::Engine each time
//
// Rules:
// - Nothing changes after construction but the host services (guarded by the base), so any thread may
//   call any member.
// - No exception leaves getManifest() or obtainEngine(): they answer an error instead (exception.h).
// - Each engine holds a reference to its plugin, so the server may release plugin and engines in any
//   order.
#pragma once

#include <set>
#include <string>
#include <string_view>

#include <vorn/sdk/analytics/helpers/plugin.h>

namespace vorn::vms_server_plugins::analytics::uniview {

class Plugin : public vorn::sdk::analytics::Plugin
{
public:
    Plugin(bool probe, std::set<std::string> vendorPatterns, std::string pluginManifest);

    /** A new String with the branding's plugin manifest. */
    void getManifest(vorn::sdk::Result<const vorn::sdk::IString*>* outResult) const override;

    /** A new uniview::Engine made with this plugin. */
    void obtainEngine(vorn::sdk::Result<vorn::sdk::analytics::IEngine*>* outResult) override;

    /** Whether an engine must confirm a camera with the probe request. */
    bool probe() const { return m_probe; }

    /** Whether the camera vendor text matches one of the branding's patterns, ignoring case. */
    bool isVendorSupported(std::string_view vendor) const;

private:
    const bool m_probe;
    const std::set<std::string> m_vendorPatterns;
    const std::string m_pluginManifest;
};

} // namespace vorn::vms_server_plugins::analytics::uniview
