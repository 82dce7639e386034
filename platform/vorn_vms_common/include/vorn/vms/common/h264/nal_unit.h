// vorn::vms::common::h264::NALUnit: one NAL unit of an H.264 Annex-B byte stream, and the scan that finds
// the units of a packet.
//
//     const std::uint8_t* current = NALUnit::findNextNAL(data, end);     // first unit's header byte
//     while (current < end) {
//         const std::uint8_t* next = NALUnit::findNextNAL(current, end);
//         if ((*current & 0x1F) == NALUnit::kSeiType) {
//             SEIUnit sei;
//             sei.decodeBuffer(current, next);                         // copies, without emulation bytes
//             ...
//         }
//         current = next;
//     }
//
// findNextNAL() runs over every byte of every video packet of every camera, on the thread that delivers
// the packet: it allocates nothing and looks at 16 bytes per step where the processor allows.
// decodeBuffer() copies the unit (one allocation) and is meant for the few units a caller reads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vorn::vms::common::h264 {

class NALUnit
{
public:
    static constexpr int kSeiType = 6;
    static constexpr int kSpsType = 7;

    // Bounds the copy decodeBuffer() makes: far above any parameter set or SEI unit, and what a single
    // unit of a camera's stream may make the reader hold.
    static constexpr std::size_t kMaxDecodedSize = 16 * 1024 * 1024;

    NALUnit() = default;
    virtual ~NALUnit() = default;

    // The first byte after the first start code (00 00 01, which also ends the four-byte form
    // 00 00 00 01) that lies completely within [begin, end); `end` when there is none. Never reads
    // outside the range.
    static const std::uint8_t* findNextNAL(const std::uint8_t* begin, const std::uint8_t* end);

    // Removes the emulation-prevention bytes (the 03 of every 00 00 03 followed by a byte of 0..3, and a
    // final 00 00 03) from [begin, end) into `out`, which must hold end - begin bytes; returns the count
    // written. `out` may be `begin` (in place).
    static std::size_t removeEmulationPrevention(const std::uint8_t* begin, const std::uint8_t* end, std::uint8_t* out);

    // Takes the unit from its header byte at `begin` up to `end`, which may be the position findNextNAL()
    // gave for the following unit: the following unit's start code and trailing zero bytes are not part of
    // this unit and are dropped. False for an empty range or one above kMaxDecodedSize.
    bool decodeBuffer(const std::uint8_t* begin, const std::uint8_t* end);

    // Of the decoded header byte; -1 before a successful decodeBuffer().
    int nalUnitType() const { return m_decoded.empty() ? -1 : m_decoded[0] & 0x1F; }
    int nalRefIdc() const { return m_decoded.empty() ? -1 : (m_decoded[0] >> 5) & 0x3; }

    // The decoded unit: header byte, then the payload without emulation-prevention bytes.
    const std::vector<std::uint8_t>& decoded() const { return m_decoded; }

protected:
    std::vector<std::uint8_t> m_decoded;
};

} // namespace vorn::vms::common::h264
