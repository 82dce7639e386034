#include "serialization.h"

#include <limits>

namespace QJson {

bool deserialize(VnJsonContext* ctx, const QJsonValue& value, double* target)
{
    if (!VN_CHECK(ctx && target))
        return false;
    switch (value.type()) {
    case QJsonValue::Double:
        *target = value.toDouble();
        return true;
    case QJsonValue::Null:
        *target = std::numeric_limits<double>::quiet_NaN();
        return true;
    case QJsonValue::String: {
        if (!ctx->numbersFromStrings())
            return false;
        bool ok = false;
        const double number = value.toString().toDouble(&ok);
        if (!ok)
            return false;
        *target = number;
        return true;
    }
    default:
        return false;
    }
}

} // namespace QJson

namespace QJsonDetail {

bool readValue(VnJsonContext* ctx, const QJsonValue& value, int* target)
{
    double number = 0;
    if (!QJson::deserialize(ctx, value, &number) || !isInIntRange(number))
        return false;
    *target = static_cast<int>(number); //< Truncates toward zero.
    return true;
}

bool readValue(VnJsonContext* /*ctx*/, const QJsonValue& value, QString* target)
{
    if (!value.isString())
        return false;
    *target = value.toString();
    return true;
}

bool readValue(VnJsonContext* /*ctx*/, const QJsonValue& value, std::string* target)
{
    if (!value.isString())
        return false;
    *target = value.toString().toStdString();
    return true;
}

bool readValue(VnJsonContext* /*ctx*/, const QJsonValue& value, QJsonValue* target)
{
    *target = value;
    return true;
}

bool readValue(VnJsonContext* /*ctx*/, const QJsonValue& value, QJsonObject* target)
{
    if (!value.isObject())
        return false;
    *target = value.toObject();
    return true;
}

void writeValue(VnJsonContext* /*ctx*/, int value, QJsonValue* target)
{
    *target = value;
}

void writeValue(VnJsonContext* /*ctx*/, const QString& value, QJsonValue* target)
{
    *target = value;
}

void writeValue(VnJsonContext* /*ctx*/, const std::string& value, QJsonValue* target)
{
    *target = QString::fromStdString(value);
}

void writeValue(VnJsonContext* /*ctx*/, const QJsonValue& value, QJsonValue* target)
{
    *target = value;
}

void writeValue(VnJsonContext* /*ctx*/, const QJsonObject& value, QJsonValue* target)
{
    *target = value;
}

} // namespace QJsonDetail
