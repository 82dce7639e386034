// Services that the server offers every plugin.
#pragma once

#include <cstdint>

#include <vorn/sdk/interface.h>

namespace vorn::sdk {

class IHostServices : public Interface<IHostServices>
{
public:
    static constexpr InterfaceIds kInterfaceIds{"vorn::sdk::IHostServices"};

    /** The server's clock in milliseconds since the epoch. */
    virtual int64_t serverTimeMs() const = 0;
};

} // namespace vorn::sdk
