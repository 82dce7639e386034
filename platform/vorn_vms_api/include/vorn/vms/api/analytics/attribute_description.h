// vorn::vms::api::analytics::AttributeDescription: one attribute of an event or object type: its name,
// its type ("Number", "Boolean", "String", "Enum", "Color", an object type...) and, for enumerations,
// colours and objects, the id of the type library entry it refers to ("subtype").
#pragma once

#include <QtCore/QJsonValue>
#include <QtCore/QString>

class VnJsonContext;

namespace vorn::vms::api::analytics {

struct AttributeDescription
{
    QString name;
    QString type;
    QString subtype;
};

/** Keys "name", "type", "subtype"; empty texts are not written. */
bool deserialize(VnJsonContext* ctx, const QJsonValue& value, AttributeDescription* target);
void serialize(VnJsonContext* ctx, const AttributeDescription& value, QJsonValue* target);

} // namespace vorn::vms::api::analytics
