#include "vca_frame.h"

#include <cstring>
#include <string>
#include <utility>

#include <vorn/log_support/log.h>
#include <vorn/log_support/peer_text.h>
#include <vorn/utils/crc16.h>

#include "tcp_data_monitor.h"
#include "vca_command.h"

namespace vorn::vms_server_plugins::analytics::zodivadad {

using vorn::log_support::PeerText;

using Json = vorn::kit::detail::json11::Json;

namespace {

std::uint16_t readUint16Be(const char* bytes)
{
    const auto* b = reinterpret_cast<const unsigned char*>(bytes);
    return static_cast<std::uint16_t>((b[0] << 8) | b[1]);
}

std::uint32_t readUint32Be(const char* bytes)
{
    const auto* b = reinterpret_cast<const unsigned char*>(bytes);
    return (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) | (std::uint32_t{b[2]} << 8) | b[3];
}

std::int32_t readInt32Le(const char* bytes)
{
    const auto* b = reinterpret_cast<const unsigned char*>(bytes);
    const std::uint32_t value =
        (std::uint32_t{b[3]} << 24) | (std::uint32_t{b[2]} << 16) | (std::uint32_t{b[1]} << 8) | b[0];
    return static_cast<std::int32_t>(value); // Two's complement: well defined since C++20.
}

void writeUint16Be(char* out, std::uint16_t value)
{
    out[0] = static_cast<char>(value >> 8);
    out[1] = static_cast<char>(value);
}

void writeUint32Be(char* out, std::uint32_t value)
{
    out[0] = static_cast<char>(value >> 24);
    out[1] = static_cast<char>(value >> 16);
    out[2] = static_cast<char>(value >> 8);
    out[3] = static_cast<char>(value);
}

bool isSingleObjectCommand(std::uint16_t command)
{
    switch (command) {
    case kRegister:
    case kVcaCount:
    case kRegionalCount:
    case kBasicAlarm:
    case kRadar:
        return true;
    default:
        return false;
    }
}

bool isChunkedCommand(std::uint16_t command)
{
    return command == kVcaAlarm || command == kFace;
}

VcaParseResult withStatus(ParseStatus status)
{
    VcaParseResult result;
    result.status = status;
    return result;
}

} // namespace

BasicBuffer<char> serializePacket(std::uint16_t command, const Json& json)
{
    const std::string payload = json.dump();
    std::string frame(kVcaHeaderSize + payload.size(), '\0');
    std::memcpy(frame.data(), kVcaMagic, sizeof(kVcaMagic));
    writeUint16Be(frame.data() + 4, command);
    writeUint16Be(frame.data() + 6, vorn::utils::crc16(payload));
    writeUint32Be(frame.data() + 8, static_cast<std::uint32_t>(payload.size()));
    writeUint32Be(frame.data() + 12, kVcaProtocolVersion);
    std::memcpy(frame.data() + kVcaHeaderSize, payload.data(), payload.size());
    return BasicBuffer<char>(std::move(frame));
}

VcaParseResult parseVcaPacket(BasicBuffer<char>* buffer, const TcpDataMonitor* channel)
{
    if (buffer->size() < kVcaHeaderSize) {
        buffer->reserve(kVcaHeaderSize);
        return withStatus(ParseStatus::needMoreData);
    }

    const char* header = buffer->data();
    if (std::memcmp(header, kVcaMagic, sizeof(kVcaMagic)) != 0) {
        VN_LOG(5, channel, "Parse failed: Invalid magic");
        return withStatus(ParseStatus::error);
    }
    const std::uint16_t command = readUint16Be(header + 4);
    const std::uint16_t checksum = readUint16Be(header + 6);
    const std::uint32_t payloadSize = readUint32Be(header + 8);
    const std::uint32_t version = readUint32Be(header + 12);
    if (version != 1 && version != 2)
        VN_LOG(6, channel, "Warning: unexpected protocol version %1", version);

    // Checked before anything is reserved for the payload: the size is the peer's word.
    if (payloadSize > kMaxVcaPayloadSize) {
        VN_LOG(5, channel, "Parse failed: Data size too big");
        return withStatus(ParseStatus::error);
    }
    const std::size_t frameSize = kVcaHeaderSize + payloadSize;
    if (buffer->size() < frameSize) {
        buffer->reserve(frameSize);
        return withStatus(ParseStatus::needMoreData);
    }

    const std::string_view payload(buffer->data() + kVcaHeaderSize, payloadSize);
    if (vorn::utils::crc16(payload) != checksum) {
        VN_LOG(5, channel, "Parse failed: Invalid crc16");
        return withStatus(ParseStatus::error);
    }

    VcaParseResult result;
    if (isSingleObjectCommand(command)) {
        std::string error;
        Json json = Json::parse(payload, error);
        if (!json.is_object()) {
            VN_LOG(5, channel, "Parse failed: Invalid json: %1. Error: %2", PeerText(payload), error);
            return withStatus(ParseStatus::error);
        }
        result.json = std::move(json);
    } else if (isChunkedCommand(command)) {
        VcaChunkedPayload chunks = parseChunkedPayload(payload, channel);
        result.json = std::move(chunks.json);
        result.image = std::move(chunks.image);
    } else {
        VN_LOG(5, channel, "Undefined command code %1", command);
    }

    buffer->erase(0, frameSize);
    result.status = ParseStatus::ok;
    result.command = command;
    return result;
}

VcaChunkedPayload parseChunkedPayload(std::string_view payload, const TcpDataMonitor* channel)
{
    // 64-bit arithmetic: a length near the int32 limits cannot wrap an offset back into the payload.
    const std::int64_t size = static_cast<std::int64_t>(payload.size());
    const std::int64_t headerSize = static_cast<std::int64_t>(kVcaChunkHeaderSize);
    Json::array objects;
    QByteArray image;

    std::int64_t offset = 0;
    while (offset + headerSize < size) {
        const auto kind = static_cast<unsigned char>(payload[offset]);
        const std::int64_t length = readInt32Le(payload.data() + offset + 1);
        if (length < 0 || offset + length > size) {
            VN_LOG(5, channel, "Parse failed: unexpected size of data: %1 (index = %2, buffer size = %3)", length,
                   offset, size);
            return {};
        }
        if (offset + headerSize + length > size)
            break; // A chunk cut short at the end: what came before it stands.

        const std::string_view data = payload.substr(offset + headerSize, length);
        if (kind != 0) {
            VN_LOG(6, channel, "Got image data");
            image = QByteArray(data.data(), static_cast<int>(data.size()));
        } else {
            std::string error;
            Json json = Json::parse(data, error);
            if (!json.is_object()) {
                VN_LOG(5, channel, "Parse failed: Invalid json in array: %1. Error: %2", PeerText(data), error);
                break;
            }
            objects.push_back(std::move(json));
        }
        offset += headerSize + length;
    }
    return {Json(std::move(objects)), std::move(image)};
}

} // namespace vorn::vms_server_plugins::analytics::zodivadad
