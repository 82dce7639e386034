// RtpMetadataParser: turns the object lists of the camera's metadata stream into object metadata
// packets whose track ids stay the same for the camera's object number.
//
//     RtpMetadataParser parser([agent](auto packet) { agent->pushMetadataPacket(packet); }, host);
//     parser.parseMetadata(packet->data(), packet->dataSize(), packet->timestampUs());
//
// Rules:
// - It has no thread of its own: everything runs inside parseMetadata(), on the caller's thread, one
//   call at a time.
// - A track lives from the first valid sighting of its object number until an expiry pass finds it
//   unseen for kTrackTimeout. Expiry passes run after an object list, at most once per
//   kCleanupInterval, on the ScaledClock (tests drive it with FakeMonotonicTime).
// - Malformed blobs are reported (assertions and log lines) and never read past their end.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <string_view>

#include <QtCore/QString>

#include <vorn/sdk/analytics/i_metadata_packet.h>
#include <vorn/sdk/ptr.h>
#include <vorn/sdk/uuid.h>
#include <vorn/utils/elapsed_timer.h>

#include "rtp_types.h"

namespace vorn::vms_server_plugins::analytics::zodivadad {

class RtpMetadataParser
{
public:
    using PacketSink = std::function<void(const sdk::Ptr<sdk::analytics::IMetadataPacket>&)>;

    static constexpr std::chrono::milliseconds kTrackTimeout{30'000};
    static constexpr std::chrono::milliseconds kCleanupInterval{60'000};
    static constexpr int64_t kObjectDurationUs = 100'000;

    /**
     * @param host The camera host, the suffix of the parser's own log tag.
     * @param logTag The tag of the log lines, when the parser logs for its owner; empty: its own.
     */
    RtpMetadataParser(PacketSink sink, QString host, QString logTag = {});

    /** One blob of the metadata stream; a negative size or null data with a size is ignored. */
    void parseMetadata(const char* data, int32_t size, int64_t timestampUs);

    QString logTagSuffix() const { return m_host; }

private:
    struct Track
    {
        sdk::Uuid trackId;
        vorn::utils::ElapsedTimer lastSeen;
    };

    void processObjects(const rtsp::SubclassHeader& header, std::string_view data, int64_t timestampUs);
    void clearExpiredTracks();

    const PacketSink m_sink;
    const QString m_host;
    const QString m_logTag;
    std::map<uint32_t, Track> m_tracks; //< By the camera's object number.
    vorn::utils::ElapsedTimer m_cleanupTimer;
};

} // namespace vorn::vms_server_plugins::analytics::zodivadad
