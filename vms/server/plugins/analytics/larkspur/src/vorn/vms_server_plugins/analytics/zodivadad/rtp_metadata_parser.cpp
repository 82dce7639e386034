#include "rtp_metadata_parser.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <string_view>

#include <QtCore/QLatin1String>

#include <vorn/log_support/assert.h>
#include <vorn/log_support/log.h>
#include <vorn/sdk/analytics/helpers/object_metadata.h>
#include <vorn/sdk/analytics/helpers/object_metadata_packet.h>
#include <vorn/sdk/helpers/uuid.h>

namespace vorn::vms_server_plugins::analytics::zodivadad {

using sdk::makePtr;
using sdk::analytics::BoundingBox;
using sdk::analytics::ObjectMetadata;
using sdk::analytics::ObjectMetadataPacket;

namespace {

constexpr int32_t kCameraTimeFlag = 1; //< Flag bit 0: the timestamp came from the camera's stream.

// "Sent track 42 uuid { 12, 0, 255, ... } type vorn.zodivadad.Person": the identifier's bytes in
// decimal. Written into one text of its final size, since the line is built for every object of every
// packet when detail is logged; made of ASCII only (the type ids are ours).
QString sentTrackText(uint32_t number, const sdk::Uuid& trackId, std::string_view typeId)
{
    std::array<char, 10> numberDigits{}; //< uint32 in decimal.
    const char* numberEnd = std::to_chars(numberDigits.data(), numberDigits.data() + numberDigits.size(), number).ptr;

    // "{ " + 16 numbers of up to 3 digits + 15 ", " + " }".
    std::array<char, 2 + 16 * 3 + 15 * 2 + 2> uuidText{};
    char* out = uuidText.data();
    const auto put = [&out](std::string_view part) { out = std::copy(part.begin(), part.end(), out); };
    put("{ ");
    for (std::size_t i = 0; i < trackId.bytes.size(); ++i) {
        if (i != 0)
            put(", ");
        out = std::to_chars(out, uuidText.data() + uuidText.size(), trackId.bytes[i]).ptr;
    }
    put(" }");

    const QLatin1String parts[] = {
        QLatin1String("Sent track "),
        QLatin1String(numberDigits.data(), static_cast<int>(numberEnd - numberDigits.data())),
        QLatin1String(" uuid "),
        QLatin1String(uuidText.data(), static_cast<int>(out - uuidText.data())),
        QLatin1String(" type "),
        QLatin1String(typeId.data(), static_cast<int>(typeId.size())),
    };
    int size = 0;
    for (const QLatin1String& part : parts)
        size += part.size();
    QString line;
    line.reserve(size);
    for (const QLatin1String& part : parts)
        line.append(part);
    return line;
}

bool isInsideFrame(const BoundingBox& box)
{
    return box.x >= 0 && box.y >= 0 && box.width >= 0 && box.height >= 0 && box.x + box.width <= 1 &&
           box.y + box.height <= 1;
}

} // namespace

RtpMetadataParser::RtpMetadataParser(PacketSink sink, QString host, QString logTag)
    : m_sink(std::move(sink))
    , m_host(std::move(host))
    , m_logTag(logTag.isEmpty() ? log_support::objectLogTag(this) : std::move(logTag))
{}

void RtpMetadataParser::parseMetadata(const char* data, int32_t size, int64_t timestampUs)
{
    if (size < 0 || (!data && size != 0)) {
        VN_LOG(5, m_logTag, "Metadata packet with a data size of %1 ignored", size);
        return;
    }
    const std::string_view metadata(data, static_cast<std::size_t>(size));

    std::size_t shift = 0;
    if (metadata.size() >= rtsp::kBlobHeaderSize) {
        shift = rtsp::kBlobHeaderSize;
        while (shift < metadata.size()) {
            const std::optional<rtsp::SubclassHeader> header = rtsp::SubclassHeader::read(metadata.substr(shift));
            if (!header) {
                VN_ASSERT_LIMITED(shift + sizeof(rtsp::SubclassHeader) <= metadata.size());
                break;
            }
            const rtsp::SubclassHeader& subclassHeader = *header;
            if (subclassHeader.startCode != rtsp::kStartCodeMagic
                && !VN_REPORT_LIMITED("subclassHeader.startCode == kStartCodeMagic"))
                break;
            const uint64_t dataSize = subclassHeader.dataSize();
            if (dataSize == 0 && !VN_REPORT_LIMITED("subclassHeader.dataSize() > 0"))
                break;

            const uint64_t subclassSize = sizeof(rtsp::SubclassHeader) + dataSize;
            if (shift + subclassSize > metadata.size()) {
                VN_LOG(5, m_logTag, "Metadata record of %1 bytes at offset %2 of a %3-byte packet; rest skipped",
                       subclassSize, shift, metadata.size());
                VN_ASSERT_LIMITED(shift + subclassSize <= metadata.size());
                break;
            }

            if (subclassHeader.eventId == rtsp::kObjectListEventId) {
                processObjects(
                    subclassHeader,
                    metadata.substr(shift + sizeof(rtsp::SubclassHeader), static_cast<std::size_t>(dataSize)),
                    timestampUs);
            } else if (subclassHeader.eventId > rtsp::kMaxEventId) {
                VN_ASSERT_LIMITED(false, "Unknown event id");
            }
            shift += static_cast<std::size_t>(subclassSize);
        }
    }
    VN_ASSERT_LIMITED(shift == metadata.size());
}

void RtpMetadataParser::processObjects(const rtsp::SubclassHeader& header, std::string_view data, int64_t timestampUs)
{
    ObjectList list;
    switch (readObjectList(data, header.itemCount, &list)) {
    case ObjectListStatus::ok:
        break;
    case ObjectListStatus::noResolution:
        VN_LOG(5, m_logTag, "Object list of %1 bytes has no frame size; skipped", data.size());
        return;
    case ObjectListStatus::missingObjects:
        VN_LOG(5, m_logTag, "Object list of %1 bytes cannot hold its %2 objects; skipped", data.size(),
               header.itemCount);
        return;
    }

    const ResolutionBase& resolutionBase = list.resolution;
    if (!resolutionBase.isValid()) {
        VN_ASSERT_LIMITED(resolutionBase.isValid());
        VN_LOG(5, m_logTag, "Object list with frame size %1x%2 skipped", resolutionBase.width, resolutionBase.height);
        return;
    }

    auto packet = makePtr<ObjectMetadataPacket>();
    for (const DetectedObject& object : list.objects) {
        std::string typeId = objectTypeId(object.type);
        const BoundingBox box = boxToRect(object.x1, object.y1, object.x2, object.y2, resolutionBase);
        if (typeId.empty() || !isInsideFrame(box))
            continue;

        Track& track = m_tracks[object.number];
        track.lastSeen.restart();
        if (track.trackId.isNull())
            track.trackId = sdk::makeRandomUuid();

        VN_LOG(6, m_logTag, sentTrackText(object.number, track.trackId, typeId));

        auto metadata = makePtr<ObjectMetadata>();
        metadata->setTypeId(std::move(typeId));
        metadata->setTrackId(track.trackId);
        metadata->setBoundingBox(box);
        packet->addItem(metadata.get());
    }

    if (packet->itemCount() > 0) {
        packet->setDurationUs(kObjectDurationUs);
        packet->setTimestampUs(timestampUs);
        packet->setFlags(packet->flags() | kCameraTimeFlag);
        m_sink(packet);
    }

    if (!m_cleanupTimer.isValid())
        m_cleanupTimer.restart();
    clearExpiredTracks();
}

void RtpMetadataParser::clearExpiredTracks()
{
    if (m_tracks.empty() || !m_cleanupTimer.hasExpired(kCleanupInterval))
        return;

    VN_LOG(5, m_logTag, "Clearing expired object tracks");
    for (auto it = m_tracks.begin(); it != m_tracks.end();) {
        if (it->second.lastSeen.hasExpired(kTrackTimeout)) {
            VN_LOG(6, m_logTag, "Clearing expired track %1", it->first);
            it = m_tracks.erase(it);
        } else {
            ++it;
        }
    }
    m_cleanupTimer.restart();
}

} // namespace vorn::vms_server_plugins::analytics::zodivadad
