// TestEngine: the engine of the host's test plugin. It takes every camera except those whose vendor is
// kUnsupportedVendor, and makes a TestDeviceAgent for each.
//
// Keeps a plain pointer to its plugin, which the server keeps alive as long as the engine; device
// agents read the server clock through it.
#pragma once

#include <cstdint>

#include <vorn/sdk/analytics/i_engine.h>
#include <vorn/sdk/helpers/ref_countable.h>

namespace vorn::vms_server::test_plugin {

class TestPlugin;

class TestEngine : public sdk::RefCountable<sdk::analytics::IEngine>
{
public:
    static constexpr const char* kUnsupportedVendor = "Unsupported";

    explicit TestEngine(TestPlugin* plugin);

    void getManifest(sdk::Result<const sdk::IString*>* outResult) const override;
    bool supportsDevice(const sdk::analytics::IDeviceDescription* deviceDescription) const override;
    void createDeviceAgent(sdk::Result<sdk::analytics::IDeviceAgent*>* outResult,
                           const sdk::analytics::IDeviceDescription* deviceDescription) override;

    /** The server clock in microseconds; 0 while the server has attached no host services. */
    int64_t serverTimeUs() const;

private:
    TestPlugin* const m_plugin;
};

} // namespace vorn::vms_server::test_plugin
