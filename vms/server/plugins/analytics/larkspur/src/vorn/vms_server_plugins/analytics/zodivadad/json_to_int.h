// jsonToInt: a member of the camera's JSON read as an integer, whether the camera wrote it as a number
// or as a text ("alarm": 1 and "alarm": "1" both occur).
//
// There is no default inside; each caller applies its own when no value comes back:
//
//     const int event = jsonToInt(json["event"]).value_or(0);
#pragma once

#include <limits>
#include <optional>

#include <vorn/kit/json.h>

namespace vorn::vms_server_plugins::analytics::zodivadad {

namespace detail {

/** The text branch of jsonToInt(). */
std::optional<int> textToInt(const vorn::kit::detail::json11::Json& value);

} // namespace detail

/**
 * A number gives its int value (truncated towards zero), or nothing outside the int range; a text gives
 * the int it spells in full (sign and decimal digits only), or nothing; any other kind gives nothing.
 *
 * Inline: every event reads several members through it, and a call returning the optional through
 * memory costs more than the conversion.
 */
inline std::optional<int> jsonToInt(const vorn::kit::detail::json11::Json& value)
{
    if (value.is_number()) {
        // A number the camera cannot have meant as an int (1e12, a NaN) is no value, not a clamped one.
        // The value is cut towards zero: it fits when it lies strictly between the neighbours of the
        // int range (both exact doubles), which a NaN does not.
        constexpr double kBelowMin = static_cast<double>(std::numeric_limits<int>::min()) - 1.0;
        constexpr double kAboveMax = static_cast<double>(std::numeric_limits<int>::max()) + 1.0;
        const double number = value.number_value();
        if (!(number > kBelowMin && number < kAboveMax))
            return std::nullopt;
        return static_cast<int>(number);
    }
    return detail::textToInt(value);
}

} // namespace vorn::vms_server_plugins::analytics::zodivadad
