// The fake camera's side of the video-analytics push protocol: frame and chunk bytes as a camera writes
// them, and a frame reader for what the plugin sends. Written from the wire format alone, with a CRC-16
// computed bit by bit, so that it shares no code with the plugin's table-driven reader and writer.
//
//     using namespace vorn::testing::vca_wire;
//     const std::string push = frame(kVcaAlarmCommand, jsonChunk(R"({"event":4})") + imageChunk("JPEG"));
//     const std::string broken = frame(FrameHeader().withCommand(257).withChecksum(0), R"({"a":1})");
//
// Header: magic 20 20 06 02, command, CRC-16 of the payload, payload size, version (big-endian).
// Chunk: kind byte (0 JSON, else image), signed little-endian length, data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vorn::testing::vca_wire {

inline constexpr std::size_t kHeaderSize = 16;
inline constexpr std::uint32_t kMagic = 0x20200602;

inline constexpr std::uint16_t kRegisterCommand = 0x0001;
inline constexpr std::uint16_t kVcaCountCommand = 0x0101;
inline constexpr std::uint16_t kVcaAlarmCommand = 0x0102;
inline constexpr std::uint16_t kRegionalCountCommand = 0x0103;
inline constexpr std::uint16_t kFaceCommand = 0x0201;
inline constexpr std::uint16_t kBasicAlarmCommand = 0x0301;
inline constexpr std::uint16_t kRadarCommand = 0x0310;

/** CRC-16/ARC (polynomial 0x8005 reflected, initial 0, no final XOR), one bit at a time. */
std::uint16_t crc16(std::string_view bytes);

/** Header fields; those left empty are computed from the payload (CRC, size). */
struct FrameHeader
{
    std::uint32_t magic = kMagic;
    std::uint16_t command = kRegisterCommand;
    std::optional<std::uint16_t> checksum;
    std::optional<std::uint32_t> payloadSize;
    std::uint32_t version = 2;

    FrameHeader& withMagic(std::uint32_t value)
    {
        magic = value;
        return *this;
    }
    FrameHeader& withCommand(std::uint16_t value)
    {
        command = value;
        return *this;
    }
    FrameHeader& withChecksum(std::uint16_t value)
    {
        checksum = value;
        return *this;
    }
    FrameHeader& withPayloadSize(std::uint32_t value)
    {
        payloadSize = value;
        return *this;
    }
    FrameHeader& withVersion(std::uint32_t value)
    {
        version = value;
        return *this;
    }
};

std::string frame(const FrameHeader& header, std::string_view payload);
/** A sound frame. */
std::string frame(std::uint16_t command, std::string_view payload, std::uint32_t version = 2);

/** A chunk with the length of its data. */
std::string jsonChunk(std::string_view jsonText);
std::string imageChunk(std::string_view bytes, std::uint8_t kind = 1);
/** A chunk that declares `length` whatever data follows it. */
std::string chunk(std::uint8_t kind, std::int32_t length, std::string_view data);

struct Frame
{
    std::uint16_t command = 0;
    std::uint32_t version = 0;
    std::string payload;
};

enum class ReadStatus {
    frame,    //< One frame taken off the front of the buffer.
    needMore, //< Not a whole frame yet.
    bad,      //< Wrong magic, checksum or a size beyond kMaxPayloadSize.
};

/** A registration is a few hundred bytes; this bounds what a broken client can make the fake hold. */
inline constexpr std::uint32_t kMaxPayloadSize = 1024 * 1024;

/** Takes the first frame off `buffer` into *out when it is complete and sound. */
ReadStatus readFrame(std::string* buffer, Frame* out);

} // namespace vorn::testing::vca_wire
