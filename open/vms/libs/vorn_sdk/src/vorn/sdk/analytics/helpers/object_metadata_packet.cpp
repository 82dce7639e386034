#include "object_metadata_packet.h"

#include <vorn/kit/debug.h>

namespace vorn::sdk::analytics {

namespace {

void printReport(const std::string& text)
{
    kit::debug::stream() << (kit::debug::detail::printPrefix(__FILE__) + text + "\n");
}

} // namespace

int32_t ObjectMetadataPacket::itemCount() const
{
    return static_cast<int32_t>(m_items.size());
}

const IMetadata* ObjectMetadataPacket::getItem(int32_t index) const
{
    if (index < 0 || index >= itemCount())
        return nullptr;
    const IObjectMetadata* item = m_items[static_cast<size_t>(index)].get();
    item->retain();
    return item;
}

void ObjectMetadataPacket::addItem(const IObjectMetadata* objectMetadata)
{
    if (!objectMetadata) {
        kit::debug::detail::assertionFailed(&printReport, "objectMetadata", "", __FILE__, __LINE__);
        return;
    }
    m_items.push_back(shareToPtr(objectMetadata));
}

} // namespace vorn::sdk::analytics
