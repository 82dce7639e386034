#include <fake_zodivadad_camera/vca_wire.h>

namespace vorn::testing::vca_wire {

namespace {

void putBigEndian(std::string* out, std::uint64_t value, int bytes)
{
    for (int shift = (bytes - 1) * 8; shift >= 0; shift -= 8)
        out->push_back(static_cast<char>((value >> shift) & 0xFF));
}

std::uint32_t getBigEndian(std::string_view bytes, std::size_t offset, int count)
{
    std::uint32_t value = 0;
    for (int i = 0; i < count; ++i)
        value = (value << 8) | static_cast<unsigned char>(bytes[offset + i]);
    return value;
}

} // namespace

std::uint16_t crc16(std::string_view bytes)
{
    std::uint16_t crc = 0;
    for (const char byte : bytes) {
        crc ^= static_cast<unsigned char>(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001) : static_cast<std::uint16_t>(crc >> 1);
    }
    return crc;
}

std::string frame(const FrameHeader& header, std::string_view payload)
{
    std::string out;
    out.reserve(kHeaderSize + payload.size());
    putBigEndian(&out, header.magic, 4);
    putBigEndian(&out, header.command, 2);
    putBigEndian(&out, header.checksum.value_or(crc16(payload)), 2);
    putBigEndian(&out, header.payloadSize.value_or(static_cast<std::uint32_t>(payload.size())), 4);
    putBigEndian(&out, header.version, 4);
    out.append(payload);
    return out;
}

std::string frame(std::uint16_t command, std::string_view payload, std::uint32_t version)
{
    return frame(FrameHeader().withCommand(command).withVersion(version), payload);
}

std::string chunk(std::uint8_t kind, std::int32_t length, std::string_view data)
{
    std::string out(1, static_cast<char>(kind));
    const auto value = static_cast<std::uint32_t>(length);
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<char>((value >> shift) & 0xFF));
    out.append(data);
    return out;
}

std::string jsonChunk(std::string_view jsonText)
{
    return chunk(0, static_cast<std::int32_t>(jsonText.size()), jsonText);
}

std::string imageChunk(std::string_view bytes, std::uint8_t kind)
{
    return chunk(kind, static_cast<std::int32_t>(bytes.size()), bytes);
}

ReadStatus readFrame(std::string* buffer, Frame* out)
{
    if (buffer->size() < kHeaderSize)
        return ReadStatus::needMore;
    const std::string_view bytes(*buffer);
    if (getBigEndian(bytes, 0, 4) != kMagic)
        return ReadStatus::bad;
    const std::uint32_t size = getBigEndian(bytes, 8, 4);
    if (size > kMaxPayloadSize)
        return ReadStatus::bad;
    if (bytes.size() - kHeaderSize < size)
        return ReadStatus::needMore;
    const std::string_view payload = bytes.substr(kHeaderSize, size);
    if (crc16(payload) != getBigEndian(bytes, 6, 2))
        return ReadStatus::bad;
    out->command = static_cast<std::uint16_t>(getBigEndian(bytes, 4, 2));
    out->version = getBigEndian(bytes, 12, 4);
    out->payload = std::string(payload);
    buffer->erase(0, kHeaderSize + size);
    return ReadStatus::frame;
}

} // namespace vorn::testing::vca_wire
