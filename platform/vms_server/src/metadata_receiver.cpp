#include <vorn/vms_server/metadata_receiver.h>

#include <string>
#include <utility>

#include <vorn/sdk/ptr.h>

namespace vorn::vms_server {

using namespace sdk::analytics;

namespace {

std::string text(const char* value)
{
    return value ? std::string(value) : std::string();
}

// Copies the attributes of an item or best shot; Owner offers attributeCount() and getAttribute(i).
template <class Owner>
bool copyAttributes(const Owner& owner, std::vector<ReceivedAttribute>* out, std::string* error)
{
    const int32_t count = owner.attributeCount();
    if (count < 0 || count > MetadataReceiver::kMaxAttributesPerItem) {
        *error = "attribute count " + std::to_string(count) + " out of range";
        return false;
    }
    out->reserve(static_cast<std::size_t>(count));
    for (int32_t i = 0; i < count; ++i) {
        const auto attribute = sdk::toPtr(owner.getAttribute(i));
        if (!attribute) {
            *error = "attribute " + std::to_string(i) + " of " + std::to_string(count) + " is null";
            return false;
        }
        out->push_back({attribute->type(), text(attribute->name()), text(attribute->value()), attribute->confidence()});
    }
    return true;
}

bool checkItemCount(int32_t count, std::string* error)
{
    if (count >= 0 && count <= MetadataReceiver::kMaxItemsPerPacket)
        return true;
    *error = "item count " + std::to_string(count) + " out of range";
    return false;
}

bool copyEventItem(const IMetadata& item, ReceivedEventItem* out, std::string* error)
{
    const auto v0 = sdk::queryInterface<IEventMetadata0>(&item);
    if (!v0) {
        *error = "an item of an event packet is not event metadata";
        return false;
    }
    out->typeId = text(v0->typeId());
    out->confidence = v0->confidence();
    out->caption = text(v0->caption());
    out->description = text(v0->description());
    out->isActive = v0->isActive();
    if (const auto v1 = sdk::queryInterface<IEventMetadata1>(&item)) {
        sdk::Uuid trackId;
        v1->getTrackId(&trackId);
        out->trackId = trackId;
    }
    if (const auto v2 = sdk::queryInterface<IEventMetadata>(&item))
        out->key = text(v2->key());
    return copyAttributes(*v0, &out->attributes, error);
}

bool copyObjectItem(const IMetadata& item, ReceivedObjectItem* out, std::string* error)
{
    const auto object = sdk::queryInterface<IObjectMetadata>(&item);
    if (!object) {
        *error = "an item of an object packet is not object metadata";
        return false;
    }
    out->typeId = text(object->typeId());
    out->confidence = object->confidence();
    object->getTrackId(&out->trackId);
    out->extraText = text(object->extraText());
    object->getBoundingBox(&out->boundingBox);
    return copyAttributes(*object, &out->attributes, error);
}

// Copies the items of an event or object packet with copyItem(const IMetadata&, Item*, error).
template <class Item, class CopyItem>
bool copyItems(const ICompoundMetadataPacket& packet, std::vector<Item>* out, CopyItem copyItem, std::string* error)
{
    const int32_t count = packet.itemCount();
    if (!checkItemCount(count, error))
        return false;
    out->resize(static_cast<std::size_t>(count));
    for (int32_t i = 0; i < count; ++i) {
        const auto item = sdk::toPtr(packet.getItem(i));
        if (!item) {
            *error = "item " + std::to_string(i) + " of " + std::to_string(count) + " is null";
            return false;
        }
        if (!copyItem(*item, &(*out)[static_cast<std::size_t>(i)], error))
            return false;
    }
    return true;
}

ReceivedRecord copyEventPacket(const IEventMetadataPacket0& packet, IMetadataPacket* any)
{
    ReceivedEventPacket copy;
    copy.timestampUs = packet.timestampUs();
    copy.durationUs = packet.durationUs();
    if (const auto v1 = sdk::queryInterface<IEventMetadataPacket>(any))
        copy.flags = v1->flags();
    std::string error;
    if (!copyItems(packet, &copy.items, copyEventItem, &error))
        return ReceiverFault{"event packet: " + error};
    return copy;
}

ReceivedRecord copyObjectPacket(const IObjectMetadataPacket0& packet, IMetadataPacket* any)
{
    ReceivedObjectPacket copy;
    copy.timestampUs = packet.timestampUs();
    copy.durationUs = packet.durationUs();
    if (const auto v1 = sdk::queryInterface<IObjectMetadataPacket>(any))
        copy.flags = v1->flags();
    std::string error;
    if (!copyItems(packet, &copy.items, copyObjectItem, &error))
        return ReceiverFault{"object packet: " + error};
    return copy;
}

ReceivedRecord copyBestShot(const IObjectTrackBestShotPacket0& packet, IMetadataPacket* any)
{
    ReceivedBestShot copy;
    packet.getTrackId(&copy.trackId);
    copy.timestampUs = packet.timestampUs();
    packet.getBoundingBox(&copy.boundingBox);
    if (const auto v1 = sdk::queryInterface<IObjectTrackBestShotPacket1>(any)) {
        copy.imageUrl = text(v1->imageUrl());
        copy.imageFormat = text(v1->imageDataFormat());
        const int32_t size = v1->imageDataSize();
        const char* data = v1->imageData();
        if (size < 0 || size > MetadataReceiver::kMaxImageDataSize || (size > 0 && !data))
            return ReceiverFault{"best shot: image size " + std::to_string(size) + " out of range or without data"};
        if (size > 0)
            copy.imageData.assign(data, static_cast<std::size_t>(size));
        std::string error;
        if (!copyAttributes(*v1, &copy.attributes, &error))
            return ReceiverFault{"best shot: " + error};
    }
    if (const auto v2 = sdk::queryInterface<IObjectTrackBestShotPacket>(any))
        copy.flags = v2->flags();
    return copy;
}

} // namespace

MetadataReceiver::MetadataReceiver(Listener listener, Retention retention)
    : m_listener(std::move(listener))
    , m_retention(retention)
{}

void MetadataReceiver::receiveMetadata(IMetadataPacket* metadataPacket)
{
    if (!metadataPacket)
        return store(ReceiverFault{"receiveMetadata() called with a null packet"});
    // The newest layout first would skip older ones; the oldest id of each kind is answered by all.
    if (const auto events = sdk::queryInterface<IEventMetadataPacket0>(metadataPacket))
        return store(copyEventPacket(*events, metadataPacket));
    if (const auto objects = sdk::queryInterface<IObjectMetadataPacket0>(metadataPacket))
        return store(copyObjectPacket(*objects, metadataPacket));
    if (const auto bestShot = sdk::queryInterface<IObjectTrackBestShotPacket0>(metadataPacket))
        return store(copyBestShot(*bestShot, metadataPacket));
    store(ReceiverFault{"receiveMetadata() called with a packet that is no event, object or best-shot packet"});
}

void MetadataReceiver::receiveDiagnosticEvent(sdk::IPluginDiagnosticEvent* event)
{
    if (!event)
        return store(ReceiverFault{"receiveDiagnosticEvent() called with a null event"});
    store(ReceivedDiagnostic{static_cast<int32_t>(event->level()), text(event->caption()), text(event->description())});
}

void MetadataReceiver::store(ReceivedRecord record)
{
    {
        const std::lock_guard lock(m_recordsMutex);
        ++m_recordCount;
        if (m_retention == Retention::keepRecords)
            m_records.push_back(record);
    }
    m_recordsChanged.notify_all();
    if (m_listener)
        m_listener(record);
}

std::vector<ReceivedRecord> MetadataReceiver::records() const
{
    const std::lock_guard lock(m_recordsMutex);
    return m_records;
}

std::size_t MetadataReceiver::recordCount() const
{
    const std::lock_guard lock(m_recordsMutex);
    return m_recordCount;
}

bool MetadataReceiver::waitForRecords(std::size_t count, std::chrono::steady_clock::time_point deadline) const
{
    std::unique_lock lock(m_recordsMutex);
    return m_recordsChanged.wait_until(lock, deadline, [&] { return m_recordCount >= count; });
}

} // namespace vorn::vms_server
