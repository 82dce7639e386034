// The chunk walk of a licence-plate metadata payload (LprMonitor::parseChunks) and the mapping of its
// plate records to the packets the channel publishes (LprMonitor::makePlatePackets).
//
// Input: byte 0 bit 0 answers failed assertions; the rest is one packet's payload.
//
// Beyond "no crash": an invalid chunk header drops every record; the images of all records together
// are no larger than the payload; a record gives at most two best shots.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <utility>

#include <vorn/vms_server_plugins/analytics/zodivadad/lpr_monitor.h>

#include "fuzz_support.h"

namespace zodivadad = vorn::vms_server_plugins::analytics::zodivadad;
using zodivadad::LprMonitor;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    vorn::fuzz::FuzzInput input(data, size);
    vorn::fuzz::prepare(input.takeBool());
    const std::string_view payload = input.rest();

    zodivadad::LprChunkWalk walk = LprMonitor::parseChunks(nullptr, payload);
    if (walk.status == zodivadad::ChunkWalkStatus::invalidChunkHeader && !walk.records.empty())
        std::abort();
    std::size_t imageBytes = 0;
    for (const zodivadad::PlateRecord& record : walk.records) {
        if (record.images.size() > zodivadad::PlateRecord::kKeptImages || record.images.size() > record.imagesReceived)
            std::abort(); // More images held than passed on, or than arrived.
        for (const auto& image : record.images)
            imageBytes += image.size();
    }
    if (imageBytes > payload.size())
        std::abort();

    for (zodivadad::PlateRecord& record : walk.records) {
        const zodivadad::PlatePackets packets = LprMonitor::makePlatePackets(
            nullptr, std::move(record), [] { return std::int64_t{1'700'000'000'000'000}; });
        if (packets.bestShots.size() > 2 || (!packets.objects && !packets.bestShots.empty()))
            std::abort();
    }
    return 0;
}
