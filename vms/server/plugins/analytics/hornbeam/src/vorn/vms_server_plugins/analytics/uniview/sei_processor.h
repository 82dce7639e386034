// uniview::SeiProcessor: reads the object tracks that some Uniview cameras carry in the SEI messages of
// their H.264 video, from one compressed video packet.
//
//     SeiProcessor processor(packet->data(), packet->dataSize());
//     std::vector<Object> objects = processor.parse();        // empty for a packet without tracks
//
// Built on the stack for one packet, on the thread that delivers it; touches nothing but the packet's
// bytes. Every packet of the camera passes through parse(): only the header byte of each NAL unit is
// looked at unless it is an SEI unit, and only SEI units are copied and decoded.
//
// The private payload of a listed SEI message: marker 0x20, 8 bytes, track count (2), duration in ms
// (2), then the track records, each 36 bytes plus its extra bytes (all numbers big-endian). Every length
// is checked against what is left of the message before it is used.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "object.h"

namespace vorn::vms_server_plugins::analytics::uniview {

class SeiProcessor
{
public:
    static constexpr uint8_t kTrackPayloadMarker = 0x20;
    static constexpr std::size_t kPayloadHeaderSize = 13;
    static constexpr std::size_t kTrackRecordSize = 36;

    SeiProcessor(const uint8_t* data, int size);

    std::vector<Object> parse();

    /** The objects of one listed SEI message (its payload bytes), appended to `objects`. */
    void parseMessage(const uint8_t* payload, std::size_t size, std::vector<Object>* objects) const;

private:
    const uint8_t* m_current;
    const uint8_t* m_end;
};

} // namespace vorn::vms_server_plugins::analytics::uniview
