// One plate record (LprMonitor::parsePlateRecord) and everything the channel makes of it: the plate and
// vehicle objects with their boxes and attributes (LprMonitor::makePlatePackets, plateRect,
// vehicleRectFromPlate) and the best shots of its images.
//
// Input: byte 0 bit 0 answers failed assertions; byte 1 is the number of images that arrived for the
// record (each one byte larger than the one before); the rest is the metadata chunk's body.
//
// Beyond "no crash": the vehicle box is (-1, -1, -1, -1) or lies inside the frame; the plate number
// is the record's text as it came.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <vorn/vms_server_plugins/analytics/zodivadad/lpr_monitor.h>

#include "fuzz_support.h"

namespace {

namespace zodivadad = vorn::vms_server_plugins::analytics::zodivadad;
using zodivadad::LprMonitor;

bool isUnknown(const vorn::sdk::analytics::BoundingBox& box)
{
    return box.x == -1 && box.y == -1 && box.width == -1 && box.height == -1;
}

// A small tolerance: the clamping works in single precision.
bool isInsideFrame(const vorn::sdk::analytics::BoundingBox& box)
{
    constexpr float kTolerance = 1e-5F;
    return std::isfinite(box.x) && std::isfinite(box.y) && std::isfinite(box.width) && std::isfinite(box.height) &&
           box.x >= 0 && box.y >= 0 && box.width >= 0 && box.height >= 0 && box.x + box.width <= 1 + kTolerance &&
           box.y + box.height <= 1 + kTolerance;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    vorn::fuzz::FuzzInput input(data, size);
    vorn::fuzz::prepare(input.takeBool());
    const std::uint8_t images = input.takeByte() % 8;
    const std::string_view body = input.rest();

    zodivadad::PlateRecord record = LprMonitor::parsePlateRecord(body);
    const std::size_t numberStart = zodivadad::PlateRecordFields1::kSize;
    const std::string_view number =
        body.size() > numberStart ? body.substr(numberStart, record.fields1.plateNumberLength()) : std::string_view();
    if (record.plateNumber != number)
        std::abort(); // The plate number is not the record's text.
    const vorn::sdk::analytics::BoundingBox vehicle = zodivadad::vehicleRectFromPlate(record.fields2);
    if (!isUnknown(vehicle) && !isInsideFrame(vehicle))
        std::abort();
    static_cast<void>(zodivadad::plateRect(record.fields2));

    for (std::uint8_t i = 0; i < images; ++i)
        record.addImage(std::string(std::size_t{i} + 1, static_cast<char>(0xFF)));
    static_cast<void>(LprMonitor::makePlatePackets(nullptr, std::move(record), [] { return std::int64_t{0}; }));
    return 0;
}
