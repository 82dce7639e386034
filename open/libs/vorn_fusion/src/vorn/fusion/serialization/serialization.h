// The value layer of the JSON binding: one reader and one writer per value type, and the record
// reader and writer that a record's field list drives. Include json.h, which adds the field, member
// and text forms that the record layer calls.
//
// A record takes part by declaring its field list once, beside the record, as a function that
// argument-dependent lookup finds; the same list drives QJson::deserialize and QJson::serialize:
//
//     struct NumericAttribute
//     {
//         std::string name;
//         std::vector<std::string> values;
//     };
//     constexpr auto jsonFields(const NumericAttribute*)
//     {
//         return std::tuple(QJson::field("name", &NumericAttribute::name),
//             QJson::field("values", &NumericAttribute::values));
//     }
//
// A library that keeps its field lists private declares its own
// deserialize(VnJsonContext*, const QJsonValue&, T*) and serialize(VnJsonContext*, const T&,
// QJsonValue*) in the record's namespace and implements them with QJson::deserializeFields and
// QJson::serializeFields; the templates find those by argument-dependent lookup.
//
// Built-in value rules (reading; writing produces the same forms):
//   double            a number; null gives NaN; a string only with numbersFromStrings()
//   int               a number in [-2147483648, 2147483647], truncated toward zero
//   QFlags<E>         a flag text (flag_text.h) or a number in the int range taken as raw bits
//   QString, std::string   a string (std::string holds UTF-8)
//   QJsonValue        anything, unchanged; QJsonObject an object
//   std::optional<T>  engaged first, then read as T (so a bad value leaves it engaged)
//   std::vector<T>, QList<T>       an array; elements appended one by one, the first bad one stops
//   std::map<std::string, T>       an object; one entry per member
//   records           an object, read field by field (tolerant: see the field reader in json.h)
// A type that Qt knows as a meta-type is first looked up among the context's custom serializers.
//
// Everything runs on the caller's thread; the context is the only state and belongs to one read.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <typeinfo>
#include <vector>

#include <QtCore/QByteArray>
#include <QtCore/QFlags>
#include <QtCore/QHash>
#include <QtCore/QJsonArray>
#include <QtCore/QJsonObject>
#include <QtCore/QJsonValue>
#include <QtCore/QList>
#include <QtCore/QMetaType>
#include <QtCore/QString>

#include <vorn/fusion/json_detail.h>
#include <vorn/fusion/vn_json_context.h>
#include <vorn/log_support/assert.h>

#include "flag_text.h"

namespace QJson {

/** One entry of a record's field list: the JSON key and the member it binds. */
template <typename Record, typename Member>
struct Field
{
    const char* key;
    Member Record::*member;
};

template <typename Record, typename Member>
constexpr Field<Record, Member> field(const char* key, Member Record::*member)
{
    return {key, member};
}

/** The number reader; also the first step of the int reader. Consults no custom serializer. */
bool deserialize(VnJsonContext* ctx, const QJsonValue& value, double* target);

/** Reads a value of any supported type; false when the value is not acceptable for the type. */
template <typename T>
bool deserialize(VnJsonContext* ctx, const QJsonValue& value, T* target);

/** Replaces the target with the JSON form of the value. Writing never fails. */
template <typename T>
void serialize(VnJsonContext* ctx, const T& value, QJsonValue* target);

// Defined in json.h.
template <typename T>
bool deserialize(VnJsonContext* ctx, const QJsonObject& object, const QString& key, T* target, bool optional,
                 bool* found, const QHash<QString, QString>* deprecatedFieldNames, const std::type_info& structType);
template <typename T>
void serialize(VnJsonContext* ctx, const T& value, const QString& key, QJsonObject* outTarget);
template <typename T>
void serialize(VnJsonContext* ctx, const std::optional<T>& value, const QString& key, QJsonObject* outTarget);

/**
 * Reads a record through an explicit field list: the value must be an object; each key is read in
 * list order with the field reader (optional, no former key names), an absent key sets the context's
 * missed-field mark, and the first field reader that answers false ends the read with false.
 */
template <typename Record, typename... Members>
bool deserializeFields(VnJsonContext* ctx, const QJsonValue& value, Record* target,
                       const std::tuple<Field<Record, Members>...>& fields);

/**
 * Writes a record through an explicit field list: an object with one member per field, in list
 * order, leaving out empty texts, empty lists and absent optionals (numbers, flags, JSON values,
 * maps and nested records are always written).
 */
template <typename Record, typename... Members>
void serializeFields(VnJsonContext* ctx, const Record& value, QJsonValue* target,
                     const std::tuple<Field<Record, Members>...>& fields);

} // namespace QJson

