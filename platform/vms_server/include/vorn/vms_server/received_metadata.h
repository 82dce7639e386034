// Plain copies of what a plugin hands to the server's metadata receiver: event and object packets,
// best shots and diagnostic events. The receiver fills them during the plugin's call, so they own all
// their data and stay valid after the plugin's objects (and the plugin library) are gone.
//
// Fields that an older interface version does not offer are empty optionals, so a reader can tell
// "not given" from a zero value.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include <vorn/sdk/analytics/bounding_box.h>
#include <vorn/sdk/uuid.h>

namespace vorn::vms_server {

struct ReceivedAttribute
{
    int32_t type = 0; //< An sdk::AttributeType value.
    std::string name;
    std::string value;
    float confidence = 0;
};

struct ReceivedEventItem
{
    std::string typeId;
    float confidence = 0;
    std::string caption;
    std::string description;
    bool isActive = false;
    std::optional<sdk::Uuid> trackId; //< From "vorn::sdk::analytics::IEventMetadata1" on.
    std::optional<std::string> key;   //< From "vorn::sdk::analytics::IEventMetadata2" on.
    std::vector<ReceivedAttribute> attributes;
};

struct ReceivedObjectItem
{
    std::string typeId;
    float confidence = 0;
    sdk::Uuid trackId;
    std::string extraText;
    sdk::analytics::BoundingBox boundingBox;
    std::vector<ReceivedAttribute> attributes;
};

struct ReceivedEventPacket
{
    int64_t timestampUs = 0;
    int64_t durationUs = 0;
    std::optional<int32_t> flags; //< From "vorn::sdk::analytics::IEventMetadataPacket1" on.
    std::vector<ReceivedEventItem> items;
};

struct ReceivedObjectPacket
{
    int64_t timestampUs = 0;
    int64_t durationUs = 0;
    std::optional<int32_t> flags; //< From "vorn::sdk::analytics::IObjectMetadataPacket1" on.
    std::vector<ReceivedObjectItem> items;
};

struct ReceivedBestShot
{
    sdk::Uuid trackId;
    int64_t timestampUs = 0;
    sdk::analytics::BoundingBox boundingBox;
    // From "vorn::sdk::analytics::IObjectTrackBestShotPacket1" on:
    std::optional<std::string> imageUrl;
    std::optional<std::string> imageFormat;
    std::string imageData;
    std::vector<ReceivedAttribute> attributes;
    std::optional<int32_t> flags; //< From "vorn::sdk::analytics::IObjectTrackBestShotPacket2" on.
};

struct ReceivedDiagnostic
{
    int32_t level = 0; //< An sdk::IPluginDiagnosticEvent::Level value.
    std::string caption;
    std::string description;
};

/** A call that the receiver could not take: a null argument or a packet of no kind it knows. */
struct ReceiverFault
{
    std::string message;
};

using ReceivedRecord =
    std::variant<ReceivedEventPacket, ReceivedObjectPacket, ReceivedBestShot, ReceivedDiagnostic, ReceiverFault>;

} // namespace vorn::vms_server
