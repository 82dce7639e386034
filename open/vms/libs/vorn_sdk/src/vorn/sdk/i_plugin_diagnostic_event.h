// A plugin's report on the state of its work, shown to the user by the server.
#pragma once

#include <cstdint>

#include <vorn/sdk/interface.h>

namespace vorn::sdk {

class IPluginDiagnosticEvent : public Interface<IPluginDiagnosticEvent>
{
public:
    static constexpr InterfaceIds kInterfaceIds{"vorn::sdk::IPluginDiagnosticEvent",
                                                "vorn::sdk::IIntegrationDiagnosticEvent"};

    enum class Level : int32_t {
        info = 0,
        warning = 1,
        error = 2,
    };

    virtual Level level() const = 0;
    virtual const char* caption() const = 0;
    virtual const char* description() const = 0;
};

} // namespace vorn::sdk
