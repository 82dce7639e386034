#include <vorn/vms/api/analytics/event_type.h>

#include <vorn/fusion/serialization/json.h>

namespace vorn::vms::api::analytics {

namespace {

constexpr auto kEventTypeFields = eventTypeFields<EventType>();

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
