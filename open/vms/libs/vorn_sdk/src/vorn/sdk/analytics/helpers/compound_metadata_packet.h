// CompoundMetadataPacket: what event and object packets share: a timestamp, a duration, flags and
// the items of one moment in insertion order. Filled by one thread, read-only once handed on.
// EventMetadataPacket and ObjectMetadataPacket derive from it and add the item type's own addItem.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
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
    int32_t itemCount() const override { return static_cast<int32_t>(m_itemCount); }
    int32_t flags() const override { return m_flags; }

    /** Retained for the caller, or null outside [0, itemCount). */
    const IMetadata* getItem(int32_t index) const override
    {
        if (index < 0 || index >= itemCount())
            return nullptr;
        const auto position = static_cast<std::size_t>(index);
        const ItemInterface* item =
            position < kInlineItems ? m_inlineItems[position].get() : m_moreItems[position - kInlineItems].get();
        item->retain();
        return item;
    }

    void setTimestampUs(int64_t timestampUs) { m_timestampUs = timestampUs; }
    void setDurationUs(int64_t durationUs) { m_durationUs = durationUs; }
    void setFlags(int32_t flags) { m_flags = flags; }

    /** Releases all items. */
    void clear()
    {
        m_inlineItems = {};
        m_moreItems.clear();
        m_itemCount = 0;
    }

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
        if (m_itemCount < kInlineItems) {
            m_inlineItems[m_itemCount] = shareToPtr(item);
        } else {
            if (m_moreItems.empty())
                m_moreItems.reserve(4 * kInlineItems); // A long packet grows in few steps.
            m_moreItems.push_back(shareToPtr(item));
        }
        ++m_itemCount;
    }

private:
    // Most packets carry one item or a few: those live inside the packet, and only the items past them
    // go to the heap.
    static constexpr std::size_t kInlineItems = 4;

    int32_t m_flags = 0;
    int64_t m_timestampUs = -1;
    int64_t m_durationUs = -1;
    std::array<Ptr<const ItemInterface>, kInlineItems> m_inlineItems;
    std::vector<Ptr<const ItemInterface>> m_moreItems; //< The items past the first kInlineItems.
    std::size_t m_itemCount = 0;
};

} // namespace vorn::sdk::analytics
