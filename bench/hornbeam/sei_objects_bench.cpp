// A 50 KB video packet with one SEI unit of 20 object tracks, from the packet's bytes to the objects: the
// start-code scan, the SEI unit's decoding and the track records read into objects. The baseline is the
// SEI parse alone on the same bytes (scan, decode, list the messages), which any reader must do.
#include <cstdint>
#include <string>
#include <vector>

#include <vorn/testing/annexb_builder.h>
#include <vorn/vms/common/h264/nal_unit.h>
#include <vorn/vms/common/h264/sei_unit.h>
#include <vorn/vms_server_plugins/analytics/uniview/sei_processor.h>

#include "bench_support.h"

namespace {

namespace annexb = vorn::testing::annexb;
namespace h264 = vorn::vms::common::h264;
namespace uniview = vorn::vms_server_plugins::analytics::uniview;
using vorn::bench::AllocationMeter;

std::string packetWithTracks()
{
    std::vector<annexb::TrackRecord> records;
    for (std::uint32_t i = 1; i <= 20; ++i) {
        annexb::TrackRecord record;
        record.objectId = i;
        record.left = static_cast<std::uint16_t>(i * 100);
        record.top = static_cast<std::uint16_t>(i * 200);
        record.right = static_cast<std::uint16_t>(i * 100 + 800);
        record.bottom = static_cast<std::uint16_t>(i * 200 + 1500);
        record.typeFlag = 1;
        record.extra = std::string(1, static_cast<char>(1 + i % 2));
        records.push_back(record);
    }
    return annexb::seiUnit({{5, annexb::univiewTrackPayload(40, records)}}) +
           annexb::sliceUnit(vorn::bench::scaled<std::size_t>(50 * 1024, 4 * 1024), 7, 1);
}

void packetToObjects(benchmark::State& state)
{
    const std::string packet = packetWithTracks();
    AllocationMeter allocations(state);
    for (auto _ : state) {
        std::vector<uniview::Object> objects =
            uniview::SeiProcessor(reinterpret_cast<const std::uint8_t*>(packet.data()), static_cast<int>(packet.size()))
                .parse();
        if (objects.size() != 20)
            state.SkipWithError("wrong object count");
        benchmark::DoNotOptimize(objects);
    }
}

void seiParseAlone(benchmark::State& state)
{
    const std::string packet = packetWithTracks();
    const auto* begin = reinterpret_cast<const std::uint8_t*>(packet.data());
    const auto* end = begin + packet.size();
    AllocationMeter allocations(state);
    for (auto _ : state) {
        std::size_t messages = 0;
        const std::uint8_t* current = h264::NALUnit::findNextNAL(begin, end);
        while (current < end) {
            const std::uint8_t* next = h264::NALUnit::findNextNAL(current, end);
            if ((*current & 0x1F) == h264::NALUnit::kSeiType) {
                h264::SEIUnit sei;
                if (sei.decodeBuffer(current, next) && sei.deserialize(h264::SPSUnit(), 0))
                    messages += sei.m_processedMessages.size();
            }
            current = next;
        }
        benchmark::DoNotOptimize(messages);
    }
}

const bool kRegistered = [] {
    vorn::bench::registerComparison({"SEI scan", "50 KB packet with 20 SEI tracks: packet to objects",
                                     "SEI parse alone (scan, decode, list messages)"},
                                    packetToObjects, seiParseAlone);
    return true;
}();

} // namespace
