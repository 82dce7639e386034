// A structured-data push with four faces and four 500 KB pictures (as Base64 in the JSON body), from the
// received body to the object packet and the four best shots: JSON parse, object reading, tracks, Base64
// decoding of each picture. Each run is a new processor, so every face is a new track and gets its best
// shot. The baseline decodes the same four pictures from Base64 and nothing more.
#include <cstdint>
#include <string>
#include <vector>

#include <vorn/sdk/ptr.h>
#include <vorn/utils/base64.h>
#include <vorn/vms_server/device_description.h>
#include <vorn/vms_server/host_services.h>
#include <vorn/vms_server_plugins/analytics/uniview/branding.h>
#include <vorn/vms_server_plugins/analytics/uniview/device_agent.h>
#include <vorn/vms_server_plugins/analytics/uniview/engine.h>
#include <vorn/vms_server_plugins/analytics/uniview/plugin.h>
#include <vorn/vms_server_plugins/analytics/uniview/structure_processor.h>

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

// A device agent for a camera that refuses connections: the processor needs one for its clock.
vorn::sdk::Ptr<uniview::DeviceAgent> makeAgent()
{
    const auto branding = uniview::embeddedBranding(0);
    const auto plugin =
        vorn::sdk::makePtr<uniview::Plugin>(branding->probe, branding->vendorPatterns, branding->pluginManifest);
    const auto hostServices = vorn::sdk::makePtr<vorn::vms_server::HostServices>();
    plugin->attachHostServices(hostServices.get());
    const auto engine = vorn::sdk::makePtr<uniview::Engine>(plugin.get());
    const auto description =
        vorn::sdk::makePtr<vorn::vms_server::DeviceDescription>(vorn::vms_server::DeviceDescription::Fields{
            .vendor = "Uniview", .model = "", .url = "http://127.0.0.1:9/", .login = "", .password = ""});
    return vorn::sdk::makePtr<uniview::DeviceAgent>(engine.get(), description.get());
}

void receiveToBestShots(benchmark::State& state)
{
    const std::string body = pushBody(pictures());
    const auto agent = makeAgent();
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
