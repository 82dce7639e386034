#include <optional>
#include <set>
#include <string>

#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>

#include <gtest/gtest.h>

#include <vorn/vms_server_plugins/analytics/uniview/branding.h>

namespace vorn::vms_server_plugins::analytics::uniview {
namespace {

TEST(UniviewBranding, TheEmbeddedListHasThreeRowsInIndexOrder)
{
    const struct
    {
        const char* id;
        const char* name;
        std::set<std::string> vendors;
        bool probe;
    } rows[] = {
        {"vorn.uniview", "Uniview", {"uniview*", "unv"}, false},
        {"vorn.hykon", "HYKON", {"hykon"}, true},
        {"vorn.videosec", "Videosec", {"videosec"}, true},
    };
    for (int index = 0; index < 3; ++index) {
        const auto& row = rows[index];
        SCOPED_TRACE(row.id);
        const std::optional<Branding> branding = embeddedBranding(index);
        ASSERT_TRUE(branding);
        EXPECT_EQ(branding->vendorPatterns, row.vendors);
        EXPECT_EQ(branding->probe, row.probe);

        const QJsonObject manifest = QJsonDocument::fromJson(branding->pluginManifest.c_str()).object();
        EXPECT_EQ(manifest["id"].toString(), row.id);
        EXPECT_EQ(manifest["name"].toString(), row.name);
        EXPECT_EQ(manifest["vendor"].toString(), row.name);
        EXPECT_EQ(manifest["version"].toString(), "1.0.0");
        EXPECT_EQ(manifest["description"].toString(),
                  QString("Enables in-camera analytics support for %1 IP Cameras").arg(row.name));
    }
    EXPECT_FALSE(embeddedBranding(-1));
    EXPECT_FALSE(embeddedBranding(3));
}

TEST(UniviewBranding, TheManifestTextIsCompactWithItsKeysInAscendingOrder)
{
    const auto hykon = embeddedBranding(1);
    ASSERT_TRUE(hykon);
    EXPECT_EQ(hykon->pluginManifest, R"({"description":"Enables in-camera analytics support for HYKON IP Cameras",)"
                                     R"("id":"vorn.hykon","name":"HYKON","vendor":"HYKON","version":"1.0.0"})");
}

TEST(UniviewBranding, ReadsAListLeniently)
{
    const struct
    {
        const char* name;
        const char* list;
        int index;
        std::optional<Branding> expected;
    } rows[] = {
        {"not JSON", "{brandings", 0, std::nullopt},
        {"an array", R"([{"probe": true}])", 0, std::nullopt},
        {"no rows", R"({})", 0, std::nullopt},
        {"rows that are no array", R"({"brandings": {"probe": true}})", 0, std::nullopt},
        {"index past the rows", R"({"brandings": [{}]})", 1, std::nullopt},
        {"negative index", R"({"brandings": [{}]})", -1, std::nullopt},
        {"empty row", R"({"brandings": [{}]})", 0, Branding{"null", {}, false}},
        {"probe that is no boolean", R"({"brandings": [{"probe": 1, "vendors": ["a"]}]})", 0,
         Branding{"null", {"a"}, false}},
        {"vendors that are no texts count as the empty pattern",
         R"({"brandings": [{"vendors": ["b", 7, "a", "b", null]}]})", 0, Branding{"null", {"", "a", "b"}, false}},
        {"second row", R"({"brandings": [{}, {"pluginManifest": {"b": 1, "a": [true]}, "probe": true}]})", 1,
         Branding{R"({"a":[true],"b":1})", {}, true}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::optional<Branding> branding = brandingAt(row.list, row.index);
        ASSERT_EQ(branding.has_value(), row.expected.has_value());
        if (!branding)
            continue;
        EXPECT_EQ(branding->pluginManifest, row.expected->pluginManifest);
        EXPECT_EQ(branding->vendorPatterns, row.expected->vendorPatterns);
        EXPECT_EQ(branding->probe, row.expected->probe);
    }
}

} // namespace
} // namespace vorn::vms_server_plugins::analytics::uniview
