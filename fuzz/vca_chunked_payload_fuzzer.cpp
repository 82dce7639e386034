// The chunked payload of the video-analytics alarm and face pushes (parseChunkedPayload): kind byte,
// signed little-endian length and data, back to back, with JSON objects and images mixed.
//
// Beyond "no crash": the result is null (a chunk ran past the payload) or an array of objects, and
// the image is no larger than the payload.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include <vorn/vms_server_plugins/analytics/zodivadad/vca_frame.h>

#include "fuzz_support.h"

namespace zodivadad = vorn::vms_server_plugins::analytics::zodivadad;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    vorn::fuzz::FuzzInput input(data, size);
    vorn::fuzz::prepare(input.takeBool());
    const std::string_view payload = input.rest();

    const zodivadad::VcaChunkedPayload result = zodivadad::parseChunkedPayload(payload, nullptr);
    if (!result.json.is_null() && !result.json.is_array())
        std::abort();
    for (const auto& item : result.json.array_items()) {
        if (!item.is_object())
            std::abort();
    }
    if (static_cast<std::size_t>(result.image.size()) > payload.size())
        std::abort();
    return 0;
}
