#include <vorn/vms/api/analytics/attribute_description.h>

#include <vorn/fusion/serialization/json.h>

namespace vorn::vms::api::analytics {

namespace {

constexpr auto kAttributeDescriptionFields =
    std::tuple(QJson::field("name", &AttributeDescription::name), QJson::field("type", &AttributeDescription::type),
               QJson::field("subtype", &AttributeDescription::subtype));

} // namespace

bool deserialize(VnJsonContext* ctx, const QJsonValue& value, AttributeDescription* target)
{
    return QJson::deserializeFields(ctx, value, target, kAttributeDescriptionFields);
}

void serialize(VnJsonContext* ctx, const AttributeDescription& value, QJsonValue* target)
{
    QJson::serializeFields(ctx, value, target, kAttributeDescriptionFields);
}

} // namespace vorn::vms::api::analytics
