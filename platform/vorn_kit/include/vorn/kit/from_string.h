// vorn::kit::utils::fromString: strict text-to-number conversion for values that peers send as text.
//
// The whole text must be the number: an optional sign and decimal digits, nothing before or after (no blanks,
// no "0x", no fraction). A value outside the target type's range is refused rather than wrapped or clamped,
// and on refusal the output is left untouched:
//
//     int result = 200;                      // the caller's default
//     if (!vorn::kit::utils::fromString(text, &result))
//         log("not a number: " + text);      // result is still 200
#pragma once

#include <string>

namespace vorn::kit::utils {

// True, with the value stored in *value, when the whole text is a decimal int in range; false otherwise
// (and for a null `value`).
bool fromString(const std::string& text, int* value);

} // namespace vorn::kit::utils
