// The licence-plate application's record search reply (parsePlateRecord): the nesting check, the in-place
// XML parse and the search for the car's record and image.
//
// Input: byte 0 bit 0 answers failed assertions; bytes 1-2 are the car id (little-endian); the rest is the
// reply.
//
// Beyond "no crash": a refused or broken reply names no image.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include <vorn/vms_server_plugins/analytics/axis/lpr_notification_processor.h>

#include "fuzz_support.h"

namespace axis = vorn::vms_server_plugins::analytics::axis;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    vorn::fuzz::FuzzInput input(data, size);
    vorn::fuzz::prepare(input.takeBool());
    const std::uint64_t carId = input.takeUint16();
    std::string body(input.rest());
    const axis::PlateRecordReadResult result = axis::parsePlateRecord(&body, carId);
    if (result.parseError && result.imagePath)
        std::abort();
    return 0;
}
