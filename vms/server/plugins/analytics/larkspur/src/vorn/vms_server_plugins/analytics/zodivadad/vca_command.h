// The command codes of the camera's video-analytics push protocol and the camera analytics section
// that each pushed command reports.
//
// The section is the value of an engine manifest event type's "internalSection"; the device agent
// finds the event type of a pushed event by (section, event number):
//
//     if (const auto section = sectionForCommand(kVcaAlarm))
//         engine->eventTypeBySection(*section, eventNumber);
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace vorn::vms_server_plugins::analytics::zodivadad {

enum VcaCommand : uint16_t {
    kRegister = 0x0001,
    kVcaCount = 0x0101,
    kVcaAlarm = 0x0102,
    kRegionalCount = 0x0103,
    kFace = 0x0201,
    kBasicAlarm = 0x0301,
    kRadar = 0x0310,
};

/** The camera section that a pushed command reports; none for kRegister and unknown codes. */
std::optional<std::string> sectionForCommand(uint16_t command);

} // namespace vorn::vms_server_plugins::analytics::zodivadad
