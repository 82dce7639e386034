// vorn::vms::api::analytics::TypeLibrary: the "typeLibrary" of a manifest: the event, object,
// enumeration and colour types that its supported types and attributes refer to.
#pragma once

#include <vector>

#include <QtCore/QJsonValue>

#include <vorn/vms/api/analytics/color_type.h>
#include <vorn/vms/api/analytics/enum_type.h>
#include <vorn/vms/api/analytics/event_type.h>
#include <vorn/vms/api/analytics/object_type.h>

class VnJsonContext;

namespace vorn::vms::api::analytics {

struct TypeLibrary
{
    std::vector<EventType> eventTypes;
    std::vector<ObjectType> objectTypes;
    std::vector<EnumType> enumTypes;
    std::vector<ColorType> colorTypes;
};

/** Keys "eventTypes", "objectTypes", "enumTypes", "colorTypes"; empty lists are not written. */
bool deserialize(VnJsonContext* ctx, const QJsonValue& value, TypeLibrary* target);
void serialize(VnJsonContext* ctx, const TypeLibrary& value, QJsonValue* target);

} // namespace vorn::vms::api::analytics