namespace QJsonDetail {

// Nothing in this namespace may be named deserialize or serialize: the concepts below look those
// names up only by argument-dependent lookup in the value type's namespace.

template <typename T>
concept JsonRecord = std::is_class_v<T> && requires(const T* record)
{
    jsonFields(record);
};

template <typename T>
concept ExternalReader = !JsonRecord<T> && requires(VnJsonContext * ctx, const QJsonValue& value, T* target)
{
    {
        deserialize(ctx, value, target)
        } -> std::same_as<bool>;
};

template <typename T>
concept ExternalWriter = !JsonRecord<T> && requires(VnJsonContext * ctx, const T& value, QJsonValue* target)
{
    serialize(ctx, value, target);
};

// The int range of 32-bit fields and flag numbers; a double outside it cannot be converted.
inline constexpr double kIntMin = -2147483648.0;
inline constexpr double kIntMax = 2147483647.0;

inline bool isInIntRange(double number)
{
    return number >= kIntMin && number <= kIntMax; //< false for NaN
}

// Readers: the built-in rules, applied after the custom serializer lookup.

bool readValue(VnJsonContext* ctx, const QJsonValue& value, int* target);
bool readValue(VnJsonContext* ctx, const QJsonValue& value, QString* target);
bool readValue(VnJsonContext* ctx, const QJsonValue& value, std::string* target);
bool readValue(VnJsonContext* ctx, const QJsonValue& value, QJsonValue* target);
bool readValue(VnJsonContext* ctx, const QJsonValue& value, QJsonObject* target);

template <vorn::fusion::FlagEnum Enum>
bool readValue(VnJsonContext* /*ctx*/, const QJsonValue& value, QFlags<Enum>* target)
{
    if (value.isString())
        return vorn::fusion::fromString(value.toString().toStdString(), target);
    if (!value.isDouble() || !isInIntRange(value.toDouble()))
        return false;
    // A number is taken as raw bits: bits that no flag defines are kept.
    *target = QFlags<Enum>(QFlag(static_cast<int>(value.toDouble())));
    return true;
}

template <typename T>
bool readValue(VnJsonContext* ctx, const QJsonValue& value, std::optional<T>* target)
{
    target->emplace();
    return QJson::deserialize(ctx, value, &**target);
}

template <typename Sequence>
bool readSequence(VnJsonContext* ctx, const QJsonValue& value, Sequence* target)
{
    if (!value.isArray())
        return false;
    const QJsonArray array = value.toArray();
    target->clear();
    target->reserve(array.size());
    for (const QJsonValue& element : array) {
        // The element joins the sequence before it is read, so a failed one stays as the reader left it.
        target->push_back(typename Sequence::value_type());
        if (!QJson::deserialize(ctx, element, &target->back()))
            return false;
    }
    return true;
}

template <typename T>
bool readValue(VnJsonContext* ctx, const QJsonValue& value, std::vector<T>* target)
{
    return readSequence(ctx, value, target);
}

template <typename T>
bool readValue(VnJsonContext* ctx, const QJsonValue& value, QList<T>* target)
{
    return readSequence(ctx, value, target);
}

template <typename T>
bool readValue(VnJsonContext* ctx, const QJsonValue& value, std::map<std::string, T>* target)
{
    if (!value.isObject())
        return false;
    const QJsonObject object = value.toObject();
    target->clear();
    for (auto member = object.constBegin(); member != object.constEnd(); ++member) {
        T& entry = (*target)[member.key().toStdString()];
        if (!QJson::deserialize(ctx, member.value(), &entry))
            return false;
    }
    return true;
}

template <JsonRecord Record>
bool readValue(VnJsonContext* ctx, const QJsonValue& value, Record* target)
{
    return QJson::deserializeFields(ctx, value, target, jsonFields(static_cast<const Record*>(target)));
}

template <ExternalReader T>
bool readValue(VnJsonContext* ctx, const QJsonValue& value, T* target)
{
    return deserialize(ctx, value, target);
}

// Writers.

void writeValue(VnJsonContext* ctx, int value, QJsonValue* target);
void writeValue(VnJsonContext* ctx, const QString& value, QJsonValue* target);
void writeValue(VnJsonContext* ctx, const std::string& value, QJsonValue* target);
void writeValue(VnJsonContext* ctx, const QJsonValue& value, QJsonValue* target);
void writeValue(VnJsonContext* ctx, const QJsonObject& value, QJsonValue* target);

template <vorn::fusion::FlagEnum Enum>
void writeValue(VnJsonContext* /*ctx*/, QFlags<Enum> value, QJsonValue* target)
{
    *target = QString::fromStdString(vorn::fusion::toString(value));
}

/** An absent optional leaves the target as it is; the optional member form writes no member. */
template <typename T>
void writeValue(VnJsonContext* ctx, const std::optional<T>& value, QJsonValue* target)
{
    if (value)
        QJson::serialize(ctx, *value, target);
}

template <typename Sequence>
void writeSequence(VnJsonContext* ctx, const Sequence& value, QJsonValue* target)
{
    QJsonArray array;
    for (const auto& element : value) {
        QJsonValue json;
        QJson::serialize(ctx, element, &json);
        array.append(json);
    }
    *target = array;
}

template <typename T>
void writeValue(VnJsonContext* ctx, const std::vector<T>& value, QJsonValue* target)
{
    writeSequence(ctx, value, target);
}

template <typename T>
void writeValue(VnJsonContext* ctx, const QList<T>& value, QJsonValue* target)
{
    writeSequence(ctx, value, target);
}

template <typename T>
void writeValue(VnJsonContext* ctx, const std::map<std::string, T>& value, QJsonValue* target)
{
    QJsonObject object;
    for (const auto& [key, entry] : value) {
        QJsonValue json;
        QJson::serialize(ctx, entry, &json);
        object.insert(QString::fromStdString(key), json);
    }
    *target = object;
}

template <JsonRecord Record>
void writeValue(VnJsonContext* ctx, const Record& value, QJsonValue* target)
{
    QJson::serializeFields(ctx, value, target, jsonFields(static_cast<const Record*>(&value)));
}

template <ExternalWriter T>
void writeValue(VnJsonContext* ctx, const T& value, QJsonValue* target)
{
    serialize(ctx, value, target);
}

// Which fields a record writer leaves out: empty texts and empty lists. Everything else is written.

inline bool isLeftOut(const QString& value)
{
    return value.isEmpty();
}

inline bool isLeftOut(const std::string& value)
{
    return value.empty();
}

template <typename T>
bool isLeftOut(const std::vector<T>& value)
{
    return value.empty();
}

template <typename T>
bool isLeftOut(const QList<T>& value)
{
    return value.isEmpty();
}

template <typename T>
bool isLeftOut(const T& /*value*/)
{
    return false;
}

/**
 * The custom serializer of the context for T, or null. Only types that Qt knows as meta-types are
 * looked up; asking for the id registers the type on first use.
 */
template <typename T>
const CustomJsonSerializer* customSerializer(const VnJsonContext* ctx)
{
    if constexpr (QMetaTypeId2<T>::Defined)
        return ctx->findCustomSerializer(qMetaTypeId<T>());
    else
        return nullptr;
}

template <typename Record, typename Member>
bool readField(VnJsonContext* ctx, const QJsonObject& object, Record* target, const QJson::Field<Record, Member>& field)
{
    bool found = false;
    if (!QJson::deserialize(ctx, object, QString::fromLatin1(field.key), &(target->*field.member),
                            /*optional*/ true, &found, /*deprecatedFieldNames*/ nullptr, typeid(Record))) {
        return false;
    }
    if (!found)
        ctx->setMissingFieldSeen();
    return true;
}

template <typename Record, typename Member>
void writeField(VnJsonContext* ctx, const Record& value, const QJson::Field<Record, Member>& field, QJsonObject* object)
{
    const Member& member = value.*field.member;
    if (isLeftOut(member))
        return;
    QJson::serialize(ctx, member, QString::fromLatin1(field.key), object);
}

} // namespace QJsonDetail

