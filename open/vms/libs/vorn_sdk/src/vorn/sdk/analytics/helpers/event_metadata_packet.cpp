#include "event_metadata_packet.h"

#include <vorn/kit/debug.h>

namespace vorn::sdk::analytics {

namespace {

void printReport(const std::string& text)
{
    kit::debug::stream() << (kit::debug::detail::printPrefix(__FILE__) + text + "\n");
}

} // namespace

int32_t EventMetadataPacket::itemCount() const
{
    return static_cast<int32_t>(m_items.size());
}

const IMetadata* EventMetadataPacket::getItem(int32_t index) const
{
    if (index < 0 || index >= itemCount())
        return nullptr;
    const IEventMetadata* item = m_items[static_cast<size_t>(index)].get();
    item->retain();
    return item;
}

void EventMetadataPacket::addItem(const IEventMetadata* eventMetadata)
{
    if (!eventMetadata) {
        kit::debug::detail::assertionFailed(&printReport, "eventMetadata", "", __FILE__, __LINE__);
        return;
    }
    m_items.push_back(shareToPtr(eventMetadata));
}

} // namespace vorn::sdk::analytics
