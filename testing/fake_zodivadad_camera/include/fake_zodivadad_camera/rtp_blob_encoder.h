// The fake camera's own writer of its metadata stream's object detections, as the server hands them to
// a device agent in custom metadata packets with the codec "Zodivadad": an 8-byte blob header, then
// records of a 12-byte header and their data, every field big-endian.
//
//     const std::string blob = encodeRtpBlob({rtpObjectList(1920, 1080, {{.number = 42, .type = 1}})});
//     agent->consumeDataPacket(&result, makePtr<CustomMetadataPacket>("Zodivadad", blob, timestampUs).get());
//
// Nothing here checks sizes or counts: a test may write whatever a broken camera would.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vorn::testing::zodivadad {

/** One detected object; the box corners are in the units of its list's resolution base. */
struct RtpObject
{
    uint32_t number = 1; //< The camera's id of the object.
    uint32_t type = 1;   //< 1 person, 2 vehicle.
    uint16_t x1 = 0;
    uint16_t y1 = 0;
    uint16_t x2 = 0;
    uint16_t y2 = 0;
};

/** A record: its header fields and its data as they go on the wire. */
struct RtpRecord
{
    uint16_t startCode = 1;
    uint8_t eventId = 0;
    uint8_t itemCount = 0;
    uint32_t size = 0; //< Bytes for event ids 0..4, 32-bit words for 5..7.
    std::string data{};
};

/** An object list record (event id 5) whose size and count match its objects. */
RtpRecord rtpObjectList(uint16_t width, uint16_t height, const std::vector<RtpObject>& objects);

/** The blob header and the records. */
std::string encodeRtpBlob(const std::vector<RtpRecord>& records);

} // namespace vorn::testing::zodivadad
