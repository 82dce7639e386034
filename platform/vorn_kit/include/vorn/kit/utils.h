// Text renderings that the kit uses in debug output: texts quoted with C escapes, pointers in
// hexadecimal. Null pointers of either kind render as "null", so a caller never needs to check first.
//
//     debug::stream() << ("name " + utils::toString(name) + " @" + utils::toString(this) + "\n");
#pragma once

#include <string>

namespace vorn::kit::utils {

/** The text in double quotes, with quotes, backslashes and control characters escaped C-style. */
std::string toString(const std::string& text);

/** As for std::string; null renders as "null". */
std::string toString(const char* text);

/** "0x" followed by the address in lower-case hexadecimal; null renders as "null". */
std::string toString(const void* pointer);

} // namespace vorn::kit::utils
