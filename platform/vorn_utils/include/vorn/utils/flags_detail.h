// The out-of-line helpers of the flag-enum text conversions: token trimming and the reports of texts
// and values that name no flag.
//
// The conversions themselves are templates over an enum's name table, compiled into their users; they
// call these functions so that every flag enum reports in the same words. enumType is the enum's own
// type (not its QFlags), whose class name tags the report.
//
//     const std::string_view token = vorn::utils::flags_detail::trim(rawToken);
//     if (!lookUp(token))
//         vorn::utils::flags_detail::logInvalidFlagRepresentation(typeid(EventTypeFlag), token);
#pragma once

#include <string_view>
#include <typeinfo>

namespace vorn::utils::flags_detail {

/** The token without white space (blank, tab, CR, LF, FF, VT) at either end. */
std::string_view trim(const std::string_view& token);

/** Logs at level 3 that a token of a flag text is neither a flag name nor a number. */
void logInvalidFlagRepresentation(const std::type_info& enumType, const std::string_view& token);

/**
 * Logs at level 3 that a number in a flag text was refused: it is negative, or invalidBits (non-zero)
 * are set in it that no flag of the enum defines.
 */
void logInvalidFlagValue(const std::type_info& enumType, int value, int invalidBits);

/**
 * Reports, as a failed assertion, a flag set being written with bits that have no name; those bits
 * are left out of the text. Returns the assertion sink's answer.
 */
bool assertInvalidFlagValue(const std::type_info& enumType, int value, int invalidBits);

} // namespace vorn::utils::flags_detail
