#include "vca_monitor.h"

#include <map>
#include <optional>
#include <utility>

#include <QtNetwork/QAuthenticator>

#include <vorn/log_support/log.h>
#include <vorn/network/http/digest_authentication.h>

#include "channel_factory.h"
#include "device_agent.h"
#include "json_to_int.h"
#include "vca_command.h"

namespace vorn::vms_server_plugins::analytics::zodivadad {

using Json = vorn::kit::detail::json11::Json;

namespace {

int resultCode(const Json& reply)
{
    return jsonToInt(reply["result"]).value_or(VcaMonitor::kDefaultResultCode);
}

} // namespace

VcaMonitor::VcaMonitor(DeviceAgent* deviceAgent)
    : TcpDataMonitor(deviceAgent)
{}

VcaMonitor::~VcaMonitor()
{
    // Before m_sections and the rest go: the I/O thread may be in one of our handlers until then.
    stop();
}

std::string VcaMonitor::name()
{
    return kVcaChannelName;
}

std::string VcaMonitor::portSettingName() const
{
    return name() + ".Port";
}

bool VcaMonitor::setNeededTypes(const std::set<std::string>& neededEventTypeIds,
                                const std::set<std::string>& /*neededObjectTypeIds*/)
{
    std::set<std::string> sections;
    for (const std::string& eventTypeId : neededEventTypeIds) {
        if (std::optional<std::string> section = m_deviceAgent->internalSection(eventTypeId))
            sections.insert(std::move(*section));
    }
    const bool needed = !sections.empty();
    const std::lock_guard lock(m_sectionsMutex);
    m_sections = std::move(sections);
    return needed;
}

BasicBuffer<char> VcaMonitor::makeRegisterRequest()
{
    {
        const std::lock_guard lock(m_sectionsMutex);
        m_registeredSections = m_sections;
    }
    const QAuthenticator& credentials = m_deviceAgent->authenticator();
    Json::object request;
    for (const std::string& section : m_registeredSections)
        request[section] = "1";
    request["user"] = credentials.user().toStdString();
    request["password"] = credentials.password().toStdString();
    request["streamid"] = 0;
    return serializePacket(kRegister, Json(std::move(request)));
}

BasicBuffer<char> VcaMonitor::makeDigestRegisterRequest(const Json& reply)
{
    std::map<std::string, std::string> challenge;
    for (const char* name : {"nonce", "realm", "qop"})
        challenge[name] = reply[name].string_value();

    const QAuthenticator& credentials = m_deviceAgent->authenticator();
    const std::string user = credentials.user().toStdString();
    std::map<std::string, std::string> answer;
    if (!vorn::network::http::calcDigestResponse(kDigestMethod, user, credentials.password().toStdString(),
                                                 std::nullopt, kDigestUri, challenge, &answer)) {
        VN_LOG(5, this, "Warning: can't calculate digest authentication");
    }

    Json::object request;
    for (const std::string& section : m_registeredSections)
        request[section] = "1";
    request["user"] = user;
    request["streamid"] = 0;
    request["Authorization"] = "Digest";
    request["cmd"] = kDigestMethod;
    // The user goes as "user" above; the password never leaves.
    for (auto& [name, value] : answer) {
        if (name != "username")
            request[name] = std::move(value);
    }
    return serializePacket(kRegister, Json(std::move(request)));
}

bool VcaMonitor::checkSections(const Json& reply) const
{
    for (const std::string& section : m_registeredSections) {
        const std::optional<int> state = jsonToInt(reply[section]);
        if (state && *state != 1)
            return false;
    }
    return true;
}

VcaParseResult VcaMonitor::parsePacket()
{
    return parseVcaPacket(&m_receiveBuffer, this);
}

void VcaMonitor::readThen(ReadWait wait, CompletionHandler handler)
{
    readSome(wait, [this, handler](SystemError::ErrorCode code, std::size_t bytes) { (this->*handler)(code, bytes); });
}

void VcaMonitor::sendThen(CompletionHandler handler)
{
    m_socket->sendAsync(&m_sendBuffer, [this, handler](SystemError::ErrorCode code, std::size_t bytes) {
        (this->*handler)(code, bytes);
    });
}

void VcaMonitor::onRegisterReply(SystemError::ErrorCode code, std::size_t bytesRead)
{
    if (code != SystemError::noError || bytesRead == 0) {
        scheduleReconnect(QStringLiteral("Failed to register"));
        return;
    }
    const VcaParseResult reply = parsePacket();
    if (reply.status == ParseStatus::needMoreData) {
        readThen(ReadWait::forData, &VcaMonitor::onRegisterReply);
        return;
    }
    if (reply.status == ParseStatus::error) {
        scheduleReconnect(QStringLiteral("Failed to parse register reply"));
        return;
    }

    if (resultCode(reply.json) == kUnauthorizedCode) {
        VN_LOG(6, this, "Make digest auth");
        m_sendBuffer = makeDigestRegisterRequest(reply.json);
        sendThen(&VcaMonitor::onRegisterDigest);
        return;
    }
    if (!checkSections(reply.json))
        VN_LOG(5, this, "Warning: not all sections are catching");
    VN_LOG(6, this, "Waiting for messages without digest auth");
    readPushes(); // The camera may have pushed right behind its reply.
}

void VcaMonitor::onRegisterDigest(SystemError::ErrorCode code, std::size_t bytesSent)
{
    if (code != SystemError::noError || bytesSent == 0) {
        scheduleReconnect(QStringLiteral("Failed to register"));
        return;
    }
    VN_LOG(6, this, "Wait for digest registration reply.");
    readThen(ReadWait::forData, &VcaMonitor::onRegisterDigestReply);
}

void VcaMonitor::onRegisterDigestReply(SystemError::ErrorCode code, std::size_t bytesRead)
{
    if (code != SystemError::noError || bytesRead == 0) {
        scheduleReconnect(QStringLiteral("Failed to register digest"));
        return;
    }
    const VcaParseResult reply = parsePacket();
    if (reply.status == ParseStatus::needMoreData) {
        readThen(ReadWait::forData, &VcaMonitor::onRegisterDigestReply);
        return;
    }
    if (reply.status == ParseStatus::error) {
        scheduleReconnect(QStringLiteral("Digest registration reply not parsed"));
        return;
    }

    const int result = resultCode(reply.json);
    if (result == kUnauthorizedCode) {
        scheduleReconnect(QStringLiteral("Register digest: got unexpected code %1").arg(result));
        return;
    }
    if (!checkSections(reply.json))
        VN_LOG(5, this, "Warning: not all sections are catching");
    readPushes();
}

void VcaMonitor::onPush(SystemError::ErrorCode code, std::size_t bytesRead)
{
    if (code != SystemError::noError || bytesRead == 0) {
        scheduleReconnect(QStringLiteral("Push connection closed unexpectedly"));
        return;
    }
    readPushes();
}

void VcaMonitor::readPushes()
{
    for (;;) {
        const VcaParseResult frame = parsePacket();
        if (frame.status == ParseStatus::needMoreData) {
            // Between frames the camera may stay silent for ever; inside one it owes the rest.
            readThen(m_receiveBuffer.size() == 0 ? ReadWait::idle : ReadWait::forData, &VcaMonitor::onPush);
            return;
        }
        if (frame.status == ParseStatus::error) {
            scheduleReconnect(QStringLiteral("Push data parse failed"));
            return;
        }

        switch (frame.command) {
        case kVcaCount:
        case kRegionalCount:
        case kBasicAlarm:
        case kRadar:
            if (frame.json.is_object())
                m_deviceAgent->handleEvent(frame.command, frame.json);
            break;
        case kVcaAlarm:
        case kFace:
            handleArrayPacket(frame);
            break;
        default:
            VN_LOG(5, this, "Not implemented code %1", frame.command);
            break;
        }
    }
}

void VcaMonitor::handleArrayPacket(const VcaParseResult& frame)
{
    for (const Json& element : frame.json.array_items()) {
        if (!element.is_object()) {
            VN_LOG(5, this, "Parse failed: Unexpected element in array");
            return;
        }
        m_deviceAgent->handleEvent(frame.command, element);
    }
}

} // namespace vorn::vms_server_plugins::analytics::zodivadad
