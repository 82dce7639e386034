#include "structure_processor.h"

#include <cmath>

#include <vorn/log_support/assert.h>
#include <vorn/log_support/log.h>
#include <vorn/log_support/peer_text.h>
#include <vorn/sdk/analytics/helpers/object_metadata.h>
#include <vorn/sdk/analytics/helpers/object_metadata_packet.h>
#include <vorn/sdk/analytics/helpers/object_track_best_shot_packet.h>
#include <vorn/sdk/helpers/uuid.h>
#include <vorn/utils/base64.h>

#include "device_agent.h"
#include "lapi.h"

namespace vorn::vms_server_plugins::analytics::uniview {

using vorn::log_support::PeerText;

using Json = vorn::kit::detail::json11::Json;
using namespace vorn::sdk;
using namespace vorn::sdk::analytics;

namespace {

// 2^43 s is beyond the year 270000, and 2^43 * 10^6 still fits 63 bits.
constexpr double kMaxTimestampSeconds = 8'796'093'022'208.0;

} // namespace

StructureProcessor::StructureProcessor(DeviceAgent* deviceAgent)
    : m_deviceAgent(deviceAgent)
{}

QString StructureProcessor::logTagSuffix() const
{
    return m_deviceAgent->deviceUrlText();
}

std::optional<int64_t> StructureProcessor::timestampUsOf(const Json& value)
{
    if (!value.is_number())
        return std::nullopt;
    const double seconds = std::trunc(value.number_value());
    if (!(std::fabs(seconds) < kMaxTimestampSeconds))
        return std::nullopt; // NaN, infinity, or out of range
    return static_cast<int64_t>(seconds) * 1'000'000;
}

MetadataPackets StructureProcessor::process(std::string_view body)
{
    VN_LOG(6, this, "Received object data: %1", PeerText(body));
    std::string error;
    const Json json = Json::parse(body, error);
    if (!json.is_object()) {
        VN_LOG(3, this, kLapiJsonParsingFailedFormat, error, PeerText(body));
        return {};
    }
    const std::optional<int64_t> timestampUs = timestampUsOf(json["TimeStamp"]);

    // Both checks are of the pushed bytes, which anyone who reaches the receiver can send: reported through
    // the limiter, so that a sender that repeats the fault cannot flood the log.
    const Json& structureInfo = json["StructureInfo"];
    if (!VN_ASSERT_LIMITED(structureInfo.is_object())) {
        VN_LOG(3, this, "StructureInfo node not found");
        return {};
    }
    std::map<int, ImageInfo> images = parseImages(structureInfo);

    std::vector<Object> objects;
    const Json& objInfo = structureInfo["ObjInfo"];
    if (VN_ASSERT_LIMITED(objInfo.is_object())) {
        for (const ObjectTypeDescriptor& type : kObjectTypes) {
            std::vector<Object> ofType = parseObjects(objInfo, type);
            std::move(ofType.begin(), ofType.end(), std::back_inserter(objects));
        }
    }
    MetadataPackets packets = sendObjects(std::move(objects), std::move(images), timestampUs);
    sweep();
    return packets;
}

std::map<int, ImageInfo> StructureProcessor::parseImages(const Json& structureInfo) const
{
    std::map<int, ImageInfo> images;
    for (const Json& item : structureInfo["ImageInfoList"].array_items()) {
        ImageInfo image = parseImage(item);
        if (image.data || image.url)
            images[image.index] = std::move(image);
    }
    const int imageNum = structureInfo["ImageNum"].int_value();
    if (imageNum < 0 || static_cast<std::size_t>(imageNum) != images.size())
        VN_LOG(3, this, "Expected %1 images, got %2", imageNum, images.size());
    return images;
}

ImageInfo StructureProcessor::parseImage(const Json& item) const
{
    ImageInfo image;
    if (!item.is_object()) {
        VN_LOG(3, this, "Expected object with image data");
        return image;
    }
    image.index = item["Index"].int_value();
    const Json& data = item["Data"];
    const Json& url = item["URL"];
    if (data.is_string() && !data.string_value().empty())
        image.data = data.string_value();
    else if (url.is_string() && !url.string_value().empty())
        image.url = url.string_value();
    return image;
}

std::vector<Object> StructureProcessor::parseObjects(const Json& objInfo, const ObjectTypeDescriptor& type) const
{
    const Json::array& items = objInfo[type.listKey].array_items();
    std::vector<Object> objects;
    objects.reserve(items.size());
    for (const Json& item : items) {
        if (!item.is_object()) {
            VN_LOG(3, this, "Invalid Json - object expected for type %1", type.typeId);
            continue;
        }
        if (std::optional<Object> object = Object::fromJson(item, type))
            objects.push_back(std::move(*object));
    }
    VN_LOG(6, this, "Parsed %1 (expected %2) %3 objects", objects.size(), objInfo[type.countKey].int_value(),
           type.typeId);
    return objects;
}

MetadataPackets StructureProcessor::sendObjects(std::vector<Object> objects, std::map<int, ImageInfo> images,
                                                std::optional<int64_t> timestampUs)
{
    MetadataPackets packets;
    if (objects.empty())
        return packets;

    const auto objectPacket = makePtr<ObjectMetadataPacket>();
    objectPacket->setDurationUs(objects.front().durationUs);
    objectPacket->setTimestampUs(timestampUs ? *timestampUs : m_deviceAgent->serverTimeUs());
    if (timestampUs)
        objectPacket->setFlags(objectPacket->flags() | kTimestampFromDeviceFlag);
    packets.push_back(objectPacket);

    for (Object& object : objects) {
        ObjectTrack& track = seeTrack({object.typeId, object.id});
        if (track.trackId.isNull())
            track.trackId = makeRandomUuid();

        const BoundingBox box{object.x, object.y, object.width, object.height};
        const auto metadata = makePtr<ObjectMetadata>();
        metadata->setTypeId(object.typeId);
        metadata->setTrackId(track.trackId);
        metadata->setBoundingBox(box);
        metadata->addAttributes(std::move(object.attributes));
        objectPacket->addItem(metadata.get());

        if (track.bestShotSent)
            continue;
        const auto image = images.find(object.smallPicIndex);
        if (image == images.end() || (!image->second.data && !image->second.url))
            continue;
        const auto bestShot = makePtr<ObjectTrackBestShotPacket>(Uuid());
        bestShot->setTimestampUs(timestampUs ? *timestampUs : m_deviceAgent->serverTimeUs());
        if (timestampUs)
            bestShot->setFlags(bestShot->flags() | kTimestampFromDeviceFlag);
        bestShot->setTrackId(track.trackId);
        bestShot->setBoundingBox(box);
        if (image->second.url) {
            bestShot->setImageUrl(*image->second.url);
        } else {
            std::optional<std::vector<char>> bytes = decodeImage(*image->second.data);
            if (!bytes) {
                VN_LOG(5, this, "Picture %1 of %2 %3 is not Base64; no best shot from it", image->first, object.typeId,
                       object.id);
                continue;
            }
            bestShot->setImage(kImageFormat, std::move(*bytes));
        }
        track.bestShotSent = true;
        packets.push_back(bestShot);
    }
    return packets;
}

ObjectTrack& StructureProcessor::seeTrack(TrackKey key)
{
    const auto [track, isNew] = m_tracks.try_emplace(std::move(key));
    if (isNew)
        track->second.key = &track->first;
    else
        m_seenOrder.erase(m_seenOrder.iterator_to(track->second));
    m_seenOrder.push_back(track->second);
    track->second.lastSeen.restart();

    if (m_tracks.size() > kMaxTracks) {
        // Never the track just seen: that one is last in the order.
        const auto oldest = m_tracks.find(*m_seenOrder.front().key);
        VN_LOG(6, this, "More than %1 tracks: dropping track %2 %3, the one seen longest ago", kMaxTracks,
               oldest->first.first, oldest->first.second);
        eraseTrack(oldest);
    }
    return track->second;
}

StructureProcessor::TrackMap::iterator StructureProcessor::eraseTrack(TrackMap::iterator track)
{
    m_seenOrder.erase(m_seenOrder.iterator_to(track->second));
    return m_tracks.erase(track);
}

std::optional<std::vector<char>> StructureProcessor::decodeImage(const std::string& base64) const
{
    const int64_t size = vorn::utils::fromBase64(base64, nullptr);
    if (size < 0)
        return std::nullopt;
    std::vector<char> bytes(static_cast<std::size_t>(size));
    bytes.resize(static_cast<std::size_t>(vorn::utils::fromBase64(base64, bytes.data())));
    return bytes;
}

void StructureProcessor::sweep()
{
    if (!m_sweepTimer.isValid())
        m_sweepTimer.restart();
    expireTracks();
}

void StructureProcessor::expireTracks()
{
    if (m_tracks.empty())
        return;
    if (!m_sweepTimer.hasExpired(kSweepInterval))
        return;
    VN_LOG(5, this, "Clearing expired object tracks");
    for (auto it = m_tracks.begin(); it != m_tracks.end();) {
        if (it->second.lastSeen.hasExpired(kTrackLifetime)) {
            VN_LOG(6, this, "Clearing expired track %1 %2", it->first.first, it->first.second);
            it = eraseTrack(it);
        } else {
            ++it;
        }
    }
    m_sweepTimer.restart();
}

} // namespace vorn::vms_server_plugins::analytics::uniview
