// The image size CGI reply of an Axis camera (parseCoordinateDomain), read on every device agent creation.
//
// Beyond "no crash": a side stays -1 unless its key appears in the reply.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include <QtCore/QByteArray>

#include <vorn/vms_server_plugins/analytics/axis/camera_discovery.h>

#include "fuzz_support.h"

namespace axis = vorn::vms_server_plugins::analytics::axis;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    vorn::fuzz::prepare(false);
    const QByteArray body(reinterpret_cast<const char*>(data), static_cast<int>(size));
    const axis::CoordinateDomain domain = axis::parseCoordinateDomain(body);
    if (domain.width != -1 && !body.contains("image width"))
        std::abort();
    if (domain.height != -1 && !body.contains("image height"))
        std::abort();
    return 0;
}
