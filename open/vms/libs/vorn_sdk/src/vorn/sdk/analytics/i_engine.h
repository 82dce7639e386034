// Engines: one per plugin request; an engine answers whether a camera is its own and makes one
// device agent per camera. IEngine0 keeps the old layout and answers the plain id; IEngine adds a
// slot and answers "...IEngine1". Reserved operations do nothing; the host may call them.
#pragma once

#include <vorn/sdk/analytics/i_device_agent.h>
#include <vorn/sdk/analytics/i_device_description.h>
#include <vorn/sdk/i_string.h>
#include <vorn/sdk/result.h>

namespace vorn::sdk::analytics {

class IEngine0 : public Interface<IEngine0>
{
public:
    static constexpr InterfaceIds kInterfaceIds{"vorn::sdk::analytics::IEngine"};

    virtual void reservedEngineOperation0() {}
    virtual void reservedEngineOperation1() {}
    virtual void reservedEngineOperation2() {}
    virtual void getManifest(Result<const IString*>* outResult) const = 0;
    virtual bool supportsDevice(const IDeviceDescription* deviceDescription) const = 0;
    virtual void createDeviceAgent(Result<IDeviceAgent*>* outResult, const IDeviceDescription* deviceDescription) = 0;
    virtual void reservedEngineOperation3() {}
    virtual void reservedEngineOperation4() {}
};

class IEngine : public Interface<IEngine, IEngine0>
{
public:
    static constexpr InterfaceIds kInterfaceIds{"vorn::sdk::analytics::IEngine1"};

    virtual void reservedEngineOperation5() {}
};

} // namespace vorn::sdk::analytics
