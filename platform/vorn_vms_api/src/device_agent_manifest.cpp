#include <vorn/vms/api/analytics/device_agent_manifest.h>

#include <vorn/fusion/serialization/json.h>

namespace vorn::vms::api::analytics {

namespace {

constexpr auto kDeviceAgentManifestFields =
    std::tuple(QJson::field("eventTypes", &DeviceAgentManifest::eventTypes),
               QJson::field("supportedTypes", &DeviceAgentManifest::supportedTypes),
               QJson::field("typeLibrary", &DeviceAgentManifest::typeLibrary),
               QJson::field("deviceAgentSettingsModel", &DeviceAgentManifest::deviceAgentSettingsModel));

} // namespace

bool deserialize(VnJsonContext* ctx, const QJsonValue& value, DeviceAgentManifest* target)
{
    return QJson::deserializeFields(ctx, value, target, kDeviceAgentManifestFields);
}

void serialize(VnJsonContext* ctx, const DeviceAgentManifest& value, QJsonValue* target)
{
    QJson::serializeFields(ctx, value, target, kDeviceAgentManifestFields);
}

} // namespace vorn::vms::api::analytics
