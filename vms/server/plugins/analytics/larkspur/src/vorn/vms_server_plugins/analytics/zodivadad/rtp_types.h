// The layout of the object detections in the camera's metadata stream, and the readers of its parts.
//
// One packet of the stream (a "blob") is an 8-byte header, not interpreted, then records back to back,
// each a 12-byte SubclassHeader and its data; all fields are big-endian. Records of event id 5 are
// object lists:
//
//     resolution base (width, height: uint16 each) | itemCount objects of 24 bytes
//     object: number (uint32) | 8 bytes not interpreted | type (uint32) | x1 y1 x2 y2 (uint16 each)
//
// The readers take a byte range and never read past it:
//
//     const auto header = rtsp::SubclassHeader::read(blob.substr(shift));   // none when too short
//     ObjectList list;
//     if (readObjectList(recordData, header->itemCount, &list) == ObjectListStatus::ok)
//         for (const DetectedObject& object: list.objects) ...
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <vorn/sdk/analytics/bounding_box.h>

namespace vorn::vms_server_plugins::analytics::zodivadad {

namespace rtsp {

inline constexpr uint16_t kStartCodeMagic = 1;
/** The blob header, skipped. */
inline constexpr std::size_t kBlobHeaderSize = 8;
inline constexpr uint8_t kObjectListEventId = 5;
inline constexpr uint8_t kMaxEventId = 7;

struct SubclassHeader
{
    uint16_t startCode = 0; //< kStartCodeMagic in a well-formed record.
    uint8_t eventId = 0;    //< Kind of record, 0..kMaxEventId.
    uint8_t itemCount = 0;  //< Objects of an object list.
    uint32_t reserved = 0;
    uint32_t size = 0; //< Bytes for event ids 0..4, 32-bit words for 5..7.

    /** The header at the start of `bytes`; none when they hold fewer than sizeof(SubclassHeader). */
    static std::optional<SubclassHeader> read(std::string_view bytes);

    /**
     * The data bytes that follow the header. Counted in 64 bits, so a word count cannot wrap into a
     * small size; an unknown event id is reported and gives 0.
     */
    uint64_t dataSize() const;
};

static_assert(sizeof(SubclassHeader) == 12, "the record header is 12 bytes on the wire");

} // namespace rtsp

/** Frame size in the units of the object boxes. */
struct ResolutionBase
{
    uint16_t width = 0;
    uint16_t height = 0;

    bool isValid() const { return width != 0 && height != 0; }
};

struct DetectedObject
{
    static constexpr std::size_t kSize = 24;

    uint32_t number = 0; //< The camera's id of the object.
    uint32_t type = 0;   //< 1 person, 2 vehicle.
    uint16_t x1 = 0;     //< Box corners in ResolutionBase units: left, top, right, bottom.
    uint16_t y1 = 0;
    uint16_t x2 = 0;
    uint16_t y2 = 0;
};

struct ObjectList
{
    ResolutionBase resolution;
    std::vector<DetectedObject> objects;
};

enum class ObjectListStatus {
    ok,
    noResolution,   //< fewer than 4 bytes: no resolution base
    missingObjects, //< fewer bytes than itemCount objects need
};

inline constexpr std::size_t kResolutionBaseSize = 4;

/** The object list of an event-id-5 record's data; `list` is filled only when the status is ok. */
ObjectListStatus readObjectList(std::string_view data, uint8_t itemCount, ObjectList* list);

/** "vorn.zodivadad.Person" for 1, "vorn.zodivadad.Vehicle" for 2; other types are reported and give "". */
std::string objectTypeId(uint32_t type);

/** The box in frame units; a base without a size is reported and gives (-1, -1, -1, -1). */
sdk::analytics::BoundingBox boxToRect(uint16_t x1, uint16_t y1, uint16_t x2, uint16_t y2, ResolutionBase base);

} // namespace vorn::vms_server_plugins::analytics::zodivadad
