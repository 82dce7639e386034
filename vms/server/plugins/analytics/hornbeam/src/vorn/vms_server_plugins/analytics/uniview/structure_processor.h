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
// up). Anyone who reaches the push receiver can send objects with ids never seen before, so the live
// tracks are also bounded: past kMaxTracks, the track seen longest ago goes first, as a sweep would have
// dropped it. A dropped track that shows up again is a new track with a new id.
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

#include <boost/intrusive/list.hpp>

#include <vorn/kit/json.h>
#include <vorn/sdk/analytics/i_metadata_packet.h>
#include <vorn/sdk/ptr.h>
#include <vorn/sdk/uuid.h>
#include <vorn/utils/elapsed_timer.h>

#include "object.h"

namespace vorn::vms_server_plugins::analytics::uniview {

class DeviceAgent;

/** A track's key: the object's type id and the camera's object id. */
using TrackKey = std::pair<std::string, int>;

struct ObjectTrack
{
    vorn::sdk::Uuid trackId;
    bool bestShotSent = false;
    vorn::utils::BasicElapsedTimer<std::chrono::milliseconds> lastSeen;
    /** The track's own key in its processor's map, and its place in the processor's order of sightings. */
    const TrackKey* key = nullptr;
    boost::intrusive::list_member_hook<> seenOrderHook;
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
    // 4096 tracks: a scene holds at most a few hundred objects at a time, and a track lives for at most
    // kTrackLifetime + kSweepInterval, so a real camera stays far below this. It bounds what a sender of
    // made-up object ids can make the processor hold to about a megabyte.
    static constexpr std::size_t kMaxTracks = 4096;

    explicit StructureProcessor(DeviceAgent* deviceAgent);
    // The order of sightings links the tracks of the map.
    StructureProcessor(const StructureProcessor&) = delete;
    StructureProcessor& operator=(const StructureProcessor&) = delete;

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

    using TrackMap = std::map<TrackKey, ObjectTrack>;
    using SeenOrder = boost::intrusive::list<
        ObjectTrack,
        boost::intrusive::member_hook<ObjectTrack, boost::intrusive::list_member_hook<>, &ObjectTrack::seenOrderHook>>;

    /** The track of the key, made when there is none; it is now the one seen last. */
    ObjectTrack& seeTrack(TrackKey key);
    TrackMap::iterator eraseTrack(TrackMap::iterator track);

    DeviceAgent* const m_deviceAgent;
    TrackMap m_tracks;
    // The tracks of m_tracks, the one seen longest ago first: the track to drop past kMaxTracks, found
    // without a walk over all tracks and linked through the tracks themselves, so that it costs no
    // allocation. Declared after m_tracks, so that it unlinks them before they are destroyed.
    SeenOrder m_seenOrder;
    vorn::utils::BasicElapsedTimer<std::chrono::milliseconds> m_sweepTimer;
};

} // namespace vorn::vms_server_plugins::analytics::uniview
