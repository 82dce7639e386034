#include <vorn/fusion/json_detail.h>

#include <QtCore/QJsonArray>
#include <QtCore/QJsonParseError>

namespace QJsonDetail {

QJsonObject::const_iterator findField(const QJsonObject& object, const QString& key,
                                      const QHash<QString, QString>* deprecatedFieldNames,
                                      const std::type_info& /*structType*/, bool /*optional*/)
{
    auto position = object.constFind(key);
    if (position != object.constEnd() || !deprecatedFieldNames)
        return position;
    const auto formerName = deprecatedFieldNames->constFind(key);
    if (formerName == deprecatedFieldNames->constEnd())
        return object.constEnd();
    return object.constFind(*formerName);
}

bool deserialize_json(const QByteArray& text, QJsonValue* outValue, QString* outErrorText)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    if (error.error == QJsonParseError::NoError) {
        *outValue = document.isObject() ? QJsonValue(document.object()) : QJsonValue(document.array());
        return true;
    }

    // QJsonDocument takes only an object or an array at the top level. Any other JSON text is read
    // as the single element of an array around it; text that is not one value stays an error.
    const QJsonDocument wrapped = QJsonDocument::fromJson('[' + text + ']');
    if (wrapped.isArray() && wrapped.array().size() == 1) {
        *outValue = wrapped.array().first();
        return true;
    }

    if (outErrorText) {
        *outErrorText = QStringLiteral("%1 at offset %2").arg(error.errorString()).arg(error.offset);
    }
    return false;
}

void serialize_json(const QJsonValue& value, QByteArray* outTarget, QJsonDocument::JsonFormat format)
{
    if (!outTarget)
        return;
    if (value.isObject()) {
        *outTarget = QJsonDocument(value.toObject()).toJson(format);
        return;
    }
    if (value.isArray()) {
        *outTarget = QJsonDocument(value.toArray()).toJson(format);
        return;
    }

    // A scalar cannot stand in a QJsonDocument: render it as the only element of an array and cut the
    // brackets off. Compact rendering of an array of one scalar is exactly "[" + scalar + "]".
    const QJsonValue scalar = value.isUndefined() ? QJsonValue() : value;
    const QByteArray array = QJsonDocument(QJsonArray{scalar}).toJson(QJsonDocument::Compact);
    *outTarget = array.mid(1, array.size() - 2);
}

} // namespace QJsonDetail
