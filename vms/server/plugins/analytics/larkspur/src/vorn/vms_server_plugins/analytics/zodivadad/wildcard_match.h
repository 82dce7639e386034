// wildcardMatch: the pattern test that an engine applies to a camera's vendor and model texts.
//
// "*" matches any run of characters (none included), "?" matches exactly one character other than
// "."; there is no escape, and "*" and "?" in the text are ordinary characters. The whole text must
// match:
//
//     wildcardMatch("Zodivadad*", "ZODIVADAD IPCam", /*caseInsensitive*/ true); // true
//     wildcardMatch("??", "a.", false);                                         // false
//
// The match runs in time linear in the text for each star (one backtrack point at a time), so a
// hostile model text cannot make it explode.
#pragma once

#include <QtCore/QString>

namespace vorn::vms_server_plugins::analytics::zodivadad {

bool wildcardMatch(const QString& pattern, const QString& text, bool caseInsensitive);

} // namespace vorn::vms_server_plugins::analytics::zodivadad
