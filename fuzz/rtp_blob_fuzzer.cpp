// The metadata stream's object lists (RtpMetadataParser::parseMetadata): blobs of records, each a
// 12-byte header and its data, walked with bounds checks whose failures the caller's assertion handler
// may answer either way.
//
// Input: byte 0 bit 0 answers failed assertions; then blobs, each a two-byte length (taken modulo
// what is left) and the blob's bytes, all handed to one parser, as the packets of one stream are.
//
// Beyond "no crash": every packet is an object packet whose items lie inside the frame, and a blob
// makes no more packets than it has records.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include <vorn/sdk/analytics/i_metadata.h>
#include <vorn/sdk/analytics/i_metadata_packet.h>
#include <vorn/sdk/ptr.h>
#include <vorn/vms_server_plugins/analytics/zodivadad/rtp_metadata_parser.h>
#include <vorn/vms_server_plugins/analytics/zodivadad/rtp_types.h>

#include "fuzz_support.h"

namespace {

namespace zodivadad = vorn::vms_server_plugins::analytics::zodivadad;
namespace analytics = vorn::sdk::analytics;

void checkPacket(const vorn::sdk::Ptr<analytics::IMetadataPacket>& packet)
{
    const auto objects = vorn::sdk::queryInterface<analytics::IObjectMetadataPacket>(packet.get());
    if (!objects || objects->itemCount() <= 0)
        std::abort(); // Only object packets with objects are sent.
    for (int32_t i = 0; i < objects->itemCount(); ++i) {
        // A getter hands out a reference of its own.
        const auto item = vorn::sdk::toPtr(objects->getItem(i));
        const auto object = vorn::sdk::queryInterface<analytics::IObjectMetadata>(item.get());
        if (!object)
            std::abort();
        analytics::BoundingBox box;
        object->getBoundingBox(&box);
        if (!(box.x >= 0 && box.y >= 0 && box.width >= 0 && box.height >= 0 && box.x + box.width <= 1 &&
              box.y + box.height <= 1)) {
            std::abort(); // A box outside the frame was sent.
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    vorn::fuzz::FuzzInput input(data, size);
    vorn::fuzz::prepare(input.takeBool());

    std::size_t packets = 0;
    zodivadad::RtpMetadataParser parser(
        [&packets](const vorn::sdk::Ptr<vorn::sdk::analytics::IMetadataPacket>& packet) {
            checkPacket(packet);
            ++packets;
        },
        QStringLiteral("192.0.2.10"));

    std::int64_t timestampUs = 1'700'000'000'000'000;
    while (!input.rest().empty()) {
        const std::size_t length = input.takeUint16() % (input.rest().size() + 1);
        const std::string_view blob = input.rest().substr(0, length);
        const std::size_t packetsBefore = packets;
        parser.parseMetadata(blob.data(), static_cast<std::int32_t>(blob.size()), timestampUs);
        // A packet is the object list of one record: a record header and data of its own in the blob.
        const std::size_t smallestRecord = sizeof(zodivadad::rtsp::SubclassHeader) + 1;
        if (packets - packetsBefore >
            (blob.size() - std::min(blob.size(), zodivadad::rtsp::kBlobHeaderSize)) / smallestRecord) {
            std::abort(); // More packets than the blob has records.
        }
        timestampUs += 40'000;
        for (std::size_t i = 0; i < length; ++i)
            input.takeByte();
    }
    return 0;
}
