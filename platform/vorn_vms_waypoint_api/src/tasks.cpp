#include <vorn/vms/waypoint/api/tasks.h>

#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>

namespace vorn::vms::waypoint::api {

namespace {

// The body after the first line: whitespace only (nothing), or one JSON object.
enum class BodyStatus {
    empty,
    object,
    invalid,
};

BodyStatus readJsonBody(const QByteArray& text, QJsonObject* object)
{
    const QByteArray trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return BodyStatus::empty;
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(trimmed, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return BodyStatus::invalid;
    *object = document.object();
    return BodyStatus::object;
}

QString int64Text(qint64 value)
{
    return QString::number(value);
}

bool readInt64(const QJsonObject& body, const char* key, qint64* value)
{
    const QJsonValue member = body.value(QLatin1String(key));
    if (!member.isString())
        return false;
    const QString text = member.toString();
    // Digits only, with an optional minus: toLongLong() alone would also take blanks and a plus.
    const int start = text.startsWith(QLatin1Char('-')) ? 1 : 0;
    if (text.size() <= start)
        return false;
    for (int i = start; i < text.size(); ++i) {
        if (text[i] < QLatin1Char('0') || text[i] > QLatin1Char('9'))
            return false;
    }
    bool ok = false;
    *value = text.toLongLong(&ok);
    return ok;
}

bool isVersionText(const QString& text)
{
    return !utils::SoftwareVersion(text).isNull() || text == QLatin1String("0.0.0.0");
}

bool readVersion(const QJsonObject& body, const char* key, utils::SoftwareVersion* version)
{
    const QJsonValue member = body.value(QLatin1String(key));
    if (!member.isString() || !isVersionText(member.toString()))
        return false;
    *version = utils::SoftwareVersion(member.toString());
    return true;
}

bool readString(const QJsonObject& body, const char* key, QString* text)
{
    const QJsonValue member = body.value(QLatin1String(key));
    if (!member.isString())
        return false;
    *text = member.toString();
    return true;
}

} // namespace

QByteArray BaseTask::serialize() const
{
    QByteArray message(channel());
    message += '\n';
    if (hasBody()) {
        QJsonObject body;
        writeBody(body);
        message += QJsonDocument(body).toJson(QJsonDocument::Compact);
    }
    return message;
}

bool BaseTask::deserialize(const QByteArray& message)
{
    const int lineEnd = message.indexOf('\n');
    if (lineEnd < 0 || message.left(lineEnd) != channel())
        return false;
    QJsonObject body;
    switch (readJsonBody(message.mid(lineEnd + 1), &body)) {
    case BodyStatus::empty:
        return !hasBody();
    case BodyStatus::object:
        return hasBody() && readBody(body);
    case BodyStatus::invalid:
        return false;
    }
    return false;
}

QByteArray Response::serialize() const
{
    QByteArray message(resultTypeName(result).data(), static_cast<int>(resultTypeName(result).size()));
    if (message.isEmpty())
        message = QByteArray::number(static_cast<int>(result));
    message += '\n';
    if (hasBody()) {
        QJsonObject body;
        writeBody(body);
        message += QJsonDocument(body).toJson(QJsonDocument::Compact);
    }
    message += '\n';
    return message;
}

bool Response::deserialize(const QByteArray& message)
{
    const int lineEnd = message.indexOf('\n');
    if (lineEnd < 0)
        return false;
    const QByteArray name = message.left(lineEnd);
    const std::optional<ResultType> parsed = resultTypeFromName(std::string_view(name.constData(), name.size()));
    if (!parsed)
        return false;
    QJsonObject body;
    switch (readJsonBody(message.mid(lineEnd + 1), &body)) {
    case BodyStatus::empty:
        if (hasBody())
            return false;
        break;
    case BodyStatus::object:
        if (!hasBody() || !readBody(body))
            return false;
        break;
    case BodyStatus::invalid:
        return false;
    }
    result = *parsed;
    return true;
}

void PingRequest::writeBody(QJsonObject& body) const
{
    body.insert(QStringLiteral("value1"), int64Text(value1));
    body.insert(QStringLiteral("value2"), int64Text(value2));
}

bool PingRequest::readBody(const QJsonObject& body)
{
    return readInt64(body, "value1", &value1) && readInt64(body, "value2", &value2);
}

void PingResponse::writeBody(QJsonObject& body) const
{
    body.insert(QStringLiteral("value1"), int64Text(value1));
    body.insert(QStringLiteral("value2"), int64Text(value2));
    body.insert(QStringLiteral("timeMs"), int64Text(timeMs));
}

bool PingResponse::readBody(const QJsonObject& body)
{
    return readInt64(body, "value1", &value1) && readInt64(body, "value2", &value2) &&
           readInt64(body, "timeMs", &timeMs);
}

void StartApplicationTask::writeBody(QJsonObject& body) const
{
    body.insert(QStringLiteral("version"), version.toString());
    body.insert(QStringLiteral("arguments"), QJsonArray::fromStringList(arguments));
}

bool StartApplicationTask::readBody(const QJsonObject& body)
{
    const QJsonValue member = body.value(QLatin1String("arguments"));
    if (!member.isArray() || !readVersion(body, "version", &version))
        return false;
    QStringList texts;
    for (const QJsonValue& item : member.toArray()) {
        if (!item.isString())
            return false;
        texts.append(item.toString());
    }
    arguments = texts;
    return true;
}

void InstallZipTask::writeBody(QJsonObject& body) const
{
    body.insert(QStringLiteral("version"), version.toString());
    body.insert(QStringLiteral("zipFileName"), zipFileName);
}

bool InstallZipTask::readBody(const QJsonObject& body)
{
    return readVersion(body, "version", &version) && readString(body, "zipFileName", &zipFileName);
}

void InstallZipCheckStatus::writeBody(QJsonObject& body) const
{
    body.insert(QStringLiteral("version"), version.toString());
}

bool InstallZipCheckStatus::readBody(const QJsonObject& body)
{
    return readVersion(body, "version", &version);
}

void InstallZipCheckStatusResponse::writeBody(QJsonObject& body) const
{
    body.insert(QStringLiteral("extracted"), int64Text(extracted));
    body.insert(QStringLiteral("total"), int64Text(total));
}

bool InstallZipCheckStatusResponse::readBody(const QJsonObject& body)
{
    return readInt64(body, "extracted", &extracted) && readInt64(body, "total", &total);
}

void IsVersionInstalledResponse::writeBody(QJsonObject& body) const
{
    body.insert(QStringLiteral("installed"), installed);
}

bool IsVersionInstalledResponse::readBody(const QJsonObject& body)
{
    const QJsonValue member = body.value(QLatin1String("installed"));
    if (!member.isBool())
        return false;
    installed = member.toBool();
    return true;
}

void GetInstalledVersionsResponse::writeBody(QJsonObject& body) const
{
    QJsonArray texts;
    for (const utils::SoftwareVersion& version : versions)
        texts.append(version.toString());
    body.insert(QStringLiteral("versions"), texts);
}

bool GetInstalledVersionsResponse::readBody(const QJsonObject& body)
{
    const QJsonValue member = body.value(QLatin1String("versions"));
    if (!member.isArray())
        return false;
    QList<utils::SoftwareVersion> parsed;
    for (const QJsonValue& item : member.toArray()) {
        if (!item.isString() || !isVersionText(item.toString()))
            return false;
        parsed.append(utils::SoftwareVersion(item.toString()));
    }
    versions = parsed;
    return true;
}

void AddProcessKillTimerRequest::writeBody(QJsonObject& body) const
{
    body.insert(QStringLiteral("pid"), int64Text(pid));
    body.insert(QStringLiteral("timeoutMs"), static_cast<qint64>(timeoutMs));
}

bool AddProcessKillTimerRequest::readBody(const QJsonObject& body)
{
    const QJsonValue timeout = body.value(QLatin1String("timeoutMs"));
    // A JSON number is a double: take it only when it is a whole number in range.
    if (!timeout.isDouble())
        return false;
    const double value = timeout.toDouble();
    if (!(value >= 0 && value <= 2147483647.0) || value != static_cast<double>(static_cast<qint64>(value)))
        return false;
    if (!readInt64(body, "pid", &pid))
        return false;
    timeoutMs = static_cast<quint32>(value);
    return true;
}

} // namespace vorn::vms::waypoint::api
