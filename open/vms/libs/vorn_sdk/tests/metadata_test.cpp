#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include <vorn/sdk/analytics/helpers/event_metadata.h>
#include <vorn/sdk/analytics/helpers/event_metadata_packet.h>
#include <vorn/sdk/analytics/helpers/object_metadata.h>
#include <vorn/sdk/analytics/helpers/object_metadata_packet.h>
#include <vorn/sdk/analytics/helpers/object_track_best_shot_packet.h>
#include <vorn/sdk/helpers/attribute.h>
#include <vorn/sdk/helpers/uuid.h>

#include "debug_capture.h"

namespace vorn::sdk::test {
namespace {

using namespace vorn::sdk::analytics;

int32_t countOf(const IRefCountable* object)
{
    object->retain();
    return object->release();
}

TEST(Attribute, ConstructorsAndCopy)
{
    const auto untyped = makePtr<Attribute>("Colour", "red", 0.5F);
    EXPECT_EQ(untyped->type(), 0);
    EXPECT_STREQ(untyped->name(), "Colour");
    EXPECT_STREQ(untyped->value(), "red");
    EXPECT_FLOAT_EQ(untyped->confidence(), 0.5F);

    const auto typed = makePtr<Attribute>(AttributeType::number, "Speed", "42", 1.0F);
    const auto copy = makePtr<Attribute>(Ptr<IAttribute>(typed));
    EXPECT_EQ(copy->type(), 1);
    EXPECT_STREQ(copy->name(), "Speed");
    EXPECT_STREQ(copy->value(), "42");
    EXPECT_FLOAT_EQ(copy->confidence(), 1.0F);
    EXPECT_NE(copy->name(), typed->name()); // the texts are copied, not shared

    const auto fromNull = makePtr<Attribute>(Ptr<IAttribute>());
    EXPECT_STREQ(fromNull->name(), "");
}

TEST(EventMetadata, DefaultsAndFields)
{
    DebugCapture capture;
    const auto event = makePtr<EventMetadata>();
    EXPECT_STREQ(event->typeId(), "");
    EXPECT_STREQ(event->caption(), "");
    EXPECT_STREQ(event->description(), "");
    EXPECT_STREQ(event->key(), "");
    EXPECT_FLOAT_EQ(event->confidence(), 1.0F);
    EXPECT_FALSE(event->isActive());
    Uuid trackId = makeRandomUuid();
    event->getTrackId(&trackId);
    EXPECT_TRUE(trackId.isNull());

    const Uuid newTrack = makeRandomUuid();
    event->setTypeId("vendor.alarm");
    event->setCaption("caption");
    event->setDescription("description");
    event->setKey("key");
    event->setIsActive(true);
    event->setTrackId(newTrack);
    event->setConfidence(0.25F);
    event->getTrackId(&trackId);
    EXPECT_EQ(trackId, newTrack);
    EXPECT_STREQ(event->typeId(), "vendor.alarm");
    EXPECT_STREQ(event->key(), "key");
    EXPECT_TRUE(event->isActive());

    event->getTrackId(nullptr);
    EXPECT_EQ(capture.countLinesContaining("(outValue)"), 1);
}

// The attribute lists of event items, object items and best shots behave alike.
template <class T>
void checkAttributeList(const Ptr<T>& holder)
{
    DebugCapture capture;
    const auto first = makePtr<Attribute>("a", "1", 1.0F);
    holder->addAttribute(first);
    holder->addAttribute(nullptr);
    EXPECT_EQ(capture.countLinesContaining("(attribute)"), 1);
    holder->addAttributes(std::vector<Ptr<Attribute>>{makePtr<Attribute>("b", "2", 1.0F)});
    ASSERT_EQ(holder->attributeCount(), 2);
    EXPECT_EQ(countOf(first.get()), 2); // the list holds one reference

    for (const int32_t index : {-1, 2}) {
        SCOPED_TRACE(index);
        EXPECT_EQ(holder->getAttribute(index), nullptr);
    }
    const Ptr<const IAttribute> second = toPtr(holder->getAttribute(1));
    ASSERT_TRUE(second);
    EXPECT_STREQ(second->name(), "b");
    EXPECT_EQ(countOf(second.get()), 2); // the list's and ours
}

TEST(Metadata, AttributeLists)
{
    {
        SCOPED_TRACE("EventMetadata");
        checkAttributeList(makePtr<EventMetadata>());
    }
    {
        SCOPED_TRACE("ObjectMetadata");
        checkAttributeList(makePtr<ObjectMetadata>());
    }
    {
        SCOPED_TRACE("ObjectTrackBestShotPacket");
        checkAttributeList(makePtr<ObjectTrackBestShotPacket>(Uuid()));
    }
}

TEST(ObjectMetadata, MovedAttributesKeepTheirSingleReference)
{
    const auto object = makePtr<ObjectMetadata>();
    const auto attribute = makePtr<Attribute>("a", "1", 1.0F);
    std::vector<Ptr<Attribute>> list{attribute, attribute};
    object->addAttributes(std::move(list));
    EXPECT_EQ(object->attributeCount(), 2);
    EXPECT_EQ(countOf(attribute.get()), 3);
}

// Attributes made inside an event read like added ones, and a reference to one keeps the event (and so
// the attribute) alive after every other reference to the event is gone.
TEST(EventMetadata, AttributesMadeInsideTheEvent)
{
    const std::string longName(1000, 'n'); // beyond the event's own storage
    auto event = makePtr<EventMetadata>();
    event->addAttribute(makePtr<Attribute>("added", "1", 0.5F));
    event->addAttribute(AttributeType::number, "Speed", "42", 1.0F);
    for (int i = 0; i < 20; ++i)
        event->addAttribute(AttributeType::string, longName, std::to_string(i), 0.25F);
    ASSERT_EQ(event->attributeCount(), 22);
    EXPECT_EQ(countOf(event.get()), 1); // made-inside attributes hold no reference of their own

    Ptr<const IAttribute> speed = toPtr(event->getAttribute(1));
    ASSERT_TRUE(speed);
    EXPECT_EQ(countOf(event.get()), 2); // a reference to the attribute is one to the event
    EXPECT_EQ(toPtr(const_cast<IAttribute*>(speed.get())->findInterface("vorn::sdk::IAttribute")).get(), speed.get());
    EXPECT_EQ(countOf(event.get()), 2);
    const Ptr<const IAttribute> last = toPtr(event->getAttribute(21));
    ASSERT_TRUE(last);
    EXPECT_EQ(last->type(), 3);
    EXPECT_EQ(last->name(), longName);
    EXPECT_STREQ(last->value(), "19");
    EXPECT_FLOAT_EQ(last->confidence(), 0.25F);

    const IEventMetadata* const raw = event.get();
    event.reset();
    EXPECT_EQ(countOf(raw), 2); // the two attribute references
    EXPECT_EQ(speed->type(), 1);
    EXPECT_STREQ(speed->name(), "Speed");
    EXPECT_STREQ(speed->value(), "42");
    EXPECT_FLOAT_EQ(speed->confidence(), 1.0F);
    speed.reset(); // the last reference but one; the event goes with the last
}

// A text set again takes its new value whether it is longer or shorter, also past the event's storage.
TEST(EventMetadata, TextsSetAgain)
{
    const auto event = makePtr<EventMetadata>();
    for (const std::string& text : {std::string("short"), std::string(600, 'l'), std::string("s"), std::string()}) {
        SCOPED_TRACE(text.size());
        event->setTypeId(text);
        event->setCaption(text);
        event->setDescription(text);
        event->setKey(text);
        for (const char* value : {event->typeId(), event->caption(), event->description(), event->key()})
            EXPECT_EQ(value, text);
    }
}

// A text set from a view into itself (a part cut off its front or its end) fits its own room, where the
// old and the new text overlap.
TEST(EventMetadata, TextSetFromAViewOfItself)
{
    using Setter = void (EventMetadata::*)(std::string_view);
    using Getter = const char* (EventMetadata::*)() const;
    const struct
    {
        const char* name;
        Setter set;
        Getter get;
    } fields[] = {
        {"type id", &EventMetadata::setTypeId, &EventMetadata::typeId},
        {"caption", &EventMetadata::setCaption, &EventMetadata::caption},
        {"description", &EventMetadata::setDescription, &EventMetadata::description},
        {"key", &EventMetadata::setKey, &EventMetadata::key},
    };
    for (const auto& field : fields) {
        SCOPED_TRACE(field.name);
        const auto event = makePtr<EventMetadata>();
        (*event.*field.set)("vendor.lineCrossing");
        const std::string_view whole = (*event.*field.get)();
        (*event.*field.set)(whole.substr(std::string_view("vendor.").size()));
        EXPECT_STREQ((*event.*field.get)(), "lineCrossing");
        (*event.*field.set)(std::string_view((*event.*field.get)()).substr(0, 4));
        EXPECT_STREQ((*event.*field.get)(), "line");
        (*event.*field.set)((*event.*field.get)());
        EXPECT_STREQ((*event.*field.get)(), "line");
    }
}

TEST(ObjectMetadata, DefaultsAndFields)
{
    const auto object = makePtr<ObjectMetadata>();
    EXPECT_STREQ(object->typeId(), "");
    EXPECT_STREQ(object->extraText(), "");
    EXPECT_FLOAT_EQ(object->confidence(), 1.0F);
    Uuid trackId = makeRandomUuid();
    object->getTrackId(&trackId);
    EXPECT_TRUE(trackId.isNull());
    BoundingBox box{1, 2, 3, 4};
    object->getBoundingBox(&box);
    EXPECT_EQ(box, (BoundingBox{-1, -1, -1, -1}));

    object->setBoundingBox({0.1F, 0.2F, 0.3F, 0.4F});
    object->getBoundingBox(&box);
    EXPECT_EQ(box, (BoundingBox{0.1F, 0.2F, 0.3F, 0.4F}));
    object->getBoundingBox(nullptr); // nothing to write to; nothing happens
    object->getTrackId(nullptr);
}

// Event and object packets: defaults, items retained in order, out-of-range indexes, release on clear.
template <class Packet, class Item>
void checkCompoundPacket(const char* nullItemCondition)
{
    DebugCapture capture;
    const auto packet = makePtr<Packet>();
    EXPECT_EQ(packet->timestampUs(), -1);
    EXPECT_EQ(packet->durationUs(), -1);
    EXPECT_EQ(packet->flags(), 0);
    EXPECT_EQ(packet->itemCount(), 0);
    EXPECT_EQ(packet->getItem(0), nullptr);

    const auto first = makePtr<Item>();
    const auto second = makePtr<Item>();
    packet->addItem(first.get());
    packet->addItem(second.get());
    packet->addItem(first.get());
    packet->addItem(nullptr);
    EXPECT_EQ(capture.countLinesContaining(nullItemCondition), 1);
    ASSERT_EQ(packet->itemCount(), 3);
    EXPECT_EQ(countOf(first.get()), 3); // ours and two in the packet

    for (const int32_t index : {-1, 3}) {
        SCOPED_TRACE(index);
        EXPECT_EQ(packet->getItem(index), nullptr);
    }
    const Ptr<const IMetadata> item = toPtr(packet->getItem(1));
    EXPECT_EQ(item.get(), static_cast<const IMetadata*>(second.get()));
    EXPECT_EQ(countOf(second.get()), 3);

    packet->setTimestampUs(1'700'000'000'000'000);
    packet->setDurationUs(0);
    packet->setFlags(kTimestampFromDeviceFlag);
    EXPECT_EQ(packet->timestampUs(), 1'700'000'000'000'000);
    EXPECT_EQ(packet->durationUs(), 0);
    EXPECT_EQ(packet->flags(), 1);

    packet->clear();
    EXPECT_EQ(packet->itemCount(), 0);
    EXPECT_EQ(countOf(first.get()), 1);
}

// An item handed over by Ptr keeps its one reference, now the packet's; a null Ptr is reported as the
// null pointer is, and beyond the first item the list grows as before.
template <class Packet, class Item>
void checkItemsHandedOver(const char* nullItemCondition)
{
    DebugCapture capture;
    const auto packet = makePtr<Packet>();
    auto first = makePtr<Item>();
    const Item* const firstItem = first.get();
    packet->addItem(std::move(first));
    EXPECT_EQ(first, nullptr);
    EXPECT_EQ(countOf(firstItem), 1);

    packet->addItem(Ptr<Item>());
    EXPECT_EQ(capture.countLinesContaining(nullItemCondition), 1);

    const auto second = makePtr<Item>();
    packet->addItem(second.get());
    packet->addItem(makePtr<Item>());
    ASSERT_EQ(packet->itemCount(), 3);
    const Ptr<const IMetadata> item = toPtr(packet->getItem(0));
    EXPECT_EQ(item.get(), static_cast<const IMetadata*>(firstItem));
    EXPECT_EQ(countOf(second.get()), 2);
}

TEST(MetadataPacket, ItemsHandedOver)
{
    {
        SCOPED_TRACE("EventMetadataPacket");
        checkItemsHandedOver<EventMetadataPacket, EventMetadata>("(eventMetadata)");
    }
    {
        SCOPED_TRACE("ObjectMetadataPacket");
        checkItemsHandedOver<ObjectMetadataPacket, ObjectMetadata>("(objectMetadata)");
    }
}

TEST(MetadataPacket, EventAndObjectPackets)
{
    {
        SCOPED_TRACE("EventMetadataPacket");
        checkCompoundPacket<EventMetadataPacket, EventMetadata>("(eventMetadata)");
    }
    {
        SCOPED_TRACE("ObjectMetadataPacket");
        checkCompoundPacket<ObjectMetadataPacket, ObjectMetadata>("(objectMetadata)");
    }
}

// Past the items a packet keeps inside itself, the list still holds every item in order.
TEST(MetadataPacket, ManyItemsKeepTheirOrder)
{
    const auto packet = makePtr<EventMetadataPacket>();
    std::vector<Ptr<EventMetadata>> items;
    for (int i = 0; i < 50; ++i) {
        items.push_back(makePtr<EventMetadata>());
        items.back()->setKey(std::to_string(i));
        packet->addItem(items.back().get());
    }
    ASSERT_EQ(packet->itemCount(), 50);
    for (int i = 0; i < 50; ++i) {
        const auto item = toPtr(static_cast<const IEventMetadata*>(packet->getItem(i)));
        ASSERT_TRUE(item);
        EXPECT_STREQ(item->key(), std::to_string(i).c_str());
    }
}

TEST(MetadataPacket, DestroyingAPacketReleasesItsItems)
{
    const auto item = makePtr<EventMetadata>();
    {
        const auto packet = makePtr<EventMetadataPacket>();
        packet->addItem(item.get());
        EXPECT_EQ(countOf(item.get()), 2);
    }
    EXPECT_EQ(countOf(item.get()), 1);
}

TEST(BestShot, ConstructionAndImage)
{
    const Uuid trackId = makeRandomUuid();
    const auto bestShot = makePtr<ObjectTrackBestShotPacket>(trackId, 123, BoundingBox{1, 2, 3, 4});
    Uuid readTrackId;
    bestShot->getTrackId(&readTrackId);
    EXPECT_EQ(readTrackId, trackId);
    BoundingBox box;
    bestShot->getBoundingBox(&box);
    EXPECT_EQ(box, (BoundingBox{1, 2, 3, 4}));
    EXPECT_EQ(bestShot->timestampUs(), 123);
    EXPECT_EQ(bestShot->flags(), 0);
    EXPECT_STREQ(bestShot->imageUrl(), "");
    EXPECT_STREQ(bestShot->imageDataFormat(), "");
    EXPECT_EQ(bestShot->imageData(), nullptr);
    EXPECT_EQ(bestShot->imageDataSize(), 0);

    bestShot->setImage("image/jpeg", {'\xFF', '\xD8', '\xFF'});
    EXPECT_STREQ(bestShot->imageDataFormat(), "image/jpeg");
    ASSERT_EQ(bestShot->imageDataSize(), 3);
    ASSERT_NE(bestShot->imageData(), nullptr);
    EXPECT_EQ(std::string(bestShot->imageData(), 3), "\xFF\xD8\xFF");

    bestShot->setImageData({});
    EXPECT_EQ(bestShot->imageData(), nullptr);
    bestShot->setImageUrl("http://camera/best.jpg");
    EXPECT_STREQ(bestShot->imageUrl(), "http://camera/best.jpg");

    const auto defaults = makePtr<ObjectTrackBestShotPacket>(trackId);
    EXPECT_EQ(defaults->timestampUs(), -1);
    defaults->getBoundingBox(&box);
    EXPECT_EQ(box, BoundingBox());
}

// imageDataSize() is an int32: an image of 2 GiB or more cannot be described and is refused.
TEST(BestShot, ImageSizeLimit)
{
    struct Row
    {
        size_t size;
        bool accepted;
    };
    const std::vector<Row> rows{
        {0, true},
        {ObjectTrackBestShotPacket::kMaxImageDataSize - 1, true},
        {ObjectTrackBestShotPacket::kMaxImageDataSize, false},
        {size_t{1} << 32, false}, // would wrap to 0 in an int32
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.size);
        DebugCapture capture;
        EXPECT_EQ(ObjectTrackBestShotPacket::checkImageDataSize(row.size), row.accepted);
        EXPECT_EQ(capture.countLinesContaining("size < kMaxImageDataSize"), row.accepted ? 0 : 1);
    }
    EXPECT_EQ(ObjectTrackBestShotPacket::kMaxImageDataSize - 1, size_t{INT32_MAX});
}

} // namespace
} // namespace vorn::sdk::test
