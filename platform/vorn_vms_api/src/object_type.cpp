#include <vorn/vms/api/analytics/object_type.h>

#include <vorn/fusion/serialization/json.h>

namespace vorn::vms::api::analytics {

namespace {

constexpr auto kObjectTypeFields =
    std::tuple(QJson::field("id", &ObjectType::id), QJson::field("name", &ObjectType::name),
               QJson::field("icon", &ObjectType::icon), QJson::field("base", &ObjectType::base),
               QJson::field("omittedBaseAttributes", &ObjectType::omittedBaseAttributes),
               QJson::field("attributes", &ObjectType::attributes), QJson::field("flags", &ObjectType::flags),
               QJson::field("provider", &ObjectType::provider));

} // namespace

bool deserialize(VnJsonContext* ctx, const QJsonValue& value, ObjectType* target)
{
    return QJson::deserializeFields(ctx, value, target, kObjectTypeFields);
}

void serialize(VnJsonContext* ctx, const ObjectType& value, QJsonValue* target)
{
    QJson::serializeFields(ctx, value, target, kObjectTypeFields);
}

} // namespace vorn::vms::api::analytics
