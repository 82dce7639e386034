// vorn::vms::api::analytics::TypeSupportInfo: one entry of a manifest's "supportedTypes": an object
// type ("objectTypeId") or an event type ("eventTypeId") that a device can report, with the names of
// the attributes it fills.
#pragma once

#include <vector>

#include <QtCore/QJsonValue>
#include <QtCore/QString>

class VnJsonContext;

namespace vorn::vms::api::analytics {

struct TypeSupportInfo
{
    QString objectTypeId;
    QString eventTypeId;
    std::vector<QString> attributes;
};

/** Keys "objectTypeId", "eventTypeId", "attributes"; empty ones are not written. */
bool deserialize(VnJsonContext* ctx, const QJsonValue& value, TypeSupportInfo* target);
void serialize(VnJsonContext* ctx, const TypeSupportInfo& value, QJsonValue* target);

} // namespace vorn::vms::api::analytics
