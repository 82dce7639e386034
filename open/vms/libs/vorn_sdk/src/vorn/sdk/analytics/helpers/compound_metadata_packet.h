// CompoundMetadataPacket: what event and object packets share: a timestamp, a duration, flags and
// the items of one moment in insertion order. Filled by one thread, read-only once handed on.
// EventMetadataPacket and ObjectMetadataPacket derive from it and add the item type's own addItem.
// The first few items live inside the packet: most packets carry one event or a few, and they then
// cost no allocation of an item list.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

#include <boost/container/small_vector.hpp>

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
        const ItemInterface* item = m_items[static_cast<std::size_t>(index)].get();
        item->retain();
        return item;
    }

    void setTimestampUs(int64_t timestampUs) { m_timestampUs = timestampUs; }
    void setDurationUs(int64_t durationUs) { m_durationUs = durationUs; }
    void setFlags(int32_t flags) { m_flags = flags; }

    /** Releases all items. */
    void clear()
    {
        m_items.clear();
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
        addItemPtr(shareToPtr(item));
    }

    /** As above, taking over the caller's reference instead of retaining another. */
    void addCheckedItem(Ptr<const ItemInterface> item, const char* itemName, const char* file, int line)
    {
        if (!item) {
            addCheckedItem(static_cast<const ItemInterface*>(nullptr), itemName, file, line);
            return;
        }
        addItemPtr(std::move(item));
    }

private:
    void addItemPtr(Ptr<const ItemInterface> item)
    {
        if (m_items.size() == kInlineItems)
            m_items.reserve(4 * kInlineItems); // A long packet grows in few steps.
        m_items.push_back(std::move(item));
    }

    // Most packets carry one item or a few: those live inside the packet, and only the items past them
    // go to the heap.
    static constexpr std::size_t kInlineItems = 4;

    int32_t m_flags = 0;
    int64_t m_timestampUs = -1;
    int64_t m_durationUs = -1;
    boost::container::small_vector<Ptr<const ItemInterface>, kInlineItems> m_items;
};

} // namespace vorn::sdk::analytics
