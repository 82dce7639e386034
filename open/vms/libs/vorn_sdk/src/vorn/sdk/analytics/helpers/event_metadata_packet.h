// EventMetadataPacket: the events of one moment, as a plugin hands them to the server's metadata
// receiver: a timestamp, a duration, flags and the event metadata items in insertion order. Filled by
// one thread, read-only once handed on.
//
//     auto packet = makePtr<EventMetadataPacket>();
//     packet->setTimestampUs(cameraTimeUs);
//     packet->setFlags(kTimestampFromDeviceFlag); // the time came from the camera, not the server
//     packet->addItem(event.get());                // retained; the caller keeps its own reference
//     packet->addItem(std::move(other));           // or handed over: no count changes
//     receiver->receiveMetadata(packet.get());
#pragma once

#include <vorn/sdk/analytics/helpers/compound_metadata_packet.h>
#include <vorn/sdk/analytics/i_metadata_packet.h>

namespace vorn::sdk::analytics {

class EventMetadataPacket : public CompoundMetadataPacket<IEventMetadataPacket, IEventMetadata>
{
public:
    /** Retains and appends the item; null is reported and not added. */
    void addItem(const IEventMetadata* eventMetadata)
    {
        addCheckedItem(eventMetadata, "eventMetadata", __FILE__, __LINE__);
    }

    /** Appends the item, taking over the caller's reference (the Ptr is left null); null is reported. */
    template <class Item>
    void addItem(Ptr<Item>&& eventMetadata)
    {
        addCheckedItem(Ptr<const IEventMetadata>(std::move(eventMetadata)), "eventMetadata", __FILE__, __LINE__);
    }
};

} // namespace vorn::sdk::analytics
