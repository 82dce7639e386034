// One packet of an Axis camera's ONVIF metadata stream as the device agent reads it
// (MetadataProcessor::parseNotificationPacket): the nesting check, the in-place XML parse and every
// notification message of the packet.
//
// Input: byte 0 bit 0 answers failed assertions; the rest is the packet's text. The state items are those
// of the fixture camera's catalogue, so state parsing runs too.
//
// Beyond "no crash": every notification carries the packet's timestamp, and a topic's state item never
// appears among its attributes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include <vorn/vms_server_plugins/analytics/axis/metadata_processor.h>

#include "fuzz_support.h"

namespace axis = vorn::vms_server_plugins::analytics::axis;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    vorn::fuzz::FuzzInput input(data, size);
    vorn::fuzz::prepare(input.takeBool());
    static const axis::MetadataProcessor::StateNames stateNames = {
        {QStringLiteral("tns1:RuleEngine/MotionRegionDetector/Motion"), QStringLiteral("State")},
        {QStringLiteral("tnsaxis:CameraApplicationPlatform/VMD/Camera1Profile1"), QStringLiteral("active")},
    };
    constexpr int64_t kTimestampUs = 1'714'564'800'000'000;

    std::string text(input.rest());
    const auto notifications =
        axis::MetadataProcessor::parseNotificationPacket(&text, kTimestampUs, stateNames, nullptr);
    for (const axis::Notification& notification : notifications) {
        if (notification.timestamp != kTimestampUs)
            std::abort();
        const auto state = stateNames.find(notification.topic);
        if (state != stateNames.end() && notification.attributes.contains(state->second))
            std::abort();
    }
    return 0;
}
