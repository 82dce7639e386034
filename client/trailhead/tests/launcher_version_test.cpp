#include <gtest/gtest.h>

#include <string>

#include "launcher_version.h"

namespace vorn::trailhead {
namespace {

TEST(LauncherVersion, BuiltInVersionIsTheFileVersion)
{
    EXPECT_EQ(kBuiltInLauncherVersion, (LauncherVersion{5, 1, 4, 38659}));
}

// The text of "launcher.version" as the start-up reads it ("%d.%d.%d.%d"), and how the result compares
// with the built-in 5.1.4.38659: older means trailhead starts its own copy of waypoint.
TEST(LauncherVersion, ParseAndCompare)
{
    const struct
    {
        const char* name;
        std::string text;
        LauncherVersion expected;
        bool older;
    } rows[] = {
        // clang-format off
        {"equal", "5.1.4.38659", {5, 1, 4, 38659}, false},
        {"equal, line end", "5.1.4.38659\r\n", {5, 1, 4, 38659}, false},
        {"build older", "5.1.4.38658", {5, 1, 4, 38658}, true},
        {"build newer", "5.1.4.38660", {5, 1, 4, 38660}, false},
        {"minor newer, rest missing", "5.2", {5, 2, 0, 0}, false},
        {"major only", "6", {6, 0, 0, 0}, false},
        {"older minor, larger build", "4.9.9.99999", {4, 9, 9, 99999}, true},
        {"negative major", "-1.0.0.0", {-1, 0, 0, 0}, true},
        {"empty", "", {0, 0, 0, 0}, true},
        {"garbage", "garbage", {0, 0, 0, 0}, true},
        {"garbage after two numbers", "5.3x.7.7", {5, 3, 0, 0}, false},
        {"missing number between dots", "5..4.1", {5, 0, 0, 0}, true},
        {"white space and signs before numbers", " \t5.+1.\n4. -1", {5, 1, 4, -1}, true},
        {"no white space before a dot", "5 .2", {5, 0, 0, 0}, true},
        {"sign without digits", "5.-x", {5, 0, 0, 0}, true},
        {"fifth number ignored", "5.1.4.38659.7", {5, 1, 4, 38659}, false},
        {"leading zeros", "0005.01.004.038659", {5, 1, 4, 38659}, false},
        {"largest number", "2147483647", {2147483647, 0, 0, 0}, false},
        {"one past the largest reads as 0", "2147483648.9", {0, 9, 0, 0}, true},
        {"smallest number", "5.1.4.-2147483648", {5, 1, 4, -2147483648}, true},
        {"one below the smallest reads as 0", "5.1.4.-2147483649", {5, 1, 4, 0}, true},
        {"far too many digits read as 0", "5.1.99999999999999999999999999.2", {5, 1, 0, 2}, true},
        {"stops at a NUL", std::string("5\0.2", 4), {5, 0, 0, 0}, true},
        // clang-format on
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const LauncherVersion version = parseLauncherVersion(row.text);
        EXPECT_EQ(version, row.expected);
        EXPECT_EQ(version < kBuiltInLauncherVersion, row.older);
    }
}

} // namespace
} // namespace vorn::trailhead
