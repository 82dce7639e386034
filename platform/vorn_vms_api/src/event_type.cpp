#include <vorn/vms/api/analytics/event_type.h>

#include <vorn/fusion/serialization/json.h>

namespace vorn::vms::api::analytics {

namespace {

constexpr auto kEventTypeFields = std::tuple(
    QJson::field("id", &EventType::id), QJson::field("name", &EventType::name), QJson::field("icon", &EventType::icon),
    QJson::field("base", &EventType::base), QJson::field("omittedBaseAttributes", &EventType::omittedBaseAttributes),
    QJson::field("attributes", &EventType::attributes), QJson::field("flags", &EventType::flags),
    QJson::field("groupId", &EventType::groupId), QJson::field("provider", &EventType::provider));

} // namespace

bool deserialize(VnJsonContext* ctx, const QJsonValue& value, EventType* target)
{
    return QJson::deserializeFields(ctx, value, target, kEventTypeFields);
}

void serialize(VnJsonContext* ctx, const EventType& value, QJsonValue* target)
{
    QJson::serializeFields(ctx, value, target, kEventTypeFields);
}

} // namespace vorn::vms::api::analytics
