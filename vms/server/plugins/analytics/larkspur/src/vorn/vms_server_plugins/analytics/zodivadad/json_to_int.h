// jsonToInt: a member of the camera's JSON read as an integer, whether the camera wrote it as a number
// or as a text ("alarm": 1 and "alarm": "1" both occur).
//
// There is no default inside; each caller applies its own when no value comes back:
//
//     const int event = jsonToInt(json["event"]).value_or(0);
#pragma once

#include <optional>

#include <vorn/kit/json.h>

namespace vorn::vms_server_plugins::analytics::zodivadad {

/**
 * A number gives its int value (truncated towards zero), or nothing outside the int range; a text gives
 * the int it spells in full (sign and decimal digits only), or nothing; any other kind gives nothing.
 */
std::optional<int> jsonToInt(const vorn::kit::detail::json11::Json& value);

} // namespace vorn::vms_server_plugins::analytics::zodivadad
