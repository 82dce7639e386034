// The fake camera's own writer of the licence-plate push protocol: packets, metadata chunks and plate
// records, written from the protocol's layout tables with code of its own (nothing shared with the
// plugin's reader), so that one mistake cannot hide itself on both sides of a test.
//
//     LprPlate plate;
//     plate.plateNumber = "AB123CD";
//     plate.images = {jpegOfThePlate, jpegOfTheCar};
//     socket.write(encodeLprMetadataPacket({plate}));
//
// All multi-byte fields are little-endian. Nothing here checks the protocol's limits: a test may write
// whatever a broken camera would.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vorn::testing::zodivadad {

inline constexpr uint16_t kLprLoginRequest = 0x0001;
inline constexpr uint16_t kLprLoginReply = 0x8001;
inline constexpr uint16_t kLprMetadata = 0x8801;
inline constexpr uint32_t kLprMetadataChunk = 0x11FF0000;
inline constexpr uint32_t kLprImageChunk = 0x22FF0000;

/** One recognised plate as the camera reports it, with the images it sends after it. */
struct LprPlate
{
    int64_t timestampMs = 1'700'000'000'000;
    uint8_t vehicleColor = 0;
    uint8_t plateColor = 0;
    uint16_t speed = 0;
    std::optional<uint8_t> imageCount; //< The count announced; none: the number of images.
    uint8_t direction = 0;
    std::string country{};               //< At most 32 bytes are written.
    std::string plateNumber = "AB123CD"; //< Its length goes into one byte: at most 255 bytes are written.
    uint8_t vehicleKind = 1;
    float plateConfidence = 0.9F;
    uint8_t plateType = 0;
    uint16_t frameWidth = 1920;
    uint16_t frameHeight = 1080;
    uint16_t x1 = 900;
    uint16_t y1 = 500;
    uint16_t x2 = 1020;
    uint16_t y2 = 540;
    std::vector<std::string> images{}; //< JPEG bytes, one image chunk each.
};

/** FF CC, type, L = payload + 2, payload, DD FF. */
std::string encodeLprPacket(uint16_t type, const std::string& payload);

/** A chunk header and its body. */
std::string encodeLprChunk(uint32_t type, const std::string& body);

/** The plate record (the body of a metadata chunk): 80 bytes, the plate number, 30 bytes. */
std::string encodeLprPlateRecord(const LprPlate& plate);

/** The chunks of the plates, each record followed by its images. */
std::string encodeLprMetadataPayload(const std::vector<LprPlate>& plates);

/** A whole kLprMetadata packet of the plates. */
std::string encodeLprMetadataPacket(const std::vector<LprPlate>& plates);

} // namespace vorn::testing::zodivadad
