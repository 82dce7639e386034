// The licence-plate push connection as the channel reads it: the login reply first, then metadata
// packets one after the other from the receive buffer (LprMonitor::parseLoginReply, parsePacket), each
// packet's chunks walked and mapped to metadata as the channel publishes them.
//
// Input: byte 0 bit 0 answers failed assertions; bit 1 makes each packet's frame sound (start marker,
// L clamped to the bytes that follow, end marker), so that the fuzzer reaches the payloads; the rest
// is the camera's byte stream.
//
// Beyond "no crash": an ok result covers bytes that are there and its payload lies inside them;
// needMoreData asks for more than the buffer holds; an error carries nothing.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>

#include <vorn/vms_server_plugins/analytics/zodivadad/lpr_monitor.h>

#include "fuzz_support.h"

namespace {

namespace zodivadad = vorn::vms_server_plugins::analytics::zodivadad;
using zodivadad::LprMonitor;
using zodivadad::LprParseResult;
using zodivadad::ParseStatus;

void makeFramesSound(std::string* bytes)
{
    std::size_t offset = 0;
    while (bytes->size() - offset >= zodivadad::kLprPacketHeaderSize + zodivadad::kLprEndMarkerSize) {
        auto* p = reinterpret_cast<unsigned char*>(bytes->data() + offset);
        p[0] = 0xFF;
        p[1] = 0xCC;
        const std::size_t available = bytes->size() - offset - zodivadad::kLprPacketHeaderSize;
        const std::uint32_t declared = std::uint32_t{p[4]} | (std::uint32_t{p[5]} << 8) | (std::uint32_t{p[6]} << 16) |
                                       (std::uint32_t{p[7]} << 24);
        const auto length =
            static_cast<std::uint32_t>(std::clamp<std::size_t>(declared, zodivadad::kLprEndMarkerSize, available));
        p[4] = static_cast<unsigned char>(length);
        p[5] = static_cast<unsigned char>(length >> 8);
        p[6] = static_cast<unsigned char>(length >> 16);
        p[7] = static_cast<unsigned char>(length >> 24);
        p[zodivadad::kLprPacketHeaderSize + length - 2] = 0xDD;
        p[zodivadad::kLprPacketHeaderSize + length - 1] = 0xFF;
        offset += zodivadad::kLprPacketHeaderSize + length;
    }
}

void checkResult(const LprParseResult& result, std::string_view bytes)
{
    switch (result.status) {
    case ParseStatus::ok:
        if (result.totalSize > bytes.size() || result.payload.size() > result.totalSize)
            std::abort();
        if (!result.payload.empty() && (result.payload.data() < bytes.data() ||
                                        result.payload.data() + result.payload.size() > bytes.data() + bytes.size()))
            std::abort(); // The payload is not inside the bytes read.
        break;
    case ParseStatus::needMoreData:
        if (result.totalSize <= bytes.size() || !result.payload.empty())
            std::abort();
        break;
    case ParseStatus::error:
        if (result.totalSize != 0 || !result.payload.empty())
            std::abort();
        break;
    }
}

void publish(std::string_view payload)
{
    zodivadad::LprChunkWalk walk = LprMonitor::parseChunks(nullptr, payload);
    for (zodivadad::PlateRecord& record : walk.records) {
        const zodivadad::PlatePackets packets = LprMonitor::makePlatePackets(
            nullptr, std::move(record), [] { return std::int64_t{1'700'000'000'000'000}; });
        if (packets.bestShots.size() > 2)
            std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    vorn::fuzz::FuzzInput input(data, size);
    const std::uint8_t mode = input.takeByte();
    vorn::fuzz::prepare((mode & 1) != 0);
    std::string stream(input.rest());
    if ((mode & 2) != 0)
        makeFramesSound(&stream);
    std::string_view bytes(stream);

    const LprParseResult login = LprMonitor::parseLoginReply(nullptr, bytes);
    checkResult(login, bytes);
    if (login.status != ParseStatus::ok)
        return 0;
    bytes.remove_prefix(login.totalSize);

    for (;;) {
        const LprParseResult packet = LprMonitor::parsePacket(nullptr, bytes, zodivadad::LprPacketType::kMetadata);
        checkResult(packet, bytes);
        if (packet.status != ParseStatus::ok)
            return 0;
        publish(packet.payload);
        bytes.remove_prefix(packet.totalSize);
    }
}
