// Device agents: one per camera. The server attaches a metadata receiver, applies settings, selects
// the metadata types it needs and, for consuming agents, passes in the camera's stream packets.
// Older layouts keep digit suffixes; the current class answers the next id number.
#pragma once

#include <vorn/sdk/analytics/i_data_packet.h>
#include <vorn/sdk/analytics/i_metadata_receiver.h>
#include <vorn/sdk/analytics/i_metadata_type_selection.h>
#include <vorn/sdk/i_option_map.h>
#include <vorn/sdk/i_string.h>
#include <vorn/sdk/result.h>

namespace vorn::sdk::analytics {

class IDeviceAgent : public Interface<IDeviceAgent>
{
public:
    static constexpr InterfaceIds kInterfaceIds{"vorn::sdk::analytics::IDeviceAgent"};

    /** The value, when written, is a map of per-setting errors. */
    virtual void applySettings(Result<const IOptionMap*>* outResult, const IOptionMap* settings) = 0;
    virtual void reservedDeviceAgentOperation0() {}
    virtual void getManifest(Result<const IString*>* outResult) const = 0;
    /** The agent keeps its own reference to the receiver. */
    virtual void attachReceiver(IMetadataReceiver* receiver) = 0;
    virtual void selectMetadataTypes(Result<void>* outResult, const IMetadataTypeSelection* selection) = 0;
};

class IConsumingDeviceAgent0 : public Interface<IConsumingDeviceAgent0, IDeviceAgent>
{
public:
    static constexpr InterfaceIds kInterfaceIds{"vorn::sdk::analytics::IConsumingDeviceAgent"};

    virtual void consumeDataPacket(Result<void>* outResult, IDataPacket* dataPacket) = 0;
};

class IConsumingDeviceAgent1 : public Interface<IConsumingDeviceAgent1, IConsumingDeviceAgent0>
{
public:
    static constexpr InterfaceIds kInterfaceIds{"vorn::sdk::analytics::IConsumingDeviceAgent1"};

    virtual void reservedConsumingDeviceAgentOperation0() {}
};

class IConsumingDeviceAgent : public Interface<IConsumingDeviceAgent, IConsumingDeviceAgent1>
{
public:
    static constexpr InterfaceIds kInterfaceIds{"vorn::sdk::analytics::IConsumingDeviceAgent2"};

    virtual void reservedConsumingDeviceAgentOperation1() {}
};

} // namespace vorn::sdk::analytics
