// IPlugin: the object a plugin library's creation entry point hands to the server.
#pragma once

#include <vorn/sdk/i_host_services.h>
#include <vorn/sdk/interface.h>

namespace vorn::sdk {

class IPlugin : public Interface<IPlugin>
{
public:
    static constexpr InterfaceIds kInterfaceIds{"vorn::sdk::IPlugin", "vorn::sdk::IIntegration"};

    /** The plugin keeps its own reference to the host services; null clears them. */
    virtual void attachHostServices(IHostServices* hostServices) = 0;
};

} // namespace vorn::sdk
