#include <limits>

#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>

#include <gtest/gtest.h>

#include <vorn/sdk/analytics/i_plugin.h>
#include <vorn/sdk/ptr.h>

#include "larkspur_test_support.h"

extern "C" vorn::sdk::IPlugin* createVornPluginByIndex(int instanceIndex);
extern "C" vorn::sdk::IPlugin* createVornPlugin();

namespace vorn::vms_server_plugins::analytics::zodivadad {
namespace {

using namespace vorn::sdk;

std::string manifestOf(const Ptr<IPlugin>& plugin)
{
    const auto analyticsPlugin = queryInterface<vorn::sdk::analytics::IPlugin>(plugin);
    if (!analyticsPlugin)
        return {};
    Result<const IString*> result;
    analyticsPlugin->getManifest(&result);
    const Ptr<const IString> text = toPtr(result.value);
    return text ? text->text() : "";
}

TEST(PluginEntryPoints, OnePluginPerBrandInIndexOrder)
{
    const struct
    {
        const char* id;
        const char* name;
        const char* vendor;
    } brands[] = {
        {"vorn.zidezozi", "Zidezozi", "Zidezozi Corporation"},
        {"vorn.zodivadad", "Zodivadad", "Zodivadad"},
        {"vorn.only", "ZERU", "ZERU"},
        {"vorn.duzodoz", "Duzodoz", "Duzodoz"},
        {"vorn.zedir", "VovevUVAZ", "VovevUVAZ"},
    };
    for (int index = 0; index < 5; ++index) {
        SCOPED_TRACE(index);
        const Ptr<IPlugin> plugin = toPtr(createVornPluginByIndex(index));
        ASSERT_TRUE(plugin);
        const std::string text = manifestOf(plugin);
        const QJsonObject manifest = QJsonDocument::fromJson(QByteArray::fromStdString(text)).object();
        EXPECT_EQ(manifest["id"].toString(), brands[index].id);
        EXPECT_EQ(manifest["name"].toString(), brands[index].name);
        EXPECT_EQ(manifest["vendor"].toString(), brands[index].vendor);
        EXPECT_EQ(manifest["description"].toString(),
                  QString("Enables in-camera analytics support for %1 IP Cameras").arg(brands[index].name));
        EXPECT_EQ(manifest["version"].toString(), "1.0.1");
        EXPECT_EQ(manifest["engineSettingsModel"], QJsonObject());
        // Compact: exactly what a compact writer makes of the same object.
        EXPECT_EQ(text, QJsonDocument(manifest).toJson(QJsonDocument::Compact).toStdString());
    }
}

TEST(PluginEntryPoints, IndexesOutsideTheTableGiveNoPlugin)
{
    for (const int index : {-1, 5, 1000, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()}) {
        SCOPED_TRACE(index);
        EXPECT_EQ(createVornPluginByIndex(index), nullptr);
    }
}

TEST(PluginEntryPoints, TheDefaultPluginIsTheFirstOfTheTable)
{
    const Ptr<IPlugin> plugin = toPtr(createVornPlugin());
    ASSERT_TRUE(plugin);
    EXPECT_NE(manifestOf(plugin).find("\"id\":\"vorn.zidezozi\""), std::string::npos);
}

TEST(PluginEntryPoints, EachCallMakesANewPluginWhoseEnginesLoadTheBrandManifest)
{
    const Ptr<IPlugin> first = toPtr(createVornPluginByIndex(2));
    const Ptr<IPlugin> second = toPtr(createVornPluginByIndex(2));
    ASSERT_TRUE(first && second);
    EXPECT_NE(first.get(), second.get());
    EXPECT_EQ(manifestOf(first), manifestOf(second));

    const auto plugin = queryInterface<vorn::sdk::analytics::IPlugin>(first);
    for (int i = 0; i < 2; ++i) {
        Result<vorn::sdk::analytics::IEngine*> result;
        plugin->obtainEngine(&result);
        ASSERT_TRUE(result.isOk());
        const Ptr<vorn::sdk::analytics::IEngine> engine = toPtr(result.value);
        Result<const IString*> manifest;
        engine->getManifest(&manifest);
        const Ptr<const IString> text = toPtr(manifest.value);
        EXPECT_EQ(QByteArray(text->text()), larkspur_test::embeddedManifest("manifest_only"));
    }
}

} // namespace
} // namespace vorn::vms_server_plugins::analytics::zodivadad
