// A structured-data push with four faces and four 500 KB pictures (as Base64 in the JSON body), from the
// received body to the object packet and the four best shots: JSON parse, object reading, tracks, Base64
// decoding of each picture. Each run is a new processor, so every face is a new track and gets its best
// shot. The baseline decodes the same four pictures from Base64 and nothing more.
#include <cstdint>
#include <string>
#include <vector>

#include <vorn/sdk/ptr.h>
#include <vorn/utils/base64.h>
#include <vorn/vms_server_plugins/analytics/uniview/structure_processor.h>

#include "bench_device_agent.h"
#include "bench_support.h"

namespace {

namespace uniview = vorn::vms_server_plugins::analytics::uniview;
using vorn::bench::AllocationMeter;

constexpr int kFaces = 4;

std::vector<std::string> pictures()
{
    std::vector<std::string> result;
    const std::size_t size = vorn::bench::scaled<std::size_t>(500 * 1024, 16 * 1024);
    for (int i = 0; i < kFaces; ++i) {
        std::string bytes(size, '\0');
        std::uint32_t state = 12345u + static_cast<std::uint32_t>(i);
        for (char& c : bytes) {
            state = state * 1664525u + 1013904223u;
            c = static_cast<char>(state >> 24);
        }
        result.push_back(vorn::utils::toBase64(bytes));
    }
    return result;
}

std::string pushBody(const std::vector<std::string>& base64Pictures)
{
    std::string images;
    std::string faces;
    for (int i = 0; i < kFaces; ++i) {
        const std::string index = std::to_string(i + 1);
        images += (i ? "," : "") + std::string(R"({"Index":)") + index + R"(,"Data":")" + base64Pictures[i] + R"("})";
        faces += (i ? "," : "") + std::string(R"({"FaceID":)") + index + R"(,"SmallPicAttachIndex":)" + index +
                 R"(,"Position":"1000,1000;2000,2000","AttributeInfo":{"Gender":1,"AgeRange":3}})";
    }
    return R"({"TimeStamp":1700000000,"StructureInfo":{"ImageNum":4,"ImageInfoList":[)" + images +
           R"(],"ObjInfo":{"FaceNum":4,"FaceInfoList":[)" + faces + "]}}}";
}

void receiveToBestShots(benchmark::State& state)
{
    const std::string body = pushBody(pictures());
    const auto agent = vorn::bench::makeBenchDeviceAgent();
    AllocationMeter allocations(state);
    for (auto _ : state) {
        uniview::StructureProcessor processor(agent.get());
        const uniview::MetadataPackets packets = processor.process(body);
        if (packets.size() != 1 + kFaces)
            state.SkipWithError("no best shots");
        benchmark::DoNotOptimize(packets);
    }
}

void base64Alone(benchmark::State& state)
{
    const std::vector<std::string> base64Pictures = pictures();
    AllocationMeter allocations(state);
    for (auto _ : state) {
        for (const std::string& text : base64Pictures) {
            std::vector<char> bytes(static_cast<std::size_t>(vorn::utils::fromBase64(text, nullptr)));
            vorn::utils::fromBase64(text, bytes.data());
            benchmark::DoNotOptimize(bytes);
        }
    }
}

const bool kRegistered = [] {
    vorn::bench::registerComparison({"Structure push", "4 faces, 4 x 500 KB pictures: received body to best shots",
                                     "Base64 decoding of the 4 pictures alone"},
                                    receiveToBestShots, base64Alone);
    return true;
}();

} // namespace
