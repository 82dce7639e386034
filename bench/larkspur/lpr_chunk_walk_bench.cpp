// The chunk walk of a licence-plate metadata packet (LprMonitor::parseChunks) must take time in
// proportion to the payload, whatever its chunks look like: a camera (or anything on its port) can
// send one packet of up to 18 MB cut into 2 million one-byte image chunks.
//
// - 2 M one-byte image chunks after one plate record, against the same number of bytes in as few
//   chunks as the limits allow (one record and three image chunks of at most 6220800 bytes). The
//   ratio is the price of a chunk (its image is a block of its own), not of the bytes.
// - The same walk over 2 M and over 1 M chunks: linear when the ratio stays near 2.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include <vorn/vms_server_plugins/analytics/zodivadad/lpr_monitor.h>

#include "bench_bytes.h"
#include "bench_support.h"

namespace {

namespace zodivadad = vorn::vms_server_plugins::analytics::zodivadad;
using vorn::bench::AllocationMeter;
using vorn::bench::larkspur::appendLittleEndian;

constexpr std::uint32_t kMetadataChunk = 0x11FF0000;
constexpr std::uint32_t kImageChunk = 0x22FF0000;

void appendChunk(std::string* payload, std::uint32_t type, std::size_t size, char fill)
{
    appendLittleEndian(payload, type, 4);
    appendLittleEndian(payload, size, 4);
    payload->append(size, fill);
}

// One plate record: 80 bytes, a 7-byte plate number, 30 bytes; frame 1920 x 1080.
std::string plateRecord()
{
    std::string record(80, '\0');
    record[79] = 7;
    record += "AB123CD";
    std::string fields2(30, '\0');
    fields2[18] = static_cast<char>(1920 & 0xFF);
    fields2[19] = static_cast<char>(1920 >> 8);
    fields2[20] = static_cast<char>(1080 & 0xFF);
    fields2[21] = static_cast<char>(1080 >> 8);
    return record + fields2;
}

std::string recordChunk()
{
    const std::string record = plateRecord();
    std::string chunk;
    appendLittleEndian(&chunk, kMetadataChunk, 4);
    appendLittleEndian(&chunk, record.size(), 4);
    return chunk + record;
}

std::string tinyChunks(std::size_t count)
{
    std::string payload = recordChunk();
    payload.reserve(payload.size() + count * (zodivadad::kLprChunkHeaderSize + 1));
    for (std::size_t i = 0; i < count; ++i)
        appendChunk(&payload, kImageChunk, 1, static_cast<char>(i));
    return payload;
}

// The same number of bytes as tinyChunks(count), in image chunks as large as allowed.
std::string largestChunks(std::size_t count)
{
    std::string payload = recordChunk();
    std::size_t left = count * (zodivadad::kLprChunkHeaderSize + 1);
    while (left > zodivadad::kLprChunkHeaderSize) {
        const std::size_t body =
            std::min<std::size_t>(left - zodivadad::kLprChunkHeaderSize, zodivadad::kMaxImageChunkSize);
        appendChunk(&payload, kImageChunk, body, 'j');
        left -= zodivadad::kLprChunkHeaderSize + body;
    }
    return payload;
}

void walk(benchmark::State& state, const std::string& payload)
{
    AllocationMeter allocations(state);
    for (auto _ : state) {
        zodivadad::LprChunkWalk result = zodivadad::LprMonitor::parseChunks(nullptr, payload);
        if (result.status != zodivadad::ChunkWalkStatus::complete || result.records.size() != 1)
            state.SkipWithError("the payload did not walk");
        benchmark::DoNotOptimize(result);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * payload.size()));
}

// Built on the first run that needs it and kept: the payloads are tens of megabytes.
std::function<void(benchmark::State&)> walkOf(std::function<std::string()> make)
{
    auto cache = std::make_shared<std::optional<std::string>>();
    return [cache, make = std::move(make)](benchmark::State& state) {
        if (!*cache)
            *cache = make();
        walk(state, **cache);
    };
}

const bool kRegistered = [] {
    const auto chunks = [](std::size_t full) { return vorn::bench::scaled<std::size_t>(full, full / 100); };
    const auto twoMillion = walkOf([chunks] { return tinyChunks(chunks(2'000'000)); });
    vorn::bench::registerComparison(
        {"LPR chunk walk", "2 M one-byte image chunks (18 MB)", "the same bytes in 3 image chunks"}, twoMillion,
        walkOf([chunks] { return largestChunks(chunks(2'000'000)); }));
    vorn::bench::registerComparison(
        {"LPR chunk walk", "linearity: 2 M one-byte image chunks", "1 M one-byte image chunks: linear at 2.0"},
        twoMillion, walkOf([chunks] { return tinyChunks(chunks(1'000'000)); }));
    return true;
}();

} // namespace
