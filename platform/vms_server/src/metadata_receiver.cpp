#include <vorn/vms_server/metadata_receiver.h>

#include <optional>
#include <string>
#include <type_traits>
#include <utility>

#include <vorn/sdk/ptr.h>

namespace vorn::vms_server {

using namespace sdk::analytics;

namespace {

std::string text(const char* value)
{
    // Most of the optional texts are empty: they take no measuring.
    return value && *value ? std::string(value) : std::string();
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

// Copies an event item through the interface version it answers: I is IEventMetadata0, IEventMetadata1 or
// IEventMetadata, and the fields of the newer versions stay unset for the older ones.
template <class I>
bool copyEventFields(const I& item, ReceivedEventItem* out, std::string* error)
{
    out->typeId = text(item.typeId());
    out->confidence = item.confidence();
    out->caption = text(item.caption());
    out->description = text(item.description());
    out->isActive = item.isActive();
    if constexpr (std::is_base_of_v<IEventMetadata1, I>) {
        sdk::Uuid trackId;
        item.getTrackId(&trackId);
        out->trackId = trackId;
    }
    if constexpr (std::is_base_of_v<IEventMetadata, I>)
        out->key = text(item.key());
    return copyAttributes(item, &out->attributes, error);
}

bool copyEventItem(const IMetadata& item, ReceivedEventItem* out, std::string* error)
{
    // The newest version first: an item that answers it answers the older ones through its bases.
    if (const auto v2 = sdk::queryInterface<IEventMetadata>(&item))
        return copyEventFields(*v2, out, error);
    if (const auto v1 = sdk::queryInterface<IEventMetadata1>(&item))
        return copyEventFields(*v1, out, error);
    if (const auto v0 = sdk::queryInterface<IEventMetadata0>(&item))
        return copyEventFields(*v0, out, error);
    *error = "an item of an event packet is not event metadata";
    return false;
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

// The flags are given from the packet interface's second version on.
ReceivedRecord copyEventPacket(const IEventMetadataPacket0& packet, std::optional<int32_t> flags)
{
    ReceivedEventPacket copy;
    copy.timestampUs = packet.timestampUs();
    copy.durationUs = packet.durationUs();
    copy.flags = flags;
    std::string error;
    if (!copyItems(packet, &copy.items, copyEventItem, &error))
        return ReceiverFault{"event packet: " + error};
    return copy;
}

ReceivedRecord copyObjectPacket(const IObjectMetadataPacket0& packet, std::optional<int32_t> flags)
{
    ReceivedObjectPacket copy;
    copy.timestampUs = packet.timestampUs();
    copy.durationUs = packet.durationUs();
    copy.flags = flags;
    std::string error;
    if (!copyItems(packet, &copy.items, copyObjectItem, &error))
        return ReceiverFault{"object packet: " + error};
    return copy;
}

// I is IObjectTrackBestShotPacket0, IObjectTrackBestShotPacket1 or IObjectTrackBestShotPacket.
template <class I>
ReceivedRecord copyBestShot(const I& packet)
{
    ReceivedBestShot copy;
    packet.getTrackId(&copy.trackId);
    copy.timestampUs = packet.timestampUs();
    packet.getBoundingBox(&copy.boundingBox);
    if constexpr (std::is_base_of_v<IObjectTrackBestShotPacket1, I>) {
        copy.imageUrl = text(packet.imageUrl());
        copy.imageFormat = text(packet.imageDataFormat());
        const int32_t size = packet.imageDataSize();
        const char* data = packet.imageData();
        if (size < 0 || size > MetadataReceiver::kMaxImageDataSize || (size > 0 && !data))
            return ReceiverFault{"best shot: image size " + std::to_string(size) + " out of range or without data"};
        if (size > 0)
            copy.imageData.assign(data, static_cast<std::size_t>(size));
        std::string error;
        if (!copyAttributes(packet, &copy.attributes, &error))
            return ReceiverFault{"best shot: " + error};
    }
    if constexpr (std::is_base_of_v<IObjectTrackBestShotPacket, I>)
        copy.flags = packet.flags();
    return copy;
}

// The copy of a packet through the newest interface version of its kind that it answers; each kind is
// tried from its newest version down, since an object that answers a version answers the older ones
// through its bases. Events before objects before best shots.
ReceivedRecord copyPacket(IMetadataPacket* packet)
{
    if (const auto events = sdk::queryInterface<IEventMetadataPacket>(packet))
        return copyEventPacket(*events, events->flags());
    if (const auto events = sdk::queryInterface<IEventMetadataPacket0>(packet))
        return copyEventPacket(*events, std::nullopt);
    if (const auto objects = sdk::queryInterface<IObjectMetadataPacket>(packet))
        return copyObjectPacket(*objects, objects->flags());
    if (const auto objects = sdk::queryInterface<IObjectMetadataPacket0>(packet))
        return copyObjectPacket(*objects, std::nullopt);
    if (const auto bestShot = sdk::queryInterface<IObjectTrackBestShotPacket>(packet))
        return copyBestShot(*bestShot);
    if (const auto bestShot = sdk::queryInterface<IObjectTrackBestShotPacket1>(packet))
        return copyBestShot(*bestShot);
    if (const auto bestShot = sdk::queryInterface<IObjectTrackBestShotPacket0>(packet))
        return copyBestShot(*bestShot);
    return ReceiverFault{"receiveMetadata() called with a packet that is no event, object or best-shot packet"};
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
    store(copyPacket(metadataPacket));
}

void MetadataReceiver::receiveDiagnosticEvent(sdk::IPluginDiagnosticEvent* event)
{
    if (!event)
        return store(ReceiverFault{"receiveDiagnosticEvent() called with a null event"});
    store(ReceivedDiagnostic{static_cast<int32_t>(event->level()), text(event->caption()), text(event->description())});
}

void MetadataReceiver::store(ReceivedRecord record)
{
    if (m_retention == Retention::keepRecords) {
        const std::lock_guard lock(m_recordsMutex);
        m_records.push_back(record);
        m_recordCount.fetch_add(1);
    } else {
        m_recordCount.fetch_add(1);
    }
    // Either this call sees a waiter that has counted itself, or that waiter's test sees the new count (both
    // sides are sequentially consistent); the mutex is taken so that a waiter between its test and its wait
    // cannot miss the notification.
    if (m_waiterCount.load() != 0) {
        { const std::lock_guard lock(m_recordsMutex); }
        m_recordsChanged.notify_all();
    }
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
    return m_recordCount.load();
}

bool MetadataReceiver::waitForRecords(std::size_t count, std::chrono::steady_clock::time_point deadline) const
{
    std::unique_lock lock(m_recordsMutex);
    m_waiterCount.fetch_add(1);
    const bool arrived = m_recordsChanged.wait_until(lock, deadline, [&] { return m_recordCount.load() >= count; });
    m_waiterCount.fetch_sub(1);
    return arrived;
}

} // namespace vorn::vms_server
