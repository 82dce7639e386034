// CustomJsonSerializer: a reader and writer of one value type that replaces the built-in JSON rules for
// that type in one VnJsonContext.
//
// A context keeps its custom serializers by Qt meta-type id; the serialisation templates look a type up
// there before they apply their own rules, and only for types that Qt knows as meta-types. The value and
// target pointers point to objects of the type the serializer was registered for.
//
//     struct UpperCaseText: CustomJsonSerializer
//     {
//         void serialize(VnJsonContext*, const void* value, QJsonValue* target) const override
//             { *target = static_cast<const QString*>(value)->toUpper(); }
//         bool deserialize(VnJsonContext*, const QJsonValue& value, void* target) const override
//             { *static_cast<QString*>(target) = value.toString().toUpper(); return value.isString(); }
//     };
//     context.setCustomSerializer(QMetaType::QString, &upperCaseText);
#pragma once

class QJsonValue;
class VnJsonContext;

class CustomJsonSerializer
{
public:
    virtual ~CustomJsonSerializer() = default;

    /** Replaces the target with the JSON form of the value. */
    virtual void serialize(VnJsonContext* ctx, const void* value, QJsonValue* target) const = 0;

    /** Fills the target from the JSON value; false when the value cannot be read. */
    virtual bool deserialize(VnJsonContext* ctx, const QJsonValue& value, void* target) const = 0;
};
