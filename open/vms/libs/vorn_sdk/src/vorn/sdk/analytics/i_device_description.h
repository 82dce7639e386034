// IDeviceDescription: the server's description of one camera. Texts are UTF-8 and owned by the
// server's object; a server may hand out null texts, which plugins treat as empty.
#pragma once

#include <cstdint>

#include <vorn/sdk/interface.h>

namespace vorn::sdk::analytics {

class IDeviceDescription : public Interface<IDeviceDescription>
{
public:
    static constexpr InterfaceIds kInterfaceIds{"vorn::sdk::analytics::IDeviceDescription"};

    virtual const char* id() const = 0; //< The server's id of the device; for log tags only.
    virtual const char* vendor() const = 0;
    virtual const char* model() const = 0;
    virtual const char* name() const = 0; //< The device's name as the user sees it; for log tags only.
    virtual const char* url() const = 0;
    virtual const char* login() const = 0;
    virtual const char* password() const = 0;
    virtual int32_t channel() const = 0; //< 0 for the first channel.
};

} // namespace vorn::sdk::analytics
