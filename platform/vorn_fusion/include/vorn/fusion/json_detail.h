// The out-of-line JSON helpers under the serialisation templates: field lookup in an object, JSON text
// to a value and a value to JSON text.
//
// Unlike QJsonDocument, both text functions take any JSON value at the top level, scalars included, so
// a rejected string or number can be quoted in a log line exactly as it stood in the document.
//
//     QJsonValue value;
//     QString error;
//     if (!QJsonDetail::deserialize_json(text, &value, &error))
//         return false;
//     QByteArray compact;
//     QJsonDetail::serialize_json(value, &compact, QJsonDocument::Compact);
#pragma once

#include <typeinfo>

#include <QtCore/QByteArray>
#include <QtCore/QHash>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QJsonValue>
#include <QtCore/QString>

namespace QJsonDetail {

/**
 * The member of the object named by the key, or the object's end. When the key is absent and the
 * table of former key names maps it to an older name, the member of that name is taken instead. The
 * record type and the optional flag do not change the lookup; they name the caller for diagnostics.
 */
QJsonObject::const_iterator findField(const QJsonObject& object, const QString& key,
                                      const QHash<QString, QString>* deprecatedFieldNames,
                                      const std::type_info& structType, bool optional);

/**
 * Parses JSON text (UTF-8) into a value; any JSON value may stand at the top level. On failure the
 * value is left untouched and the error text, when asked for, says what is wrong and where.
 */
bool deserialize_json(const QByteArray& text, QJsonValue* outValue, QString* outErrorText = nullptr);

/**
 * Replaces the buffer with the JSON text of the value (UTF-8). An undefined value is written as null,
 * since JSON has no undefined.
 */
void serialize_json(const QJsonValue& value, QByteArray* outTarget, QJsonDocument::JsonFormat format);

} // namespace QJsonDetail
