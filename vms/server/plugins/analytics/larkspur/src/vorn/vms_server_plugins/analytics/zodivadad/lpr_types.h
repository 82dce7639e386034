// The wire format of the camera's licence-plate push connection: packets, the chunks inside a
// metadata packet, and the plate record that a metadata chunk carries.
//
// Every packet, in either direction, is
//
//     FF CC | type (uint16) | L (uint32) | L - 2 payload bytes | DD FF      (all little-endian)
//
// The plugin sends one login packet (kLoginRequest, a JSON object), the camera answers with
// kLoginReply (a JSON object) and then pushes kMetadata packets, whose payload is a run of chunks:
// a metadata chunk (one plate record) followed by the image chunks (JPEG) of that record.
//
// The readers of these bytes are the static operations of LprMonitor; this file holds the layout, the
// limits and the values they produce:
//
//     const LprParseResult r = LprMonitor::parsePacket(monitor, buffer.view(), LprPacketType::kMetadata);
//     if (r.status == ParseStatus::ok)
//         records = LprMonitor::parseChunks(monitor, r.payload).records;
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <vorn/utils/buffer.h>

#include "parse_status.h"

namespace vorn::vms_server_plugins::analytics::zodivadad {

enum class LprPacketType : uint16_t {
    kLoginRequest = 0x0001, //< plugin to camera: {"id": login, "password": password}
    kLoginReply = 0x8001,   //< camera to plugin: {"result": 200 or another code}
    kMetadata = 0x8801,     //< camera to plugin: a run of chunks
};

enum class LprChunkType : uint32_t {
    kMetadataChunk = 0x11FF0000, //< one plate record
    kImageChunk = 0x22FF0000,    //< one JPEG image of the most recent plate record
};

inline constexpr uint16_t kLprStartMarker = 0xCCFF;
inline constexpr uint16_t kLprEndMarker = 0xFFDD;
inline constexpr std::size_t kLprPacketHeaderSize = 8;
inline constexpr std::size_t kLprEndMarkerSize = 2;
inline constexpr std::size_t kLprChunkHeaderSize = 8;

// The largest plate record the camera sends: 110 bytes of fields and a plate number of at most 128
// bytes. Bounds the bytes one record may claim.
inline constexpr uint32_t kMaxMetadataChunkSize = 238;
// An uncompressed 1920 x 1080 RGB frame: no JPEG of the camera's is larger, so a bigger image chunk is
// a broken stream, not an image.
inline constexpr uint32_t kMaxImageChunkSize = 1920 * 1080 * 3;
// Room for three full-size images: bounds the memory one packet can make the channel reserve.
inline constexpr uint32_t kMaxLprPacketLength = 3 * kMaxImageChunkSize;

struct LprPacketHeader
{
    uint16_t startMarker = 0;
    uint16_t type = 0;
    uint32_t length = 0; //< L: the payload length plus the 2 bytes of the end marker.
};

struct LprChunkHeader
{
    uint32_t type = 0;
    uint32_t size = 0; //< Body bytes that follow the header.
};

/** The start marker is right, the type is one of LprPacketType and 2 <= L <= kMaxLprPacketLength. */
bool isValidPacketHeader(const LprPacketHeader& header);

/** A metadata chunk of 1..kMaxMetadataChunkSize bytes or an image chunk of 1..kMaxImageChunkSize bytes. */
bool isValidChunkHeader(const LprChunkHeader& header);

/** The first kLprPacketHeaderSize bytes of `bytes`, which must hold at least that many. */
LprPacketHeader readPacketHeader(std::string_view bytes);

/** The first kLprChunkHeaderSize bytes of `bytes`, which must hold at least that many. */
LprChunkHeader readChunkHeader(std::string_view bytes);

/** A whole packet: header, payload and end marker. */
vorn::BasicBuffer<char> writeLprPacket(LprPacketType type, std::string_view payload);

/**
 * The first 80 bytes of a plate record, kept as they came and read through the named fields. Bytes
 * that a short record did not carry stay zero, so its missing fields read as zero.
 */
struct PlateRecordFields1
{
    static constexpr std::size_t kSize = 80;
    static constexpr std::size_t kCountrySize = 32;

    std::array<uint8_t, kSize> bytes{};

    int64_t timestampMs() const;  //< Time of the recognition, milliseconds since the epoch.
    uint8_t vehicleColor() const; //< Colour code, 0: none.
    uint8_t plateColor() const;   //< Colour code, 0: none.
    uint16_t speed() const;       //< 0: none.
    uint8_t imageCount() const;   //< Image chunks the camera announces for the record.
    uint8_t direction() const;    //< 0 none, 1 incoming, other values outgoing.
    std::string country() const;  //< Up to the first zero byte of its 32 bytes.
    uint8_t plateNumberLength() const;
};

/** The 30 bytes of a plate record behind the plate number. */
struct PlateRecordFields2
{
    static constexpr std::size_t kSize = 30;

    std::array<uint8_t, kSize> bytes{};

    uint8_t vehicleKind() const;
    float plateConfidence() const;
    uint8_t plateType() const;   //< 1, 2 and 3 are known.
    uint16_t frameWidth() const; //< The frame that the plate corners refer to, in pixels.
    uint16_t frameHeight() const;
    uint16_t x1() const; //< Plate corners in pixels: left, top, right, bottom.
    uint16_t y1() const;
    uint16_t x2() const;
    uint16_t y2() const;
};

/**
 * One recognised plate with its images; owns the images, so it is moved, never shared.
 *
 * Only the smallest image (the plate's best shot) and the second smallest (the vehicle's) are ever
 * passed on, so addImage() keeps just those two while the images arrive: a packet of a thousand
 * images holds two of them, not a thousand. Of images of equal size the earlier counts as smaller.
 */
struct PlateRecord
{
    /** The images that are passed on at most. */
    static constexpr std::size_t kKeptImages = 2;

    PlateRecordFields1 fields1;
    PlateRecordFields2 fields2;
    std::string plateNumber;               //< The bytes as the camera sent them.
    std::vector<std::vector<char>> images; //< The kKeptImages smallest JPEG images so far, in arrival order.
    std::size_t imagesReceived = 0;        //< Every image that arrived, kept or not.

    /** Counts the image and keeps a copy of it when it is among the kKeptImages smallest so far. */
    void addImage(std::string_view image);
};

enum class ChunkWalkStatus {
    complete,            //< every chunk read
    invalidChunkHeader,  //< a chunk header failed its check: the packet's records are dropped
    unexpectedRemainder, //< 1 to 8 stray bytes at the end: the records before them are kept
    chunkPastEnd,        //< the last chunk claimed more bytes than the payload holds; it took the rest
};

struct LprChunkWalk
{
    ChunkWalkStatus status = ChunkWalkStatus::complete;
    std::vector<PlateRecord> records; //< In chunk order; empty after invalidChunkHeader.
};

struct LprParseResult
{
    ParseStatus status = ParseStatus::error;
    // ok: the bytes the packet occupies; needMoreData: the bytes the buffer must hold before the packet
    // can be read; error: 0.
    uint64_t totalSize = 0;
    // ok: the payload, inside the range that was read (valid while that buffer stays unchanged).
    std::string_view payload;
};

} // namespace vorn::vms_server_plugins::analytics::zodivadad
