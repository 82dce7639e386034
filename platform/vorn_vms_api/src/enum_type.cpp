#include <vorn/vms/api/analytics/enum_type.h>

#include <vorn/fusion/serialization/json.h>

namespace vorn::vms::api::analytics {

namespace {

constexpr auto kEnumTypeFields = std::tuple(
    QJson::field("id", &EnumType::id), QJson::field("name", &EnumType::name), QJson::field("base", &EnumType::base),
    QJson::field("baseItems", &EnumType::baseItems), QJson::field("items", &EnumType::items));

} // namespace

bool deserialize(VnJsonContext* ctx, const QJsonValue& value, EnumType* target)
{
    return QJson::deserializeFields(ctx, value, target, kEnumTypeFields);
}

void serialize(VnJsonContext* ctx, const EnumType& value, QJsonValue* target)
{
    QJson::serializeFields(ctx, value, target, kEnumTypeFields);
}

} // namespace vorn::vms::api::analytics
