// Branding: one row of hornbeam's branding list, the embedded JSON resource ":/uniview/branding.json"
// that has one row per plugin (Uniview, HYKON, Videosec, in plugin index order):
//
//     {"brandings": [{"pluginManifest": {...}, "vendors": ["uniview*", "unv"], "probe": false}, ...]}
//
// A row gives the plugin manifest that the server shows, the vendor patterns of the cameras that belong
// to the branding, and whether such a camera must also answer the probe request before an engine accepts
// it. The list is read and parsed anew for every plugin the library creates; nothing is cached.
//
//     if (std::optional<Branding> branding = embeddedBranding(index))
//         return new Plugin(branding->probe, branding->vendorPatterns, branding->pluginManifest);
#pragma once

#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace vorn::vms_server_plugins::analytics::uniview {

struct Branding
{
    /** The row's "pluginManifest" as compact JSON text, its keys in ascending order. */
    std::string pluginManifest;
    /** The row's "vendors"; an element that is not a text counts as the empty pattern. */
    std::set<std::string> vendorPatterns;
    /** The row's "probe"; false when missing or not a boolean. */
    bool probe = false;
};

constexpr char kBrandingResourcePath[] = ":/uniview/branding.json";

/**
 * The row at index of a branding list text. None when the text is not a JSON object or the index lies
 * outside the rows of "brandings" (a missing or non-array "brandings" has no rows).
 */
std::optional<Branding> brandingAt(std::string_view listText, int index);

/** The row at index of the embedded branding list; none also when the resource cannot be read. */
std::optional<Branding> embeddedBranding(int index);

} // namespace vorn::vms_server_plugins::analytics::uniview