namespace QJson {

template <typename T>
bool deserialize(VnJsonContext* ctx, const QJsonValue& value, T* target)
{
    if (!VN_CHECK(ctx && target))
        return false;
    if (const CustomJsonSerializer* custom = QJsonDetail::customSerializer<T>(ctx))
        return custom->deserialize(ctx, value, target);
    return QJsonDetail::readValue(ctx, value, target);
}

template <typename T>
void serialize(VnJsonContext* ctx, const T& value, QJsonValue* target)
{
    if (!VN_CHECK(ctx && target))
        return;
    if (const CustomJsonSerializer* custom = QJsonDetail::customSerializer<T>(ctx)) {
        custom->serialize(ctx, &value, target);
        return;
    }
    QJsonDetail::writeValue(ctx, value, target);
}

template <typename Record, typename... Members>
bool deserializeFields(VnJsonContext* ctx, const QJsonValue& value, Record* target,
                       const std::tuple<Field<Record, Members>...>& fields)
{
    if (!VN_CHECK(ctx && target))
        return false;
    if (!value.isObject())
        return false;
    const QJsonObject object = value.toObject();
    return std::apply([&](const auto&... field) { return (QJsonDetail::readField(ctx, object, target, field) && ...); },
                      fields);
}

template <typename Record, typename... Members>
void serializeFields(VnJsonContext* ctx, const Record& value, QJsonValue* target,
                     const std::tuple<Field<Record, Members>...>& fields)
{
    if (!VN_CHECK(ctx && target))
        return;
    QJsonObject object;
    std::apply([&](const auto&... field) { (QJsonDetail::writeField(ctx, value, field, &object), ...); }, fields);
    *target = object;
}

} // namespace QJson
