#include "lpr_types.h"

#include <bit>
#include <cstring>
#include <type_traits>

namespace vorn::vms_server_plugins::analytics::zodivadad {

namespace {

// Little-endian reads from bytes the caller has checked to be there.
template <typename T>
T readLittleEndian(const uint8_t* bytes)
{
    static_assert(std::is_unsigned_v<T>);
    T value = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i)
        value = static_cast<T>(value | static_cast<T>(T{bytes[i]} << (8 * i)));
    return value;
}

template <typename T>
T readLittleEndian(std::string_view bytes, std::size_t offset)
{
    return readLittleEndian<T>(reinterpret_cast<const uint8_t*>(bytes.data()) + offset);
}

template <typename T>
void writeLittleEndian(char* out, T value)
{
    for (std::size_t i = 0; i < sizeof(T); ++i)
        out[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

} // namespace

bool isValidPacketHeader(const LprPacketHeader& header)
{
    if (header.startMarker != kLprStartMarker)
        return false;
    switch (static_cast<LprPacketType>(header.type)) {
    case LprPacketType::kLoginRequest:
    case LprPacketType::kLoginReply:
    case LprPacketType::kMetadata:
        break;
    default:
        return false;
    }
    return header.length >= kLprEndMarkerSize && header.length <= kMaxLprPacketLength;
}

bool isValidChunkHeader(const LprChunkHeader& header)
{
    if (header.size == 0)
        return false;
    switch (static_cast<LprChunkType>(header.type)) {
    case LprChunkType::kMetadataChunk:
        return header.size <= kMaxMetadataChunkSize;
    case LprChunkType::kImageChunk:
        return header.size <= kMaxImageChunkSize;
    }
    return false;
}

LprPacketHeader readPacketHeader(std::string_view bytes)
{
    return {readLittleEndian<uint16_t>(bytes, 0), readLittleEndian<uint16_t>(bytes, 2),
            readLittleEndian<uint32_t>(bytes, 4)};
}

LprChunkHeader readChunkHeader(std::string_view bytes)
{
    return {readLittleEndian<uint32_t>(bytes, 0), readLittleEndian<uint32_t>(bytes, 4)};
}

vorn::BasicBuffer<char> writeLprPacket(LprPacketType type, std::string_view payload)
{
    const auto length = static_cast<uint32_t>(payload.size() + kLprEndMarkerSize);
    vorn::BasicBuffer<char> packet;
    packet.resize(kLprPacketHeaderSize + payload.size() + kLprEndMarkerSize);
    char* out = packet.data();
    writeLittleEndian(out, kLprStartMarker);
    writeLittleEndian(out + 2, static_cast<uint16_t>(type));
    writeLittleEndian(out + 4, length);
    if (!payload.empty())
        std::memcpy(out + kLprPacketHeaderSize, payload.data(), payload.size());
    writeLittleEndian(out + kLprPacketHeaderSize + payload.size(), kLprEndMarker);
    return packet;
}

int64_t PlateRecordFields1::timestampMs() const
{
    return static_cast<int64_t>(readLittleEndian<uint64_t>(bytes.data() + 16));
}

uint8_t PlateRecordFields1::vehicleColor() const
{
    return bytes[40];
}

uint8_t PlateRecordFields1::plateColor() const
{
    return bytes[41];
}

uint16_t PlateRecordFields1::speed() const
{
    return readLittleEndian<uint16_t>(bytes.data() + 42);
}

uint8_t PlateRecordFields1::imageCount() const
{
    return bytes[44];
}

uint8_t PlateRecordFields1::direction() const
{
    return bytes[45];
}

std::string PlateRecordFields1::country() const
{
    const char* const begin = reinterpret_cast<const char*>(bytes.data() + 46);
    const void* const zero = std::memchr(begin, 0, kCountrySize);
    const std::size_t length = zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - begin) : kCountrySize;
    return std::string(begin, length);
}

uint8_t PlateRecordFields1::plateNumberLength() const
{
    return bytes[79];
}

uint8_t PlateRecordFields2::vehicleKind() const
{
    return bytes[0];
}

float PlateRecordFields2::plateConfidence() const
{
    return std::bit_cast<float>(readLittleEndian<uint32_t>(bytes.data() + 1));
}

uint8_t PlateRecordFields2::plateType() const
{
    return bytes[5];
}

uint16_t PlateRecordFields2::frameWidth() const
{
    return readLittleEndian<uint16_t>(bytes.data() + 18);
}

uint16_t PlateRecordFields2::frameHeight() const
{
    return readLittleEndian<uint16_t>(bytes.data() + 20);
}

uint16_t PlateRecordFields2::x1() const
{
    return readLittleEndian<uint16_t>(bytes.data() + 22);
}

uint16_t PlateRecordFields2::y1() const
{
    return readLittleEndian<uint16_t>(bytes.data() + 24);
}

uint16_t PlateRecordFields2::x2() const
{
    return readLittleEndian<uint16_t>(bytes.data() + 26);
}

uint16_t PlateRecordFields2::y2() const
{
    return readLittleEndian<uint16_t>(bytes.data() + 28);
}

void PlateRecord::addImage(std::string_view image)
{
    ++imagesReceived;
    if (images.size() == kKeptImages) {
        // The largest kept image goes, the later of two equal ones, when the new one is smaller still;
        // otherwise the new one is dropped without being copied.
        const auto largest = images[1].size() >= images[0].size() ? images.begin() + 1 : images.begin();
        if (image.size() >= largest->size())
            return;
        images.erase(largest);
    }
    images.emplace_back(image.begin(), image.end());
}

} // namespace vorn::vms_server_plugins::analytics::zodivadad
