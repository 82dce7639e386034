// uniview::jsonToInt: a code or id of the camera's JSON read as an integer, whether the camera wrote it as
// a number (2) or as a text ("2", "12 km/h").
//
//     if (const std::optional<int> code = jsonToInt(attributes["Gender"]))
//         lookUp(*code);
//
// Nothing that is not a number or a text becomes a value, and nothing is made up: a text without a
// leading integer and any value beyond the int range give no value rather than 0, which would turn into
// a real code ("Woman", "false") or the valid object id 0.
#pragma once

#include <optional>

#include <vorn/kit/json.h>

namespace vorn::vms_server_plugins::analytics::uniview {

/**
 * A number gives its int value (the fraction dropped); a text gives its leading decimal integer (an
 * optional "-" right at the start, then digits up to the first other character; no blank, no "+");
 * null, booleans, arrays, objects, texts without a leading integer and values outside the int range
 * give none.
 */
std::optional<int> jsonToInt(const vorn::kit::detail::json11::Json& value);

} // namespace vorn::vms_server_plugins::analytics::uniview
