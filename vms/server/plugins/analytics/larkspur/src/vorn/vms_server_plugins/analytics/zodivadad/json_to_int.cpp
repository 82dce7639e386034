#include "json_to_int.h"

#include <cmath>
#include <limits>

#include <vorn/kit/from_string.h>

namespace vorn::vms_server_plugins::analytics::zodivadad {

std::optional<int> jsonToInt(const vorn::kit::detail::json11::Json& value)
{
    if (value.is_number()) {
        // A number the camera cannot have meant as an int (1e12, a NaN) is no value, not a clamped one.
        const double number = std::trunc(value.number_value());
        if (!(number >= std::numeric_limits<int>::min() && number <= std::numeric_limits<int>::max()))
            return std::nullopt;
        return static_cast<int>(number);
    }
    if (value.is_string()) {
        int result = 0;
        if (vorn::kit::utils::fromString(value.string_value(), &result))
            return result;
    }
    return std::nullopt;
}

} // namespace vorn::vms_server_plugins::analytics::zodivadad
