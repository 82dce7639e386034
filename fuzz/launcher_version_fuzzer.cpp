// The reader of trailhead's per-user "launcher.version" file (vorn::trailhead::parseLauncherVersion),
// which decides which waypoint.exe is started. The file lies in a folder the user owns, so its bytes
// may be anything.
//
// Beyond "no crash": the version read, written back as "%d.%d.%d.%d", reads as the same version.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "fuzz_support.h"
#include "launcher_version.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    vorn::fuzz::FuzzInput input(data, size);
    vorn::fuzz::prepare(input.takeBool());
    const std::string_view text = input.rest();
    const vorn::trailhead::LauncherVersion version =
        vorn::trailhead::parseLauncherVersion(text.substr(0, vorn::trailhead::kMaxVersionFileBytes));
    char written[64];
    std::snprintf(written, sizeof(written), "%d.%d.%d.%d", version.major, version.minor, version.patch, version.build);
    if (vorn::trailhead::parseLauncherVersion(written) != version)
        std::abort(); // The version read does not read back as itself.
    return 0;
}
