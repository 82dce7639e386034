// The launcher's requests and replies, and their pipe encoding.
//
// A request is the channel name, "\n", then one compact JSON object (nothing for a request without a
// body); a reply is the result's name, "\n", then one compact JSON object or nothing, then "\n", so a
// bare ok is exactly "ok\n\n". Tools outside the launcher speak this, so it does not change:
//
//     pingWaypoint\n{"value1":"7","value2":"9"}
//     ok\n{"timeMs":"1765380000000","value1":"7","value2":"9"}\n
//
// - 64-bit integers are JSON texts of decimal digits (with '-' when negative), since JSON numbers lose
//   digits past 2^53 in many readers; "timeoutMs" is a JSON number (0 to 2^31-1).
// - Versions are four-part texts ("5.1.4.38659"); a text that is not a version fails.
// - Unknown members are ignored; a missing member, or one of the wrong type, fails deserialisation.
// - deserialize() takes the whole message, the channel line included, and checks that line.
//
//     api::PingRequest request;
//     request.value1 = 7;
//     const QByteArray bytes = request.serialize();
//     api::PingRequest copy;
//     copy.deserialize(bytes);   // true, copy.value1 == 7
#pragma once

#include <QtCore/QByteArray>
#include <QtCore/QJsonObject>
#include <QtCore/QList>
#include <QtCore/QString>
#include <QtCore/QStringList>

#include <vorn/utils/software_version.h>
#include <vorn/vms/waypoint/api/result_type.h>

namespace vorn::vms::waypoint::api {

// Base of every request: the channel it goes to and its body.
class BaseTask
{
public:
    virtual ~BaseTask() = default;

    virtual const char* channel() const = 0;
    QByteArray serialize() const;
    bool deserialize(const QByteArray& message);

protected:
    // Requests without a body keep the defaults.
    virtual bool hasBody() const { return true; }
    virtual void writeBody(QJsonObject& /*body*/) const {}
    virtual bool readBody(const QJsonObject& /*body*/) { return true; }
};

// Base of every reply, and the reply of the channels that answer only a result.
class Response
{
public:
    virtual ~Response() = default;

    ResultType result = ResultType::ok;

    QByteArray serialize() const;
    bool deserialize(const QByteArray& message);

protected:
    virtual bool hasBody() const { return false; }
    virtual void writeBody(QJsonObject& /*body*/) const {}
    virtual bool readBody(const QJsonObject& /*body*/) { return true; }
};

class QuitTask : public BaseTask
{
public:
    const char* channel() const override { return "quit"; }

protected:
    bool hasBody() const override { return false; }
};

class PingRequest : public BaseTask
{
public:
    qint64 value1 = 0;
    qint64 value2 = 0;
    const char* channel() const override { return "pingWaypoint"; }

protected:
    void writeBody(QJsonObject& body) const override;
    bool readBody(const QJsonObject& body) override;
};

class PingResponse : public Response
{
public:
    qint64 value1 = 0;
    qint64 value2 = 0;
    qint64 timeMs = 0; // the launcher's clock, milliseconds since 1970-01-01 UTC

protected:
    bool hasBody() const override { return true; }
    void writeBody(QJsonObject& body) const override;
    bool readBody(const QJsonObject& body) override;
};

class StartApplicationTask : public BaseTask
{
public:
    vorn::utils::SoftwareVersion version;
    QStringList arguments;
    const char* channel() const override { return "run"; }

protected:
    void writeBody(QJsonObject& body) const override;
    bool readBody(const QJsonObject& body) override;
};

class InstallZipTask : public BaseTask
{
public:
    vorn::utils::SoftwareVersion version;
    QString zipFileName;
    const char* channel() const override { return "installZip"; }

protected:
    void writeBody(QJsonObject& body) const override;
    bool readBody(const QJsonObject& body) override;
};

class InstallZipTaskAsync : public InstallZipTask
{
public:
    const char* channel() const override { return "startZipInstallation"; }
};

class InstallZipCheckStatus : public BaseTask
{
public:
    vorn::utils::SoftwareVersion version;
    const char* channel() const override { return "checkZipProgress"; }

protected:
    void writeBody(QJsonObject& body) const override;
    bool readBody(const QJsonObject& body) override;
};

class InstallZipCheckStatusResponse : public Response
{
public:
    qint64 extracted = 0; // bytes written so far
    qint64 total = 0;     // estimated bytes of the whole installation

protected:
    bool hasBody() const override { return true; }
    void writeBody(QJsonObject& body) const override;
    bool readBody(const QJsonObject& body) override;
};

class IsVersionInstalledRequest : public InstallZipCheckStatus
{
public:
    const char* channel() const override { return "isVersionInstalled"; }
};

class IsVersionInstalledResponse : public Response
{
public:
    bool installed = false;

protected:
    bool hasBody() const override { return true; }
    void writeBody(QJsonObject& body) const override;
    bool readBody(const QJsonObject& body) override;
};

class GetInstalledVersionsRequest : public BaseTask
{
public:
    const char* channel() const override { return "getInstalledVersions"; }
};

class GetInstalledVersionsResponse : public Response
{
public:
    QList<vorn::utils::SoftwareVersion> versions;

protected:
    bool hasBody() const override { return true; }
    void writeBody(QJsonObject& body) const override;
    bool readBody(const QJsonObject& body) override;
};

class AddProcessKillTimerRequest : public BaseTask
{
public:
    qint64 pid = 0;
    quint32 timeoutMs = 0;
    const char* channel() const override { return "addProcessKillTimer"; }

protected:
    void writeBody(QJsonObject& body) const override;
    bool readBody(const QJsonObject& body) override;
};

class AddProcessKillTimerResponse : public Response
{
};

} // namespace vorn::vms::waypoint::api
