// Reading a video-analytics frame from the receive buffer (parseVcaPacket: magic, size limit, CRC-16,
// then JSON or chunks) against the least any reader must do with the same bytes: the CRC of the payload
// and the parse of its JSON. Both sides copy the frame into the receive buffer first, as a socket read
// would, so the ratio shows the reader's own overhead (for the chunked frame, mostly the copy of the
// image out of the buffer).
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include <vorn/kit/json.h>
#include <vorn/utils/buffer.h>
#include <vorn/utils/crc16.h>
#include <vorn/vms_server_plugins/analytics/zodivadad/vca_command.h>
#include <vorn/vms_server_plugins/analytics/zodivadad/vca_frame.h>

#include "bench_bytes.h"
#include "bench_support.h"

namespace {

namespace zodivadad = vorn::vms_server_plugins::analytics::zodivadad;
using vorn::bench::AllocationMeter;
using vorn::bench::larkspur::appendBigEndian;
using vorn::bench::larkspur::appendLittleEndian;
using vorn::kit::detail::json11::Json;

struct FrameSample
{
    std::string frame;
    std::string payload;
    std::string jsonText; //< The JSON that a reader must parse: the payload or its JSON chunk.
};

FrameSample makeFrame(std::uint16_t command, std::string payload, std::string jsonText)
{
    FrameSample sample;
    sample.frame.append("\x20\x20\x06\x02", 4);
    appendBigEndian(&sample.frame, command, 2);
    appendBigEndian(&sample.frame, vorn::utils::crc16(payload), 2);
    appendBigEndian(&sample.frame, payload.size(), 4);
    appendBigEndian(&sample.frame, 2, 4);
    sample.frame += payload;
    sample.payload = std::move(payload);
    sample.jsonText = std::move(jsonText);
    return sample;
}

FrameSample objectFrame(std::size_t frameSize)
{
    std::string json = vorn::bench::larkspur::jsonObjectOfSize(frameSize - zodivadad::kVcaHeaderSize);
    json.insert(json.size() - 1, std::string(frameSize - zodivadad::kVcaHeaderSize - json.size(), ' '));
    return makeFrame(zodivadad::kBasicAlarm, json, json);
}

// A face push: one JSON chunk with the detection and one image chunk filling the frame to its limit.
FrameSample chunkedFrameWithImage(std::size_t payloadSize)
{
    const std::string json = vorn::bench::larkspur::jsonObjectOfSize(4096);
    std::string payload;
    payload.push_back(0);
    appendLittleEndian(&payload, json.size(), 4);
    payload += json;
    const std::size_t imageSize = payloadSize - payload.size() - zodivadad::kVcaChunkHeaderSize;
    payload.push_back(1);
    appendLittleEndian(&payload, imageSize, 4);
    std::string image(imageSize, '\0');
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<char>(i * 131 + 7);
    payload += image;
    return makeFrame(zodivadad::kFace, std::move(payload), json);
}

void readFrame(benchmark::State& state, const FrameSample& sample)
{
    vorn::BasicBuffer<char> buffer;
    buffer.reserve(sample.frame.size());
    AllocationMeter allocations(state);
    for (auto _ : state) {
        buffer.append(sample.frame.data(), sample.frame.size());
        zodivadad::VcaParseResult result = zodivadad::parseVcaPacket(&buffer, nullptr);
        if (result.status != zodivadad::ParseStatus::ok || !buffer.view().empty())
            state.SkipWithError("the frame did not read");
        benchmark::DoNotOptimize(result);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * sample.frame.size()));
}

void crcAndJsonAlone(benchmark::State& state, const FrameSample& sample)
{
    vorn::BasicBuffer<char> buffer;
    buffer.reserve(sample.frame.size());
    AllocationMeter allocations(state);
    for (auto _ : state) {
        buffer.append(sample.frame.data(), sample.frame.size());
        const std::string_view payload = buffer.view().substr(zodivadad::kVcaHeaderSize);
        std::uint16_t crc = vorn::utils::crc16(payload);
        benchmark::DoNotOptimize(crc);
        std::string error;
        Json json = Json::parse(sample.jsonText, error);
        if (!json.is_object())
            state.SkipWithError("the JSON did not parse");
        benchmark::DoNotOptimize(json);
        buffer.erase(0);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * sample.frame.size()));
}

void registerFrame(const std::string& subject, std::function<FrameSample()> make)
{
    // Built on the first run of either side and shared, so both sides read the same bytes.
    const auto cache = std::make_shared<std::optional<FrameSample>>();
    const auto sample = [cache, make = std::move(make)]() -> const FrameSample& {
        if (!*cache)
            *cache = make();
        return **cache;
    };
    vorn::bench::registerComparison(
        {"VCA frame read", subject, "CRC-16 alone + JSON parse alone"},
        [sample](benchmark::State& state) { readFrame(state, sample()); },
        [sample](benchmark::State& state) { crcAndJsonAlone(state, sample()); });
}

const bool kRegistered = [] {
    registerFrame("200 B frame, one JSON object", [] { return objectFrame(200); });
    registerFrame("64 KiB frame, one JSON object",
                  [] { return objectFrame(vorn::bench::scaled<std::size_t>(64 * 1024, 4 * 1024)); });
    registerFrame("8 MiB chunked frame: JSON chunk + image", [] {
        return chunkedFrameWithImage(vorn::bench::scaled<std::size_t>(zodivadad::kMaxVcaPayloadSize, 64 * 1024));
    });
    return true;
}();

} // namespace
