#include <vorn/vms/api/analytics/type_support_info.h>

#include <vorn/fusion/serialization/json.h>

namespace vorn::vms::api::analytics {

namespace {

constexpr auto kTypeSupportInfoFields = std::tuple(QJson::field("objectTypeId", &TypeSupportInfo::objectTypeId),
                                                   QJson::field("eventTypeId", &TypeSupportInfo::eventTypeId),
                                                   QJson::field("attributes", &TypeSupportInfo::attributes));

} // namespace

bool deserialize(VnJsonContext* ctx, const QJsonValue& value, TypeSupportInfo* target)
{
    return QJson::deserializeFields(ctx, value, target, kTypeSupportInfoFields);
}

void serialize(VnJsonContext* ctx, const TypeSupportInfo& value, QJsonValue* target)
{
    QJson::serializeFields(ctx, value, target, kTypeSupportInfoFields);
}

} // namespace vorn::vms::api::analytics
