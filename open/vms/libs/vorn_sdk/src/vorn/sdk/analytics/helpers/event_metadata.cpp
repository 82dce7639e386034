#include "event_metadata.h"

#include <algorithm>
#include <cstring>
#include <new>

#include <vorn/kit/debug.h>

namespace vorn::sdk::analytics {

namespace {

void printReport(const std::string& text)
{
    kit::debug::stream() << (kit::debug::detail::printPrefix(__FILE__) + text + "\n");
}

// Copies text into memory as a terminated string that lives as long as memory does.
const char* copyText(std::pmr::memory_resource& memory, std::string_view text)
{
    auto* const copy = static_cast<char*>(memory.allocate(text.size() + 1, alignof(char)));
    if (!text.empty())
        std::memcpy(copy, text.data(), text.size());
    copy[text.size()] = '\0';
    return copy;
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

void EventMetadata::Text::assign(std::pmr::memory_resource& memory, std::string_view text)
{
    if (text.size() > m_roomSize || !m_room) {
        m_roomSize = std::max(text.size(), 2 * m_roomSize);
        m_room = static_cast<char*>(memory.allocate(m_roomSize + 1, alignof(char)));
    }
    if (!text.empty())
        std::memcpy(m_room, text.data(), text.size());
    m_room[text.size()] = '\0';
    m_text = m_room;
}

EventMetadata::EventMetadata() = default;

EventMetadata::~EventMetadata()
{
    for (const AttributeEntry& entry : m_attributes) {
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
    return static_cast<int32_t>(m_attributes.size());
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
    m_attributes.reserve(m_attributes.size() + 1);
    attribute->retain(); // The list's reference; the argument's goes with it.
    m_attributes.push_back({attribute.get(), /*inner*/ false});
}

void EventMetadata::addAttributes(const std::vector<Ptr<Attribute>>& attributes)
{
    for (const Ptr<Attribute>& attribute : attributes)
        addAttribute(attribute);
}

void EventMetadata::addAttribute(AttributeType type, std::string_view name, std::string_view value, float confidence)
{
    // Room in the list first, so that nothing is left unlisted when it cannot grow.
    if (m_attributes.size() == m_attributes.capacity())
        m_attributes.reserve(std::max<std::size_t>(4, 2 * m_attributes.size()));
    const char* const nameText = copyText(m_memory, name);
    const char* const valueText = copyText(m_memory, value);
    void* const place = m_memory.allocate(sizeof(InnerAttribute), alignof(InnerAttribute));
    const auto* const attribute =
        new (place) InnerAttribute(*this, static_cast<int32_t>(type), nameText, valueText, confidence);
    m_attributes.push_back({attribute, /*inner*/ true});
}

} // namespace vorn::sdk::analytics
