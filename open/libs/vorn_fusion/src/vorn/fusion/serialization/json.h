// The JSON binding's entry points: the field reader that records are read with, the member, slot and
// optional-member writers, and the text forms.
//
//     EngineManifest manifest = QJson::deserialized<EngineManifest>(text);   // default on failure
//
//     VnJsonContext ctx;
//     EngineManifest manifest;
//     const bool ok = QJson::deserialize(&ctx, text, &manifest);          // false: not JSON or not an object
//
//     const QByteArray compact = QJson::serialized(manifest);              // one line, no blanks
//
// Reading is tolerant. An absent key keeps the field as it was and sets the context's missed-field
// mark; a present key whose value cannot be read is logged at level 3 ("Can't deserialize field `%1`
// from value `%2`"), recorded on the context (failedFieldPath(), failedValueText()) and skipped, so a
// record read fails only when its value is not an object. A context with failOnBadOptionalField()
// makes a bad field fail its record instead, and the enclosing keys join the recorded path.
//
// Writers never fail. A missing context, target or buffer is a caller error, reported as a failed
// assertion; the call then does nothing.
#pragma once

#include <optional>
#include <typeinfo>

#include <QtCore/QByteArray>
#include <QtCore/QHash>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QJsonValue>
#include <QtCore/QString>

#include <vorn/log_support/assert.h>
#include <vorn/log_support/log.h>
#include <vorn/utils/log/scope_of_function.h>

#include "serialization.h"

namespace QJson {

/**
 * Writes the value as compact JSON text into the buffer, which it replaces. Any value may stand at
 * the top level, a lone string or number included.
 */
template <typename T>
void serialize(VnJsonContext* ctx, const T& value, QByteArray* outTarget)
{
    if (!VN_CHECK(outTarget) || !VN_CHECK(ctx))
        return;
    QJsonValue json;
    QJson::serialize(ctx, value, &json);
    outTarget->clear();
    QJsonDetail::serialize_json(json, outTarget, QJsonDocument::Compact);
}

/** The value as compact JSON text, written with a fresh context of its own. */
template <typename T>
void serialized(const T& value, QByteArray* outTarget)
{
    if (!VN_CHECK(outTarget))
        return;
    VnJsonContext ctx;
    QJson::serialize(&ctx, value, outTarget);
}

template <typename T>
QByteArray serialized(const T& value)
{
    QByteArray text;
    QJson::serialized(value, &text);
    return text;
}

/** Sets the referenced array element or object member to the JSON form of the value. */
template <typename T>
void serialize(VnJsonContext* ctx, const T& value, QJsonValueRef* outTarget)
{
    if (!VN_CHECK(outTarget) || !VN_CHECK(ctx))
        return;
    QJsonValue json = *outTarget;
    QJson::serialize(ctx, value, &json);
    *outTarget = json;
}

/** Sets the member of the key (created as null when absent) to the JSON form of the value. */
template <typename T>
void serialize(VnJsonContext* ctx, const T& value, const QString& key, QJsonObject* outTarget)
{
    if (!VN_CHECK(outTarget) || !VN_CHECK(ctx))
        return;
    QJsonValue json = outTarget->contains(key) ? outTarget->value(key) : QJsonValue();
    QJson::serialize(ctx, value, &json);
    outTarget->insert(key, json);
}

/** As the member form for a present value; an absent value leaves the object without the member. */
template <typename T>
void serialize(VnJsonContext* ctx, const std::optional<T>& value, const QString& key, QJsonObject* outTarget)
{
    if (!VN_CHECK(outTarget) || !VN_CHECK(ctx))
        return;
    if (value)
        QJson::serialize(ctx, *value, key, outTarget);
}

/**
 * The field reader: reads the member of the key into the target.
 * @param optional What to answer when the key is absent, and when its value is bad and the context is
 *     not strict.
 * @param found When not null, receives whether the key was present (also when its value was bad).
 * @param deprecatedFieldNames Former key names of the record's fields, or null.
 * @param structType The record that owns the field.
 * @return False when the record's reading must stop.
 */
template <typename T>
bool deserialize(VnJsonContext* ctx, const QJsonObject& object, const QString& key, T* target, bool optional,
                 bool* found, const QHash<QString, QString>* deprecatedFieldNames, const std::type_info& structType)
{
    const auto member = QJsonDetail::findField(object, key, deprecatedFieldNames, structType, optional);
    if (member == object.constEnd()) {
        if (found)
            *found = false;
        return optional;
    }
    if (found)
        *found = true;

    const QJsonValue value = member.value();
    if (QJson::deserialize(ctx, value, target))
        return true;

    // The text is recorded on the context, so it is built even when the log line is not wanted.
    const QString valueText = QString::fromUtf8(QJson::serialized(value));
    // Its type names this instantiation of the reader; the log tag is made from it.
    struct ScopeTag
    {
    };
    VN_LOG(3, vorn::utils::log::Tag(vorn::scopeOfFunction(typeid(ScopeTag), "QJson::deserialize")),
           "Can't deserialize field `%1` from value `%2`", key, valueText);
    if (ctx)
        ctx->addFailedField(key, valueText);
    return optional && !(ctx && ctx->failOnBadOptionalField());
}

/**
 * Reads JSON text into the target. Text that does not parse fails without logging: the context's
 * failed value text holds the parser's error (under an empty key).
 */
template <typename T>
bool deserialize(VnJsonContext* ctx, const QByteArray& text, T* outTarget)
{
    if (!VN_CHECK(outTarget) || !VN_CHECK(ctx))
        return false;
    QJsonValue value;
    QString errorText;
    if (!QJsonDetail::deserialize_json(text, &value, &errorText)) {
        ctx->addFailedField(QString(), errorText);
        return false;
    }
    return QJson::deserialize(ctx, value, outTarget);
}

/**
 * The text read into a fresh T with a fresh context; a copy of defaultValue when the read fails. The
 * recorded failure is dropped; success, when not null, receives the result.
 */
template <typename T>
T deserialized(const QByteArray& text, const T& defaultValue = T(), bool* success = nullptr)
{
    T target{};
    VnJsonContext ctx;
    const bool result = QJson::deserialize(&ctx, text, &target);
    if (success)
        *success = result;
    return result ? target : defaultValue;
}

} // namespace QJson
