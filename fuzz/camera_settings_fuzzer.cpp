// The camera's CGI settings reply (parseCameraSettingsReply), read on every device agent creation and
// by the licence-plate channel's settings check.
//
// Beyond "no crash": no setting comes out of a body without "=", and no name or value carries the
// separator ";".
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include <vorn/vms_server_plugins/analytics/zodivadad/camera_settings_parser.h>

#include "fuzz_support.h"

namespace zodivadad = vorn::vms_server_plugins::analytics::zodivadad;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    vorn::fuzz::prepare(false);
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    const zodivadad::CameraSettings settings = zodivadad::parseCameraSettingsReply(body);
    if (body.find('=') == std::string_view::npos && !settings.empty())
        std::abort();
    for (const auto& [name, value] : settings) {
        if (name.contains(u';') || value.contains(u';'))
            std::abort();
    }
    return 0;
}
