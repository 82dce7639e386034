// EventMetadata: one event as a plugin reports it (a line crossed, a plate read, a camera alarm): the
// event type id from the plugin's manifest, texts, an active flag for events with a duration,
// attributes, a track identifier and a key. Filled by one thread, then added to an EventMetadataPacket
// and read-only from then on.
//
//     auto event = makePtr<EventMetadata>();
//     event->setTypeId("vendor.lineCrossing");
//     event->setIsActive(true);
//     event->addAttribute(makePtr<Attribute>("Direction", "left", 1.0F));
//     event->addAttribute(AttributeType::number, "Speed", "42", 1.0F); // made inside the event
//     packet->addItem(event.get());
//
// An event's texts, its attribute list and the attributes made by the second addAttribute() are kept
// in storage inside the object (the heap takes what does not fit), so a plugin that reports many events
// makes one allocation per event rather than one per text and attribute. An attribute made inside the
// event is a part of it, not an object of its own: a reference to it is a reference to the event.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
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
    EventMetadata();
    ~EventMetadata() override;

    const char* typeId() const override { return m_typeId.text(); }
    float confidence() const override { return m_confidence; }
    /** Retained for the caller, or null outside [0, attributeCount). */
    const IAttribute* getAttribute(int32_t index) const override;
    int32_t attributeCount() const override;
    const char* caption() const override { return m_caption.text(); }
    const char* description() const override { return m_description.text(); }
    bool isActive() const override { return m_isActive; }
    /** A null outValue is reported; nothing is written then. */
    void getTrackId(Uuid* outValue) const override;
    const char* key() const override { return m_key.text(); }

    // The texts are copied into the event's own storage.
    void setTypeId(std::string_view typeId) { m_typeId.assign(m_storage, typeId); }
    void setConfidence(float confidence) { m_confidence = confidence; }
    void setCaption(std::string_view caption) { m_caption.assign(m_storage, caption); }
    void setDescription(std::string_view description) { m_description.assign(m_storage, description); }
    void setIsActive(bool isActive) { m_isActive = isActive; }
    void setTrackId(const Uuid& trackId) { m_trackId = trackId; }
    void setKey(std::string_view key) { m_key.assign(m_storage, key); }

    /** Appends the attribute, taking over the argument's reference; null is reported and not added. */
    void addAttribute(Ptr<Attribute> attribute);
    void addAttributes(const std::vector<Ptr<Attribute>>& attributes);

    /**
     * Appends an attribute made inside this event with these four values: what
     * addAttribute(makePtr<Attribute>(type, name, value, confidence)) adds, without an allocation of its own.
     */
    void addAttribute(AttributeType type, std::string_view name, std::string_view value, float confidence);

private:
    class InnerAttribute;

    /**
     * Memory handed out from a buffer inside the event, then from blocks on the heap, and given back
     * only when the event goes: an event is filled once, so nothing is freed piece by piece.
     */
    class Storage
    {
    public:
        Storage() = default;
        Storage(const Storage&) = delete;
        Storage& operator=(const Storage&) = delete;

        void* allocate(std::size_t size, std::size_t alignment);

    private:
        // Room for the texts, the list and a few inner attributes of a typical event.
        static constexpr std::size_t kInlineSize = 512;

        alignas(std::max_align_t) std::byte m_inline[kInlineSize];
        std::byte* m_free = m_inline;
        std::size_t m_left = kInlineSize;
        std::vector<std::unique_ptr<std::byte[]>> m_blocks;
        std::size_t m_lastBlockSize = kInlineSize;
    };

    /**
     * A terminated text in m_storage. A text that fits the room of the one it replaces takes its place,
     * so setting a field again and again does not use up the storage.
     */
    class Text
    {
    public:
        const char* text() const { return m_text; }
        void assign(Storage& storage, std::string_view text);

    private:
        const char* m_text = "";
        char* m_room = nullptr;
        std::size_t m_roomSize = 0; //< Characters m_room holds, its terminator not counted.
    };

    /** One entry of the attribute list: a held reference, or an attribute made in m_storage. */
    struct AttributeEntry
    {
        const IAttribute* attribute = nullptr;
        bool inner = false;
    };

    /** Room for one more entry in the attribute list. */
    void reserveAttributeEntry();

    Storage m_storage;
    Text m_typeId;
    float m_confidence = 1.0F;
    Text m_caption;
    Text m_description;
    bool m_isActive = false;
    AttributeEntry* m_attributes = nullptr; //< In m_storage.
    std::size_t m_attributeCount = 0;
    std::size_t m_attributeCapacity = 0;
    Uuid m_trackId;
    Text m_key;
};

} // namespace vorn::sdk::analytics
