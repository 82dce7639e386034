// EventMetadata: one event as a plugin reports it (a line crossed, a plate read, a camera alarm): the
// event type id from the plugin's manifest, texts, an active flag for events with a duration,
// attributes, a track identifier and a key. Filled by one thread, then added to an EventMetadataPacket
// and read-only from then on.
//
//     auto event = makePtr<EventMetadata>();
//     event->setTypeId("vendor.lineCrossing");
//     event->setIsActive(true);
//     event->addAttribute(makePtr<Attribute>("Direction", "left", 1.0F));
//     packet->addItem(event.get());
#pragma once

#include <string>
#include <vector>

#include <vorn/sdk/analytics/i_metadata.h>
#include <vorn/sdk/helpers/attribute.h>
#include <vorn/sdk/helpers/ref_countable.h>
#include <vorn/sdk/ptr.h>
#include <vorn/sdk/uuid.h>

namespace vorn::sdk::analytics {

class EventMetadata : public RefCountable<IEventMetadata>
{
public:
    EventMetadata() = default;

    const char* typeId() const override { return m_typeId.c_str(); }
    float confidence() const override { return m_confidence; }
    /** Retained for the caller, or null outside [0, attributeCount). */
    const IAttribute* getAttribute(int32_t index) const override;
    int32_t attributeCount() const override;
    const char* caption() const override { return m_caption.c_str(); }
    const char* description() const override { return m_description.c_str(); }
    bool isActive() const override { return m_isActive; }
    /** A null outValue is reported; nothing is written then. */
    void getTrackId(Uuid* outValue) const override;
    const char* key() const override { return m_key.c_str(); }

    void setTypeId(std::string typeId) { m_typeId = std::move(typeId); }
    void setConfidence(float confidence) { m_confidence = confidence; }
    void setCaption(const std::string& caption) { m_caption = caption; }
    void setDescription(const std::string& description) { m_description = description; }
    void setIsActive(bool isActive) { m_isActive = isActive; }
    void setTrackId(const Uuid& trackId) { m_trackId = trackId; }
    void setKey(std::string key) { m_key = std::move(key); }

    /** Appends the attribute, taking over the argument's reference; null is reported and not added. */
    void addAttribute(Ptr<Attribute> attribute);
    void addAttributes(const std::vector<Ptr<Attribute>>& attributes);

private:
    std::string m_typeId;
    float m_confidence = 1.0F;
    std::string m_caption;
    std::string m_description;
    bool m_isActive = false;
    std::vector<Ptr<Attribute>> m_attributes;
    Uuid m_trackId;
    std::string m_key;
};

} // namespace vorn::sdk::analytics
