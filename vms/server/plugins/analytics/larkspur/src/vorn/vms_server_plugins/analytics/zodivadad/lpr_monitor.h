// LprMonitor: the licence-plate push channel of a camera with licence-plate recognition.
//
// When it is made it checks the camera's licence-plate settings over the camera's CGI and switches on
// the nine that plates need (a blocking HTTP exchange, on the device agent's constructing thread).
// Once started, the base connects; the channel logs in with the camera's credentials and then turns
// every plate record the camera pushes into one object metadata packet with two objects, the plate and
// the vehicle that carries it, followed by up to two best shots with the record's smallest images, all
// handed to DeviceAgent::pushMetadataPacket() on the channel's I/O thread:
//
//     auto channel = std::make_unique<LprMonitor>(deviceAgent);      // checks the camera's settings
//     channel->setAddress(SocketAddress(host, DeviceAgent::kLprDefaultPort));
//     if (channel->setNeededTypes(eventTypeIds, objectTypeIds))       // any object type needed?
//         channel->start();
//
// The readers of the camera's bytes and the record-to-metadata mapping are static operations that
// use no channel state; they take the channel only to tag their log lines (null is fine in tests):
//
//     const LprParseResult reply = LprMonitor::parseLoginReply(this, receiveBuffer.view());
//     LprChunkWalk walk = LprMonitor::parseChunks(this, packet.payload);
//     for (PlateRecord& record: walk.records)
//         publish(LprMonitor::makePlatePackets(this, std::move(record), serverTimeUs));
//
// Rules (besides the base's): the channel keeps no state between records or connections, so every
// record makes two new tracks; the settings are checked once, not on reconnection.
#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

// Ahead of the packet helpers, whose shared base names IMetadata without declaring it.
#include <vorn/sdk/analytics/i_metadata_packet.h>

#include <vorn/sdk/analytics/bounding_box.h>
#include <vorn/sdk/analytics/helpers/object_metadata_packet.h>
#include <vorn/sdk/analytics/helpers/object_track_best_shot_packet.h>
#include <vorn/sdk/helpers/attribute.h>
#include <vorn/sdk/ptr.h>
#include <vorn/utils/buffer.h>
#include <vorn/utils/system_error.h>

#include "camera_settings_parser.h"
#include "lpr_types.h"
#include "tcp_data_monitor.h"

namespace vorn::vms_server_plugins::analytics::zodivadad {

/** What one plate record becomes: the object packet, then the best shots of the plate and the vehicle. */
struct PlatePackets
{
    sdk::Ptr<sdk::analytics::ObjectMetadataPacket> objects; //< Null when the record was skipped.
    std::vector<sdk::Ptr<sdk::analytics::ObjectTrackBestShotPacket>> bestShots;
};

class LprMonitor final : public TcpDataMonitor
{
public:
    /** The server's clock in microseconds since the epoch. */
    using ServerClock = std::function<int64_t()>;

    /** Checks, and when needed writes, the camera's licence-plate settings; blocks on the camera. */
    explicit LprMonitor(DeviceAgent* deviceAgent);
    ~LprMonitor() override;

    /** The channel's name; its settings are named after it. */
    static std::string name();

    std::string portSettingName() const override;
    /** True when any object type is needed; event types are not looked at, nothing is kept. */
    bool setNeededTypes(const std::set<std::string>& neededEventTypeIds,
                        const std::set<std::string>& neededObjectTypeIds) override;
    /** The login packet with the camera's credentials. */
    BasicBuffer<char> makeRegisterRequest() override;

    /** Object type id of every plate. */
    static const std::string kLicensePlateObjectTypeId;
    /** Object packets cover this long; best shots carry no duration. */
    static constexpr int64_t kObjectDurationUs = 500'000;
    static constexpr char kImageFormat[] = "image/jpeg";

    /** The packet at the start of `bytes`, which must be of `expectedType`; `bytes` is not changed. */
    static LprParseResult parsePacket(const LprMonitor* logSource, std::string_view bytes, LprPacketType expectedType);

    /** A kLoginReply packet, judged: ok (with the packet's size and no payload) when the camera said 200. */
    static LprParseResult parseLoginReply(const LprMonitor* logSource, std::string_view bytes);

    /** The plate records of one kMetadata payload, each with the images that followed it. */
    static LprChunkWalk parseChunks(const LprMonitor* logSource, std::string_view payload);

    /** One metadata chunk body; a short body leaves the fields it lacks at zero. */
    static PlateRecord parsePlateRecord(std::string_view body);

    /** The kLoginRequest packet for the camera's credentials (UTF-8). */
    static vorn::BasicBuffer<char> makeLoginPacket(const std::string& id, const std::string& password);

    /**
     * The packets of one record. The record's time is used when it fits a microsecond count, else the
     * server's clock (and then flag bit 0 stays clear). Images are moved into the best shots.
     */
    static PlatePackets makePlatePackets(const LprMonitor* logSource, PlateRecord entry,
                                         const ServerClock& serverTimeUs);

    /** "Number", "Color", "Country", "Type", each name behind `prefix` and a dot when it is not empty. */
    static std::vector<sdk::Ptr<sdk::Attribute>> makePlateAttributes(const PlateRecord& entry,
                                                                     const std::string& prefix);

    /** The plate's attributes under "License Plate", then "Type", "Speed", "Color", "Direction". */
    static std::vector<sdk::Ptr<sdk::Attribute>> makeVehicleAttributes(const PlateRecord& entry);

    /** "Car", "Bike", "Bus", "Truck" or "Vehicle": the vehicle's object type behind "vorn.zodivadad.". */
    static std::string vehicleTypeId(const PlateRecord& entry);

private:
    using CompletionHandler = void (LprMonitor::*)(SystemError::ErrorCode, std::size_t);

    void checkCameraSettings();
    void onRegisterReply(SystemError::ErrorCode code, std::size_t bytesRead) override;
    void onPush(SystemError::ErrorCode code, std::size_t bytesRead);
    /** Publishes every metadata packet that is buffered, then reads for more. */
    void readPushes();
    /** Makes room for `totalSize` bytes in the receive buffer and reads more of them. */
    void readMore(ReadWait wait, uint64_t totalSize, CompletionHandler handler);
    void pushPlateMetadata(std::vector<PlateRecord> records);
};

/** "Black" .. "Orange" for the camera's colour codes 1..10; empty for any other code. */
std::string colorName(uint8_t code);

/** The plate's box in frame units; (-1, -1, -1, -1) without a frame size. */
sdk::analytics::BoundingBox plateRect(const PlateRecordFields2& fields);

/**
 * An estimate of the vehicle's box around its plate: nine plate heights tall, as wide as tall in
 * pixels, the plate centre 0.7 of the height below the top edge, cut to the frame. (-1, -1, -1, -1)
 * when the plate box is not inside the frame.
 */
sdk::analytics::BoundingBox vehicleRectFromPlate(const PlateRecordFields2& fields);

/** The nine licence-plate switches that must be on ("1") for the camera to push plates. */
const CameraSettings& requiredLprSettings();

/** True when the camera reports every required setting with its required value. */
bool hasRequiredLprSettings(const CameraSettings& required, const CameraSettings& camera);

} // namespace vorn::vms_server_plugins::analytics::zodivadad
