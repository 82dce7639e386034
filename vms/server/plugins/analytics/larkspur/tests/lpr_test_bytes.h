// Test side of the licence-plate wire format: builds packets, chunks and plate records byte by byte
// from the layout tables, without the product's readers or writers, so that a layout mistake in the
// product shows up as a failing test instead of agreeing with itself.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace vorn::vms_server_plugins::analytics::zodivadad::test {

inline void putLittleEndian(std::string& bytes, std::size_t offset, uint64_t value, std::size_t width)
{
    if (bytes.size() < offset + width)
        bytes.resize(offset + width, '\0');
    for (std::size_t i = 0; i < width; ++i)
        bytes[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

inline std::string littleEndian(uint64_t value, std::size_t width)
{
    std::string bytes;
    putLittleEndian(bytes, 0, value, width);
    return bytes;
}

/** A packet with a free choice of every header field and the end marker. */
inline std::string packetBytes(uint16_t type, const std::string& payload, uint32_t length, uint16_t endMarker = 0xFFDD,
                               uint16_t startMarker = 0xCCFF)
{
    return littleEndian(startMarker, 2) + littleEndian(type, 2) + littleEndian(length, 4) + payload +
           littleEndian(endMarker, 2);
}

/** A well-formed packet: L = payload + 2. */
inline std::string packetBytes(uint16_t type, const std::string& payload)
{
    return packetBytes(type, payload, static_cast<uint32_t>(payload.size() + 2));
}

constexpr uint16_t kLoginRequestType = 0x0001;
constexpr uint16_t kLoginReplyType = 0x8001;
constexpr uint16_t kMetadataType = 0x8801;
constexpr uint32_t kMetadataChunkType = 0x11FF0000;
constexpr uint32_t kImageChunkType = 0x22FF0000;

inline std::string chunkBytes(uint32_t type, const std::string& body)
{
    return littleEndian(type, 4) + littleEndian(body.size(), 4) + body;
}

/** A plate record as the camera describes it. */
struct TestPlate
{
    int64_t timestampMs = 1'700'000'000'123;
    uint8_t vehicleColor = 0;
    uint8_t plateColor = 0;
    uint16_t speed = 0;
    uint8_t imageCount = 0;
    uint8_t direction = 0;
    std::string country{};
    std::string plateNumber = "AB123CD";
    uint8_t vehicleKind = 0;
    float plateConfidence = 0.75F;
    uint8_t plateType = 0;
    uint16_t frameWidth = 1920;
    uint16_t frameHeight = 1080;
    uint16_t x1 = 900;
    uint16_t y1 = 500;
    uint16_t x2 = 1020;
    uint16_t y2 = 540;
};

/** The first 80 bytes of the record. */
inline std::string plateFields1Bytes(const TestPlate& plate)
{
    std::string bytes(80, '\x5A'); // Reserved bytes are not zero on the wire.
    putLittleEndian(bytes, 16, static_cast<uint64_t>(plate.timestampMs), 8);
    bytes[40] = static_cast<char>(plate.vehicleColor);
    bytes[41] = static_cast<char>(plate.plateColor);
    putLittleEndian(bytes, 42, plate.speed, 2);
    bytes[44] = static_cast<char>(plate.imageCount);
    bytes[45] = static_cast<char>(plate.direction);
    std::memset(bytes.data() + 46, 0, 32);
    std::memcpy(bytes.data() + 46, plate.country.data(), std::min<std::size_t>(plate.country.size(), 32));
    bytes[79] = static_cast<char>(plate.plateNumber.size());
    return bytes;
}

/** The 30 bytes behind the plate number. */
inline std::string plateFields2Bytes(const TestPlate& plate)
{
    std::string bytes(30, '\x5A');
    bytes[0] = static_cast<char>(plate.vehicleKind);
    uint32_t confidenceBits = 0;
    std::memcpy(&confidenceBits, &plate.plateConfidence, 4);
    putLittleEndian(bytes, 1, confidenceBits, 4);
    bytes[5] = static_cast<char>(plate.plateType);
    putLittleEndian(bytes, 18, plate.frameWidth, 2);
    putLittleEndian(bytes, 20, plate.frameHeight, 2);
    putLittleEndian(bytes, 22, plate.x1, 2);
    putLittleEndian(bytes, 24, plate.y1, 2);
    putLittleEndian(bytes, 26, plate.x2, 2);
    putLittleEndian(bytes, 28, plate.y2, 2);
    return bytes;
}

inline std::string plateRecordBytes(const TestPlate& plate)
{
    return plateFields1Bytes(plate) + plate.plateNumber + plateFields2Bytes(plate);
}

} // namespace vorn::vms_server_plugins::analytics::zodivadad::test
