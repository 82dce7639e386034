// uniview::StructureProcessor: turns the objects that a Uniview camera reports into object metadata, one
// track per (type, camera object id), and one best shot per track.
//
//     StructureProcessor processor(deviceAgent);
//     deliver(processor.process(body));                          // a structured-data push
//     deliver(processor.sendObjects(seiObjects, {}, std::nullopt)); // SEI tracks, stamped by the server clock
//     processor.sweep();                                          // forget tracks unseen for 30 s
//
// Objects come by two roads: structure pushes (the push receiver's I/O thread) and SEI tracks (the thread
// that delivers video packets). Both share the tracks, so the processor is used under its owner's lock
// (the metadata monitor's); it takes none of its own. It never calls out to the server itself: the
// packets it makes are returned, and the owner hands them to the receiver after releasing its lock.
//
// Tracks not seen for kTrackLifetime are dropped by a sweep; sweeps run at most once per kSweepInterval,
// after a structure push and after SEI objects (so tracks of a camera that only sends SEI do not pile
// up). A dropped track that shows up again is a new track with a new id.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <QtCore/QString>

#include <vorn/kit/json.h>
#include <vorn/sdk/analytics/i_metadata_packet.h>
#include <vorn/sdk/ptr.h>
#include <vorn/sdk/uuid.h>
#include <vorn/utils/elapsed_timer.h>

#include "object.h"

namespace vorn::vms_server_plugins::analytics::uniview {

class DeviceAgent;

struct ObjectTrack
{
    vorn::sdk::Uuid trackId;
    bool bestShotSent = false;
    vorn::utils::BasicElapsedTimer<std::chrono::milliseconds> lastSeen;
};

struct ImageInfo
{
    std::optional<std::string> data; //< Base64 picture
    std::optional<std::string> url;
    int index = -1;
};

using MetadataPackets = std::vector<vorn::sdk::Ptr<vorn::sdk::analytics::IMetadataPacket>>;

class StructureProcessor
{
public:
    static constexpr std::chrono::milliseconds kTrackLifetime{30'000};
    static constexpr std::chrono::milliseconds kSweepInterval{60'000};
    static constexpr char kImageFormat[] = "image/jpeg";

    explicit StructureProcessor(DeviceAgent* deviceAgent);

    /** One structure push body; returns the object packet and best shots, in that order. */
    MetadataPackets process(std::string_view body);

    /** Objects with their pictures; without a timestamp the server clock stamps them. */
    MetadataPackets sendObjects(std::vector<Object> objects, std::map<int, ImageInfo> images,
                                std::optional<int64_t> timestampUs);

    /** Starts the sweep timer on first use, then sweeps when it is due. */
    void sweep();

    std::size_t trackCount() const { return m_tracks.size(); }
    QString logTagSuffix() const;

    /**
     * The camera's "TimeStamp" (epoch seconds) in microseconds; none when it is not a number or lies outside
     * what 64-bit microseconds can hold.
     */
    static std::optional<int64_t> timestampUsOf(const vorn::kit::detail::json11::Json& value);

private:
    std::map<int, ImageInfo> parseImages(const vorn::kit::detail::json11::Json& structureInfo) const;
    ImageInfo parseImage(const vorn::kit::detail::json11::Json& item) const;
    std::vector<Object> parseObjects(const vorn::kit::detail::json11::Json& objInfo,
                                     const ObjectTypeDescriptor& type) const;
    std::optional<std::vector<char>> decodeImage(const std::string& base64) const;
    void expireTracks();

    DeviceAgent* const m_deviceAgent;
    std::map<std::pair<std::string, int>, ObjectTrack> m_tracks;
    vorn::utils::BasicElapsedTimer<std::chrono::milliseconds> m_sweepTimer;
};

} // namespace vorn::vms_server_plugins::analytics::uniview
