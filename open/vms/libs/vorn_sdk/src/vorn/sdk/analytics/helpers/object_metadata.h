// ObjectMetadata: one tracked object (a vehicle, a person, a plate) at one moment: the object type id
// from the plugin's manifest, the track identifier that stays the same for the object across packets,
// its bounding box and attributes. Filled by one thread, then added to an ObjectMetadataPacket and
// read-only from then on.
//
//     auto object = makePtr<ObjectMetadata>();
//     object->setTypeId("vendor.vehicle");
//     object->setTrackId(trackId);                       // makeRandomUuid() for a new track
//     object->setBoundingBox({0.1F, 0.2F, 0.3F, 0.4F});
//     packet->addItem(object.get());
#pragma once

#include <string>
#include <vector>

#include <vorn/sdk/analytics/bounding_box.h>
#include <vorn/sdk/analytics/i_metadata.h>
#include <vorn/sdk/helpers/attribute.h>
#include <vorn/sdk/helpers/ref_countable.h>
#include <vorn/sdk/ptr.h>
#include <vorn/sdk/uuid.h>

namespace vorn::sdk::analytics {

class ObjectMetadata : public RefCountable<IObjectMetadata>
{
public:
    ObjectMetadata() = default;

    const char* typeId() const override { return m_typeId.c_str(); }
    float confidence() const override { return m_confidence; }
    /** Retained for the caller, or null outside [0, attributeCount). */
    const IAttribute* getAttribute(int32_t index) const override;
    int32_t attributeCount() const override;
    /** Writes nothing to a null outValue. */
    void getTrackId(Uuid* outValue) const override;
    const char* extraText() const override { return m_extraText.c_str(); }
    /** Writes nothing to a null outValue. */
    void getBoundingBox(BoundingBox* outValue) const override;

    void setTypeId(std::string typeId) { m_typeId = std::move(typeId); }
    void setConfidence(float confidence) { m_confidence = confidence; }
    void setTrackId(const Uuid& trackId) { m_trackId = trackId; }
    void setExtraText(const std::string& extraText) { m_extraText = extraText; }
    void setBoundingBox(const BoundingBox& boundingBox) { m_boundingBox = boundingBox; }

    /** Appends the attribute, taking over the argument's reference; null is reported and not added. */
    void addAttribute(Ptr<Attribute> attribute);
    void addAttributes(std::vector<Ptr<Attribute>>&& attributes);
    void addAttributes(const std::vector<Ptr<Attribute>>& attributes);

private:
    std::string m_typeId;
    float m_confidence = 1.0F;
    Uuid m_trackId;
    std::string m_extraText;
    std::vector<Ptr<Attribute>> m_attributes;
    BoundingBox m_boundingBox;
};

} // namespace vorn::sdk::analytics
