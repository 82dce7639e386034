#include "vca_command.h"

#include <map>

namespace vorn::vms_server_plugins::analytics::zodivadad {

std::optional<std::string> sectionForCommand(uint16_t command)
{
    // Built once, thread-safely, on first use; never changed afterwards.
    static const std::map<uint16_t, std::string> kSections{
        {kVcaCount, "vcacount"}, {kVcaAlarm, "vcaalarm"},     {kRegionalCount, "regionalcount"},
        {kFace, "face"},         {kBasicAlarm, "basicalarm"}, {kRadar, "radar"},
    };
    const auto it = kSections.find(command);
    if (it == kSections.end())
        return std::nullopt;
    return it->second;
}

} // namespace vorn::vms_server_plugins::analytics::zodivadad
