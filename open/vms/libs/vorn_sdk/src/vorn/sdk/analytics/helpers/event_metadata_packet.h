// EventMetadataPacket: the events of one moment, as a plugin hands them to the server's metadata
// receiver: a timestamp, a duration, flags and the event metadata items in insertion order. Filled by
// one thread, read-only once handed on.
//
//     auto packet = makePtr<EventMetadataPacket>();
//     packet->setTimestampUs(cameraTimeUs);
//     packet->setFlags(kTimestampFromDeviceFlag); // the time came from the camera, not the server
//     packet->addItem(event.get());                // retained; the caller keeps its own reference
//     receiver->receiveMetadata(packet.get());
#pragma once

#include <cstdint>
#include <vector>

#include <vorn/sdk/analytics/i_metadata_packet.h>
#include <vorn/sdk/helpers/ref_countable.h>
#include <vorn/sdk/ptr.h>

namespace vorn::sdk::analytics {

class EventMetadataPacket : public RefCountable<IEventMetadataPacket>
{
public:
    EventMetadataPacket() = default;

    int64_t timestampUs() const override { return m_timestampUs; }
    int64_t durationUs() const override { return m_durationUs; }
    int32_t itemCount() const override;
    /** Retained for the caller, or null outside [0, itemCount). */
    const IMetadata* getItem(int32_t index) const override;
    int32_t flags() const override { return m_flags; }

    void setTimestampUs(int64_t timestampUs) { m_timestampUs = timestampUs; }
    void setDurationUs(int64_t durationUs) { m_durationUs = durationUs; }
    void setFlags(int32_t flags) { m_flags = flags; }

    /** Retains and appends the item; null is reported and not added. */
    void addItem(const IEventMetadata* eventMetadata);

    /** Releases all items. */
    void clear() { m_items.clear(); }

private:
    int32_t m_flags = 0;
    int64_t m_timestampUs = -1;
    int64_t m_durationUs = -1;
    std::vector<Ptr<const IEventMetadata>> m_items;
};

} // namespace vorn::sdk::analytics
