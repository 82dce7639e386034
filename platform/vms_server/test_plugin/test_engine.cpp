#include "test_engine.h"

#include <cstring>

#include <vorn/log_support/log.h>
#include <vorn/sdk/helpers/string.h>

#include "test_device_agent.h"
#include "test_plugin.h"

namespace vorn::vms_server::test_plugin {

TestEngine::TestEngine(TestPlugin* plugin)
    : m_plugin(plugin)
{}

void TestEngine::getManifest(sdk::Result<const sdk::IString*>* outResult) const
{
    *outResult = sdk::Result<const sdk::IString*>(
        new sdk::String(R"({"capabilities":"needUncompressedVideoFrames_none","streamTypeFilter":"metadata"})"));
}

bool TestEngine::supportsDevice(const sdk::analytics::IDeviceDescription* deviceDescription) const
{
    const char* vendor = deviceDescription ? deviceDescription->vendor() : nullptr;
    return !vendor || std::strcmp(vendor, kUnsupportedVendor) != 0;
}

void TestEngine::createDeviceAgent(sdk::Result<sdk::analytics::IDeviceAgent*>* outResult,
                                   const sdk::analytics::IDeviceDescription* deviceDescription)
{
    // Level 5: shown only when the host passes a detailed log level on to the library.
    VN_LOG(5, this, "Creating a device agent for vendor %1", deviceDescription ? deviceDescription->vendor() : "");
    *outResult = sdk::Result<sdk::analytics::IDeviceAgent*>(new TestDeviceAgent(this));
}

int64_t TestEngine::serverTimeUs() const
{
    const auto hostServices = m_plugin->hostServices();
    return hostServices ? hostServices->serverTimeMs() * 1000 : 0;
}

} // namespace vorn::vms_server::test_plugin
