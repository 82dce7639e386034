// vorn::testing::annexb: builds H.264 Annex-B packets the way an encoder writes them, for tests, benchmarks
// and fuzz seeds.
//
//     using namespace vorn::testing::annexb;
//     const std::string packet = sliceUnit(50 * 1024, /*seed*/ 1)
//         + seiUnit({{5, univiewTrackPayload(40, {TrackRecord{.objectId = 7, .left = 1000, ...}})}});
//
// Every unit comes with its start code; payloads get emulation-prevention bytes, so no start code appears
// inside a unit. The code follows the stream's rules independently of the parser in vorn_vms_common, so a
// misreading of the rules on one side shows up as a test failure instead of hiding on both.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vorn::testing::annexb {

struct SeiMessage
{
    int payloadType = 5; //< 5: user data unregistered
    std::string payload;
};

// 00 00 00 01, or 00 00 01.
std::string startCode(bool fourBytes = true);

// Inserts 03 after every two zero bytes that are followed by a byte of 0..3 (or by the end).
std::string addEmulationPrevention(std::string_view rbsp);

// A complete SEI unit: start code, header byte 0x06, each message (ff-coded type and size, payload),
// the stop bit byte 0x80.
std::string seiUnit(const std::vector<SeiMessage>& messages, bool fourByteStartCode = true);

// A coded-slice stand-in of `payloadSize` pseudo-random bytes (before emulation prevention), NAL type
// `type` (5: IDR slice, 1: other slice); the same seed gives the same bytes.
std::string sliceUnit(std::size_t payloadSize, std::uint32_t seed, int type = 5, bool fourByteStartCode = true);

// An SPS unit for the given profile, level and parameter set id.
std::string spsUnit(int profileIdc, int levelIdc, int seqParameterSetId);

// One record of the Uniview private SEI payload; all numbers big-endian on the wire.
struct TrackRecord
{
    std::uint32_t objectId = 0;
    std::uint16_t left = 0;
    std::uint16_t top = 0;
    std::uint16_t right = 0;
    std::uint16_t bottom = 0;
    std::uint32_t kind = 0;
    std::uint32_t typeFlag = 0;
    std::string extra;                          //< the bytes after the 36-byte record
    std::optional<std::uint32_t> extraLength{}; //< written instead of extra.size() when set
};

// The private payload: marker 0x20, 8 unread bytes, track count (records.size() unless given),
// duration in ms, the records.
std::string univiewTrackPayload(std::uint16_t durationMs, const std::vector<TrackRecord>& records,
                                std::optional<std::uint16_t> trackCount = std::nullopt, std::uint8_t marker = 0x20);

} // namespace vorn::testing::annexb
