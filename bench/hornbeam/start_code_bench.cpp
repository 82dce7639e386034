// The start-code search over a video packet without SEI, as the SEI reading runs it on the server's
// thread for every packet of every camera: find each unit, look at its header byte, skip it. A 1 MB
// packet (a key frame) and a 50 KB one (a typical other frame), each one coded slice of pseudo-random
// bytes with emulation prevention, like the entropy-coded data of a real stream. The baseline is memchr
// over the same bytes, finding every 01 byte, which any start-code search must look at. Both must run
// without allocating.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include <vorn/testing/annexb_builder.h>
#include <vorn/vms/common/h264/nal_unit.h>

#include "bench_support.h"

namespace {

namespace h264 = vorn::vms::common::h264;
using vorn::bench::AllocationMeter;

std::string packetOf(std::size_t size)
{
    return vorn::testing::annexb::sliceUnit(size, 42, 5);
}

void scanUnits(benchmark::State& state, std::size_t size)
{
    const std::string packet = packetOf(size);
    const auto* begin = reinterpret_cast<const std::uint8_t*>(packet.data());
    const auto* end = begin + packet.size();
    AllocationMeter allocations(state);
    for (auto _ : state) {
        int seiUnits = 0;
        const std::uint8_t* current = h264::NALUnit::findNextNAL(begin, end);
        while (current < end) {
            const std::uint8_t* next = h264::NALUnit::findNextNAL(current, end);
            seiUnits += (*current & 0x1F) == h264::NALUnit::kSeiType;
            current = next;
        }
        benchmark::DoNotOptimize(seiUnits);
    }
    allocations.stop();
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(packet.size()));
}

void memchrOnes(benchmark::State& state, std::size_t size)
{
    const std::string packet = packetOf(size);
    const char* const end = packet.data() + packet.size();
    AllocationMeter allocations(state);
    for (auto _ : state) {
        std::size_t ones = 0;
        for (const char* p = packet.data(); p < end; ++p) {
            p = static_cast<const char*>(std::memchr(p, 1, static_cast<std::size_t>(end - p)));
            if (!p)
                break;
            ++ones;
        }
        benchmark::DoNotOptimize(ones);
    }
    allocations.stop();
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(packet.size()));
}

const bool kRegistered = [] {
    const std::size_t large = vorn::bench::scaled<std::size_t>(1024 * 1024, 64 * 1024);
    const std::size_t small = vorn::bench::scaled<std::size_t>(50 * 1024, 4 * 1024);
    vorn::bench::registerComparison(
        {"SEI scan", "1 MB packet without SEI: start-code search", "memchr over the same bytes (every 01 byte)"},
        [large](benchmark::State& state) { scanUnits(state, large); },
        [large](benchmark::State& state) { memchrOnes(state, large); });
    vorn::bench::registerComparison(
        {"SEI scan", "50 KB packet without SEI: start-code search", "memchr over the same bytes (every 01 byte)"},
        [small](benchmark::State& state) { scanUnits(state, small); },
        [small](benchmark::State& state) { memchrOnes(state, small); });
    return true;
}();

} // namespace
