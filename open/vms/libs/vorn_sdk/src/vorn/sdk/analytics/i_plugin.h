// analytics::IPlugin: an analytics plugin answers its manifest and makes engines.
#pragma once

#include <vorn/sdk/analytics/i_engine.h>
#include <vorn/sdk/i_plugin.h>
#include <vorn/sdk/i_string.h>
#include <vorn/sdk/result.h>

namespace vorn::sdk::analytics {

class IPlugin : public Interface<IPlugin, vorn::sdk::IPlugin>
{
public:
    static constexpr InterfaceIds kInterfaceIds{"vorn::sdk::analytics::IPlugin", "vorn::sdk::analytics::IIntegration"};

    virtual void getManifest(Result<const IString*>* outResult) const = 0;
    virtual void obtainEngine(Result<IEngine*>* outResult) = 0;
};

} // namespace vorn::sdk::analytics
