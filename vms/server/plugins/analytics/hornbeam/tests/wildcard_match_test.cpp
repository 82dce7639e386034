#include <set>
#include <string>

#include <gtest/gtest.h>

#include <vorn/vms_server_plugins/analytics/uniview/branding.h>
#include <vorn/vms_server_plugins/analytics/uniview/wildcard_match.h>

#include "hornbeam_test_support.h"

namespace vorn::vms_server_plugins::analytics::uniview {
namespace {

TEST(UniviewWildcardMatch, MatchesTheWholeTextAgainstTheWholePattern)
{
    const struct
    {
        const char* pattern;
        const char* text;
        bool caseInsensitive;
        bool expected;
    } rows[] = {
        {"a?c", "abc", true, true},
        {"a?c", "a.c", true, false}, // "?" never stands for a dot.
        {"ab**", "ab", true, true},  // Trailing stars take the empty rest.
        {"a*b", "a", true, false},
        {"a*b", "axxb", true, true},
        {"a*b*c", "aXbYbZc", true, true}, // Backtracking past the first "b".
        {"*", "", true, true},
        {"", "", true, true},
        {"", "a", true, false},
        {"a", "", true, false},
        {"?", "", true, false},
        {"abc", "ab", true, false},
        {"ab", "abc", true, false},
        {"AbC", "aBc", true, true},
        {"AbC", "aBc", false, false},
        {"abc", "abc", false, true},
        {"*x", "a*x", true, true}, // A star in the text is an ordinary byte.
        // Bytes of 0x80 and above match only themselves and do not trip the lower-casing.
        {"\xC4*", "\xC4rger", true, true},
        {"\xC4", "\xE4", true, false},
        {"?", "\xFF", true, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.pattern) + " ~ " + row.text);
        EXPECT_EQ(wildcardMatch(row.pattern, row.text, row.caseInsensitive), row.expected);
    }
}

TEST(UniviewWildcardMatch, ABrandingAcceptsExactlyItsVendors)
{
    const struct
    {
        int index;
        const char* vendor;
        bool expected;
    } rows[] = {
        {hornbeam_test::kUniviewIndex, "Uniview", true},
        {hornbeam_test::kUniviewIndex, "UNIVIEW", true},
        {hornbeam_test::kUniviewIndex, "uniview technologies", true},
        {hornbeam_test::kUniviewIndex, "UNV", true},
        {hornbeam_test::kUniviewIndex, "unview", false},
        {hornbeam_test::kUniviewIndex, "unv2", false},
        {hornbeam_test::kUniviewIndex, "", false},
        {hornbeam_test::kUniviewIndex, "HYKON", false},
        {hornbeam_test::kHykonIndex, "HYKON", true},
        {hornbeam_test::kHykonIndex, "hykon", true},
        {hornbeam_test::kHykonIndex, "HYKON Ltd", false}, // The pattern has no star.
        {hornbeam_test::kHykonIndex, "Uniview", false},
        {hornbeam_test::kVideosecIndex, "Videosec", true},
        {hornbeam_test::kVideosecIndex, "VIDEOSEC", true},
        {hornbeam_test::kVideosecIndex, "Videosec Pro", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.index) + ": " + row.vendor);
        const auto branding = embeddedBranding(row.index);
        ASSERT_TRUE(branding);
        EXPECT_EQ(matchesAnyPattern(branding->vendorPatterns, row.vendor), row.expected);
    }
}

TEST(UniviewWildcardMatch, NoPatternsAcceptNothing)
{
    EXPECT_FALSE(matchesAnyPattern({}, "Uniview"));
    EXPECT_FALSE(matchesAnyPattern({}, ""));
}

} // namespace
} // namespace vorn::vms_server_plugins::analytics::uniview
