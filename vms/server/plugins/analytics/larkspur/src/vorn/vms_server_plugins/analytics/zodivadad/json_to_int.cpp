#include "json_to_int.h"

#include <vorn/kit/from_string.h>

namespace vorn::vms_server_plugins::analytics::zodivadad::detail {

std::optional<int> textToInt(const vorn::kit::detail::json11::Json& value)
{
    int result = 0;
    if (value.is_string() && vorn::kit::utils::fromString(value.string_value(), &result))
        return result;
    return std::nullopt;
}

} // namespace vorn::vms_server_plugins::analytics::zodivadad::detail
