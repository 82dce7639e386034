#include "json_to_int.h"

#include <vorn/kit/from_string.h>

namespace vorn::vms_server_plugins::analytics::zodivadad {

std::optional<int> jsonToInt(const vorn::kit::detail::json11::Json& value)
{
    // A number outside the int range saturates (int_value never overflows), so an absurd "result" or
    // "event" stays absurd instead of turning into the caller's default.
    if (value.is_number())
        return value.int_value();
    if (value.is_string()) {
        int result = 0;
        if (vorn::kit::utils::fromString(value.string_value(), &result))
            return result;
    }
    return std::nullopt;
}

} // namespace vorn::vms_server_plugins::analytics::zodivadad
