// One blob of the metadata stream with a full object list (255 objects, the most a record can hold)
// while the parser keeps 1000 live tracks: the parse runs on the thread that delivers the server's
// packets, for every packet of every camera. Reported per blob, with its allocations; the baseline
// decodes the same blob's object list and nothing more (no tracks, no metadata objects).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include <vorn/vms_server_plugins/analytics/zodivadad/rtp_metadata_parser.h>
#include <vorn/vms_server_plugins/analytics/zodivadad/rtp_types.h>

#include "bench_bytes.h"
#include "bench_support.h"

namespace {

namespace zodivadad = vorn::vms_server_plugins::analytics::zodivadad;
using vorn::bench::AllocationMeter;
using vorn::bench::larkspur::appendBigEndian;

constexpr int kObjectsPerBlob = 255;
constexpr int kLiveTracks = 1000;

// An 8-byte blob header and one object list of the objects numbered first..first+count-1, persons and
// vehicles in turn, boxes inside a 1920 x 1080 frame.
std::string objectListBlob(std::uint32_t first, int count)
{
    std::string blob(8, '\0');
    appendBigEndian(&blob, 1, 2);                    // start code
    blob.push_back(5);                               // event id: object list
    blob.push_back(static_cast<char>(count));        // item count
    appendBigEndian(&blob, 0, 4);                    // not interpreted
    appendBigEndian(&blob, (4 + 24 * count) / 4, 4); // size in words
    appendBigEndian(&blob, 1920, 2);
    appendBigEndian(&blob, 1080, 2);
    for (int i = 0; i < count; ++i) {
        const std::uint32_t number = first + static_cast<std::uint32_t>(i);
        appendBigEndian(&blob, number, 4);
        appendBigEndian(&blob, 0, 8);
        appendBigEndian(&blob, 1 + i % 2, 4);
        const std::uint32_t x = (number * 7) % 1800;
        const std::uint32_t y = (number * 5) % 900;
        appendBigEndian(&blob, x, 2);
        appendBigEndian(&blob, y, 2);
        appendBigEndian(&blob, x + 100, 2);
        appendBigEndian(&blob, y + 150, 2);
    }
    return blob;
}

void parseWithLiveTracks(benchmark::State& state)
{
    std::size_t packets = 0;
    zodivadad::RtpMetadataParser parser([&packets](const auto&) { ++packets; }, QStringLiteral("192.0.2.10"));
    for (std::uint32_t first = 0; first < kLiveTracks; first += kObjectsPerBlob) {
        const std::string warmUp = objectListBlob(first, kObjectsPerBlob);
        parser.parseMetadata(warmUp.data(), static_cast<std::int32_t>(warmUp.size()), 0);
    }
    const std::string blob = objectListBlob(kLiveTracks / 2, kObjectsPerBlob);
    std::int64_t timestampUs = 1'700'000'000'000'000;

    AllocationMeter allocations(state);
    for (auto _ : state) {
        parser.parseMetadata(blob.data(), static_cast<std::int32_t>(blob.size()), timestampUs);
        timestampUs += 40'000;
    }
    allocations.stop();
    if (packets == 0)
        state.SkipWithError("no packet was sent");
}

void decodeAlone(benchmark::State& state)
{
    const std::string blob = objectListBlob(kLiveTracks / 2, kObjectsPerBlob);
    zodivadad::ObjectList list;
    AllocationMeter allocations(state);
    for (auto _ : state) {
        const std::string_view bytes(blob);
        const auto header = zodivadad::rtsp::SubclassHeader::read(bytes.substr(8));
        const std::string_view data = bytes.substr(8 + 12, header->dataSize());
        if (zodivadad::readObjectList(data, header->itemCount, &list) != zodivadad::ObjectListStatus::ok)
            state.SkipWithError("the blob did not decode");
        benchmark::DoNotOptimize(list);
    }
}

const bool kRegistered = [] {
    vorn::bench::registerComparison(
        {"RTP blob", "255 objects, 1000 live tracks: per blob", "decoding the object list alone"}, parseWithLiveTracks,
        decodeAlone);
    return true;
}();

} // namespace
