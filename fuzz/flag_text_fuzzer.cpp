// The flag-enum text parse (vorn::fusion::fromString over the flag tables of the VMS API records),
// which reads the "capabilities" and "flags" members of engine manifests, including a manifest file
// that replaces the embedded one.
//
// Beyond "no crash": whatever the parse accepted, written with toString and read again, gives the same
// flags and reads without failure.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include <QtCore/QFlags>

#include <vorn/fusion/serialization/flag_text.h>
#include <vorn/vms/api/analytics/engine_manifest.h>
#include <vorn/vms/api/analytics/event_type.h>
#include <vorn/vms/api/analytics/object_type.h>

#include "fuzz_support.h"

namespace {

namespace api = vorn::vms::api::analytics;

template <typename Enum>
void roundTrip(std::string_view text)
{
    QFlags<Enum> flags;
    static_cast<void>(vorn::fusion::fromString(text, &flags));
    const std::string written = vorn::fusion::toString(flags);
    QFlags<Enum> reread;
    if (!vorn::fusion::fromString(written, &reread) || reread != flags)
        std::abort(); // The text of accepted flags does not read back as those flags.
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    vorn::fuzz::FuzzInput input(data, size);
    vorn::fuzz::prepare(input.takeBool());
    switch (input.takeByte() % 3) {
    case 0:
        roundTrip<api::EngineManifest::Capability>(input.rest());
        break;
    case 1:
        roundTrip<api::EventTypeFlag>(input.rest());
        break;
    default:
        roundTrip<api::ObjectTypeFlag>(input.rest());
        break;
    }
    return 0;
}
