#include "object_metadata.h"

#include <vorn/kit/debug.h>

namespace vorn::sdk::analytics {

namespace {

void printReport(const std::string& text)
{
    kit::debug::stream() << (kit::debug::detail::printPrefix(__FILE__) + text + "\n");
}

} // namespace

const IAttribute* ObjectMetadata::getAttribute(int32_t index) const
{
    if (index < 0 || index >= attributeCount())
        return nullptr;
    const Attribute* attribute = m_attributes[static_cast<size_t>(index)].get();
    attribute->retain();
    return attribute;
}

int32_t ObjectMetadata::attributeCount() const
{
    return static_cast<int32_t>(m_attributes.size());
}

void ObjectMetadata::getTrackId(Uuid* outValue) const
{
    if (outValue)
        *outValue = m_trackId;
}

void ObjectMetadata::getBoundingBox(BoundingBox* outValue) const
{
    if (outValue)
        *outValue = m_boundingBox;
}

void ObjectMetadata::addAttribute(Ptr<Attribute> attribute)
{
    if (!attribute) {
        kit::debug::detail::assertionFailed(&printReport, "attribute", "", __FILE__, __LINE__);
        return;
    }
    m_attributes.push_back(std::move(attribute));
}

void ObjectMetadata::addAttributes(std::vector<Ptr<Attribute>>&& attributes)
{
    for (Ptr<Attribute>& attribute : attributes)
        addAttribute(std::move(attribute));
}

void ObjectMetadata::addAttributes(const std::vector<Ptr<Attribute>>& attributes)
{
    for (const Ptr<Attribute>& attribute : attributes)
        addAttribute(attribute);
}

} // namespace vorn::sdk::analytics
