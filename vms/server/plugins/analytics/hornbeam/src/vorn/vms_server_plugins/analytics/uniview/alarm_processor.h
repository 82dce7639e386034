// uniview::AlarmProcessor: turns one alarm that a Uniview camera pushes into one event metadata packet.
//
//     AlarmProcessor(deviceAgent).process(body);     // on the push receiver's I/O thread
//
// The alarm name ("AlarmInfo"."AlarmType") is looked up among the triggers of the engine manifest's event
// types; an event of a type that the server does not need is dropped. For a state-dependent type the first
// trigger starts the event and any other ends it. The packet carries the camera's "TimeStamp" (epoch
// seconds, bit 0 of the flags set) or, without a numeric one, the server's clock (bit 0 clear), and goes
// to the device agent's receiver; without a receiver it is dropped.
//
// Built on the stack for each push; keeps no state and takes no lock.
#pragma once

#include <cstdint>
#include <string_view>

#include <vorn/sdk/analytics/helpers/event_metadata_packet.h>
#include <vorn/sdk/ptr.h>

#include "event_type.h"

namespace vorn::vms_server_plugins::analytics::uniview {

class DeviceAgent;

class AlarmProcessor
{
public:
    explicit AlarmProcessor(DeviceAgent* deviceAgent);

    void process(std::string_view body);

    QString logTagSuffix() const;

private:
    vorn::sdk::Ptr<vorn::sdk::analytics::EventMetadataPacket> sendEvent(const EventType& eventType, int64_t timestampUs,
                                                                        bool fromCamera, bool isActive) const;

    DeviceAgent* const m_deviceAgent;
};

} // namespace vorn::vms_server_plugins::analytics::uniview
