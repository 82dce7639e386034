#include <vorn/vms/api/analytics/plugin_manifest.h>

#include <vorn/fusion/serialization/json.h>

namespace vorn::vms::api::analytics {

namespace {

constexpr auto kPluginManifestFields =
    std::tuple(QJson::field("id", &PluginManifest::id), QJson::field("name", &PluginManifest::name),
               QJson::field("description", &PluginManifest::description),
               QJson::field("version", &PluginManifest::version), QJson::field("vendor", &PluginManifest::vendor),
               QJson::field("engineSettingsModel", &PluginManifest::engineSettingsModel));

} // namespace

bool deserialize(VnJsonContext* ctx, const QJsonValue& value, PluginManifest* target)
{
    return QJson::deserializeFields(ctx, value, target, kPluginManifestFields);
}

void serialize(VnJsonContext* ctx, const PluginManifest& value, QJsonValue* target)
{
    QJson::serializeFields(ctx, value, target, kPluginManifestFields);
}

} // namespace vorn::vms::api::analytics
