// wildcardMatch and matchesAnyPattern: the vendor test of the Uniview plugins, a camera's vendor text
// against the glob patterns of a branding ("uniview*", "unv").
//
// "*" matches any run of bytes (none included), "?" matches any one byte but "."; every other pattern
// byte matches itself, after lower-casing both sides when the comparison ignores case. The whole text
// must match the whole pattern:
//
//     wildcardMatch("uniview*", "UNIVIEW Technologies", /*caseInsensitive*/ true); // true
//     wildcardMatch("a?c", "a.c", true);                                          // false
//     matchesAnyPattern({"uniview*", "unv"}, "UNV");                               // true
//
// Texts are compared byte by byte (UTF-8 bytes of 0x80 and above only match themselves). Both
// functions keep no state and may run on any thread.
#pragma once

#include <set>
#include <string>
#include <string_view>

namespace vorn::vms_server_plugins::analytics::uniview {

bool wildcardMatch(std::string_view pattern, std::string_view text, bool caseInsensitive);

/** True when the text matches at least one pattern, ignoring case; the patterns are tried in order. */
bool matchesAnyPattern(const std::set<std::string>& patterns, std::string_view text);

} // namespace vorn::vms_server_plugins::analytics::uniview
