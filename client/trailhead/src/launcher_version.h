// The four-number launcher version that decides where trailhead starts waypoint from, and the reader
// of the per-user "launcher.version" file's text.
//
//     const LauncherVersion installed = parseLauncherVersion(fileText); // "5.2" reads as 5.2.0.0
//     const bool useOwnCopy = installed < kBuiltInLauncherVersion;
//
// The numbers are signed and compare major first, so "-1.0.0.0" is older than anything released.
#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "trailhead_version.h"

namespace vorn::trailhead {

struct LauncherVersion
{
    std::int32_t major = 0;
    std::int32_t minor = 0;
    std::int32_t patch = 0;
    std::int32_t build = 0;

    // Member order is the comparison order: the first number that differs decides.
    friend constexpr auto operator<=>(const LauncherVersion&, const LauncherVersion&) = default;
};

/** The version this trailhead was built as, the same numbers as its file version. */
inline constexpr LauncherVersion kBuiltInLauncherVersion{TRAILHEAD_VERSION_MAJOR, TRAILHEAD_VERSION_MINOR,
                                                         TRAILHEAD_VERSION_PATCH, TRAILHEAD_VERSION_BUILD};

/**
 * kMaxVersionFileBytes = 4 KiB: the version is the first line of a few dozen characters; reading more
 * buys nothing, and a huge file put in the version file's place must not hold up the start.
 */
inline constexpr std::size_t kMaxVersionFileBytes = 4096;

/**
 * Reads the start of text as "%d.%d.%d.%d" would: each number may be preceded by white space and a
 * sign, the numbers are separated by single dots, and reading stops at the first thing that does not
 * fit. Numbers read so far are kept; the rest stay 0, so an empty or unreadable text gives 0.0.0.0. A
 * number beyond the 32-bit range reads as 0 instead of an arbitrary value.
 */
LauncherVersion parseLauncherVersion(std::string_view text);

} // namespace vorn::trailhead
