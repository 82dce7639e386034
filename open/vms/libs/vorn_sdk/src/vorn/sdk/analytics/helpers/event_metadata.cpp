#include "event_metadata.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <span>

#include <vorn/kit/debug.h>

namespace vorn::sdk::analytics {

namespace {

void printReport(const std::string& text)
{
    kit::debug::stream() << (kit::debug::detail::printPrefix(__FILE__) + text + "\n");
}

} // namespace

// An attribute made in its event's storage, a part of the event rather than an object of its own: its
// references are the event's (a reference to it keeps the whole event alive), and the event destroys it.
class EventMetadata::InnerAttribute final : public IAttribute
{
public:
    InnerAttribute(const EventMetadata& event, int32_t type, const char* name, const char* value, float confidence)
        : m_event(event)
        , m_type(type)
        , m_name(name)
        , m_value(value)
        , m_confidence(confidence)
    {}

    IRefCountable* findInterface(const char* interfaceId) override { return findInterfaceInChain(interfaceId); }
    int32_t retain() const override { return m_event.retain(); }
    int32_t release() const override { return m_event.release(); } // May destroy this with the event.

    int32_t type() const override { return m_type; }
    const char* name() const override { return m_name; }
    const char* value() const override { return m_value; }
    float confidence() const override { return m_confidence; }

private:
    const EventMetadata& m_event;
    const int32_t m_type;
    const char* const m_name;
    const char* const m_value;
    const float m_confidence;
};

void* EventMetadata::Storage::allocate(std::size_t size, std::size_t alignment)
{
    void* free = m_free;
    if (!std::align(alignment, size, free, m_left)) {
        // A new block, growing with each, so that a long run of additions makes few of them.
        m_lastBlockSize = std::max(2 * m_lastBlockSize, size + alignment);
        m_blocks.push_back(std::make_unique_for_overwrite<std::byte[]>(m_lastBlockSize));
        free = m_blocks.back().get();
        m_left = m_lastBlockSize;
        std::align(alignment, size, free, m_left);
    }
    m_free = static_cast<std::byte*>(free) + size;
    m_left -= size;
    return free;
}

void EventMetadata::Text::assign(Storage& storage, std::string_view text)
{
    if (text.size() > m_roomSize || !m_room) {
        m_roomSize = std::max(text.size(), 2 * m_roomSize);
        m_room = static_cast<char*>(storage.allocate(m_roomSize + 1, alignof(char)));
    }
    // Moved, not copied: a view into this text itself (a part of it set again) fits the old room and
    // overlaps it.
    if (!text.empty())
        std::memmove(m_room, text.data(), text.size());
    m_room[text.size()] = '\0';
    m_text = m_room;
}

void EventMetadata::reserveAttributeEntry()
{
    if (m_attributeCount < m_attributeCapacity)
        return;
    const std::size_t capacity = std::max<std::size_t>(4, 2 * m_attributeCapacity);
    auto* const entries =
        static_cast<AttributeEntry*>(m_storage.allocate(capacity * sizeof(AttributeEntry), alignof(AttributeEntry)));
    std::uninitialized_copy_n(m_attributes, m_attributeCount, entries);
    m_attributes = entries;
    m_attributeCapacity = capacity;
}

EventMetadata::EventMetadata() = default;

EventMetadata::~EventMetadata()
{
    for (const AttributeEntry& entry : std::span(m_attributes, m_attributeCount)) {
        if (entry.inner)
            static_cast<const InnerAttribute*>(entry.attribute)->~InnerAttribute();
        else
            entry.attribute->release();
    }
}

const IAttribute* EventMetadata::getAttribute(int32_t index) const
{
    if (index < 0 || index >= attributeCount())
        return nullptr;
    const IAttribute* attribute = m_attributes[static_cast<size_t>(index)].attribute;
    attribute->retain();
    return attribute;
}

int32_t EventMetadata::attributeCount() const
{
    return static_cast<int32_t>(m_attributeCount);
}

void EventMetadata::getTrackId(Uuid* outValue) const
{
    if (!outValue) {
        kit::debug::detail::assertionFailed(&printReport, "outValue", "", __FILE__, __LINE__);
        return;
    }
    *outValue = m_trackId;
}

void EventMetadata::addAttribute(Ptr<Attribute> attribute)
{
    if (!attribute) {
        kit::debug::detail::assertionFailed(&printReport, "attribute", "", __FILE__, __LINE__);
        return;
    }
    reserveAttributeEntry();
    attribute->retain(); // The list's reference; the argument's goes with it.
    m_attributes[m_attributeCount++] = {attribute.get(), /*inner*/ false};
}

void EventMetadata::addAttributes(const std::vector<Ptr<Attribute>>& attributes)
{
    for (const Ptr<Attribute>& attribute : attributes)
        addAttribute(attribute);
}

void EventMetadata::addAttribute(AttributeType type, std::string_view name, std::string_view value, float confidence)
{
    reserveAttributeEntry();
    // Both texts, terminated, in one piece.
    auto* const texts = static_cast<char*>(m_storage.allocate(name.size() + value.size() + 2, alignof(char)));
    char* const nameText = texts;
    char* const valueText = texts + name.size() + 1;
    if (!name.empty())
        std::memcpy(nameText, name.data(), name.size());
    nameText[name.size()] = '\0';
    if (!value.empty())
        std::memcpy(valueText, value.data(), value.size());
    valueText[value.size()] = '\0';
    void* const place = m_storage.allocate(sizeof(InnerAttribute), alignof(InnerAttribute));
    const auto* const attribute =
        new (place) InnerAttribute(*this, static_cast<int32_t>(type), nameText, valueText, confidence);
    m_attributes[m_attributeCount++] = {attribute, /*inner*/ true};
}

} // namespace vorn::sdk::analytics
