#include "fake_zodivadad_camera/lpr_packet_encoder.h"

#include <algorithm>
#include <bit>

namespace vorn::testing::zodivadad {

namespace {

// Appends the value's bytes, lowest first.
class ByteWriter
{
public:
    explicit ByteWriter(std::string* out)
        : m_out(out)
    {}

    ByteWriter& u8(uint8_t value)
    {
        m_out->push_back(static_cast<char>(value));
        return *this;
    }

    ByteWriter& u16(uint16_t value) { return u8(value & 0xFF).u8(value >> 8); }

    ByteWriter& u32(uint32_t value) { return u16(value & 0xFFFF).u16(value >> 16); }

    ByteWriter& u64(uint64_t value) { return u32(value & 0xFFFFFFFF).u32(value >> 32); }

    ByteWriter& text(const std::string& bytes)
    {
        m_out->append(bytes);
        return *this;
    }

    // Filler that the plugin must not interpret: never zero, so a reader that takes it for a field notices.
    ByteWriter& reserved(std::size_t count)
    {
        m_out->append(count, '\xA5');
        return *this;
    }

private:
    std::string* m_out;
};

} // namespace

std::string encodeLprPacket(uint16_t type, const std::string& payload)
{
    std::string packet;
    ByteWriter(&packet).u16(0xCCFF).u16(type).u32(static_cast<uint32_t>(payload.size() + 2)).text(payload).u16(0xFFDD);
    return packet;
}

std::string encodeLprChunk(uint32_t type, const std::string& body)
{
    std::string chunk;
    ByteWriter(&chunk).u32(type).u32(static_cast<uint32_t>(body.size())).text(body);
    return chunk;
}

std::string encodeLprPlateRecord(const LprPlate& plate)
{
    const std::string number = plate.plateNumber.substr(0, 255);
    std::string country = plate.country.substr(0, 32);
    country.resize(32, '\0');

    std::string record;
    ByteWriter out(&record);
    out.reserved(16).u64(static_cast<uint64_t>(plate.timestampMs)).reserved(16);
    out.u8(plate.vehicleColor).u8(plate.plateColor).u16(plate.speed);
    out.u8(plate.imageCount.value_or(static_cast<uint8_t>(std::min<std::size_t>(plate.images.size(), 255))));
    out.u8(plate.direction).text(country).reserved(1).u8(static_cast<uint8_t>(number.size()));
    out.text(number);
    out.u8(plate.vehicleKind).u32(std::bit_cast<uint32_t>(plate.plateConfidence)).u8(plate.plateType).reserved(12);
    out.u16(plate.frameWidth).u16(plate.frameHeight).u16(plate.x1).u16(plate.y1).u16(plate.x2).u16(plate.y2);
    return record;
}

std::string encodeLprMetadataPayload(const std::vector<LprPlate>& plates)
{
    std::string payload;
    for (const LprPlate& plate : plates) {
        payload += encodeLprChunk(kLprMetadataChunk, encodeLprPlateRecord(plate));
        for (const std::string& image : plate.images)
            payload += encodeLprChunk(kLprImageChunk, image);
    }
    return payload;
}

std::string encodeLprMetadataPacket(const std::vector<LprPlate>& plates)
{
    return encodeLprPacket(kLprMetadata, encodeLprMetadataPayload(plates));
}

} // namespace vorn::testing::zodivadad
