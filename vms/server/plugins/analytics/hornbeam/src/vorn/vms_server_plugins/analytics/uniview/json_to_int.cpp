#include "json_to_int.h"

#include <charconv>
#include <cmath>
#include <string>

#include <vorn/fusion/serialization/serialization.h>

namespace vorn::vms_server_plugins::analytics::uniview {

std::optional<int> jsonToInt(const vorn::kit::detail::json11::Json& value)
{
    if (value.is_number()) {
        // int_value() would saturate: a number beyond the int range is no code and no id at all.
        if (!QJsonDetail::isInIntRange(std::trunc(value.number_value())))
            return std::nullopt;
        return value.int_value();
    }
    if (value.is_string()) {
        const std::string& text = value.string_value();
        int result = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), result, 10);
        if (error != std::errc())
            return std::nullopt; //< No digit where the integer should start, or beyond the int range.
        return result;
    }
    return std::nullopt;
}

} // namespace vorn::vms_server_plugins::analytics::uniview
