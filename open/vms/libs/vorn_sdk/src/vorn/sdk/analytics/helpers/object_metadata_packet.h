// ObjectMetadataPacket: the tracked objects of one video moment, one ObjectMetadata item per object,
// with a timestamp, a duration and flags. Filled by one thread, read-only once handed to the server's
// metadata receiver.
//
//     auto packet = makePtr<ObjectMetadataPacket>();
//     packet->setTimestampUs(frameTimestampUs);
//     packet->setDurationUs(0);
//     packet->addItem(object.get()); // retained; the caller keeps its own reference
//     packet->addItem(std::move(other)); // or handed over: no count changes
//     receiver->receiveMetadata(packet.get());
#pragma once

#include <vorn/sdk/analytics/helpers/compound_metadata_packet.h>
#include <vorn/sdk/analytics/i_metadata_packet.h>

namespace vorn::sdk::analytics {

class ObjectMetadataPacket : public CompoundMetadataPacket<IObjectMetadataPacket, IObjectMetadata>
{
public:
    /** Retains and appends the item; null is reported and not added. */
    void addItem(const IObjectMetadata* objectMetadata)
    {
        addCheckedItem(objectMetadata, "objectMetadata", __FILE__, __LINE__);
    }

    /** Appends the item, taking over the caller's reference (the Ptr is left null); null is reported. */
    template <class Item>
    void addItem(Ptr<Item>&& objectMetadata)
    {
        addCheckedItem(Ptr<const IObjectMetadata>(std::move(objectMetadata)), "objectMetadata", __FILE__, __LINE__);
    }
};

} // namespace vorn::sdk::analytics
