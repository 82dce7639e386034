// CompoundMetadataPacket: what event and object packets share: a timestamp, a duration, flags and
// the items of one moment in insertion order. Filled by one thread, read-only once handed on.
// EventMetadataPacket and ObjectMetadataPacket derive from it and add the item type's own addItem.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory_resource>
#include <string>
#include <vector>

#include <vorn/kit/debug.h>
#include <vorn/sdk/analytics/i_metadata.h>
#include <vorn/sdk/helpers/ref_countable.h>
#include <vorn/sdk/ptr.h>

namespace vorn::sdk::analytics {

template <class PacketInterface, class ItemInterface>
class CompoundMetadataPacket : public RefCountable<PacketInterface>
{
public:
    int64_t timestampUs() const override { return m_timestampUs; }
    int64_t durationUs() const override { return m_durationUs; }
    int32_t itemCount() const override { return static_cast<int32_t>(m_items.size()); }
    int32_t flags() const override { return m_flags; }

    /** Retained for the caller, or null outside [0, itemCount). */
    const IMetadata* getItem(int32_t index) const override
    {
        if (index < 0 || index >= itemCount())
            return nullptr;
        const ItemInterface* item = m_items[static_cast<size_t>(index)].get();
        item->retain();
        return item;
    }

    void setTimestampUs(int64_t timestampUs) { m_timestampUs = timestampUs; }
    void setDurationUs(int64_t durationUs) { m_durationUs = durationUs; }
    void setFlags(int32_t flags) { m_flags = flags; }

    /** Releases all items. */
    void clear() { m_items.clear(); }

protected:
    /**
     * Retains and appends the item. A null item is reported as the failed condition `itemName`
     * at the caller's source position and not added.
     */
    void addCheckedItem(const ItemInterface* item, const char* itemName, const char* file, int line)
    {
        if (!item) {
            const auto print = [file](const std::string& text) {
                kit::debug::stream() << (kit::debug::detail::printPrefix(file) + text + "\n");
            };
            kit::debug::detail::assertionFailed(print, itemName, "", file, line);
            return;
        }
        m_items.push_back(shareToPtr(item));
    }

private:
    // Most packets carry one item or a few: their list lives inside the packet, and only a longer one
    // goes to the heap.
    static constexpr std::size_t kInlineItems = 8;

    int32_t m_flags = 0;
    int64_t m_timestampUs = -1;
    int64_t m_durationUs = -1;
    alignas(Ptr<const ItemInterface>) std::byte m_inlineItems[kInlineItems * sizeof(Ptr<const ItemInterface>)];
    std::pmr::monotonic_buffer_resource m_itemMemory{m_inlineItems, sizeof(m_inlineItems)};
    std::pmr::vector<Ptr<const ItemInterface>> m_items{&m_itemMemory};
};

} // namespace vorn::sdk::analytics
