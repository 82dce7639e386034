// VcaMonitor: the video-analytics push channel of a camera without licence-plate recognition.
//
// After the base has connected it registers for the camera sections that the needed event types come
// from, with the camera's login, and answers a 401 with a digest registration. Then it reads the
// frames the camera pushes and hands every JSON event, with its command, to the device agent:
//
//     auto channel = std::make_unique<VcaMonitor>(deviceAgent);
//     channel->setAddress(SocketAddress(host, DeviceAgent::kVcaDefaultPort));
//     if (channel->setNeededTypes(eventTypeIds, objectTypeIds))  // any section needed?
//         channel->start();                  // DeviceAgent::handleEvent() runs on the channel's thread
//
// Rules (besides the base's): setNeededTypes() is called while the channel is stopped (the device
// agent stops it first); a connection registers with the sections it had when its request was built.
// The frame readers (vca_frame.h) do the byte work; this class only drives them on the receive buffer.
#pragma once

#include <cstddef>
#include <mutex>
#include <set>
#include <string>

#include <vorn/kit/json.h>

#include "tcp_data_monitor.h"
#include "vca_frame.h"

namespace vorn::vms_server_plugins::analytics::zodivadad {

class VcaMonitor final : public TcpDataMonitor
{
public:
    /** The digest registration answers a challenge for this method and URI. */
    static constexpr char kDigestMethod[] = "GET";
    static constexpr char kDigestUri[] = "ipcsdk";
    /** The registration result when the reply has none. */
    static constexpr int kDefaultResultCode = 200;
    static constexpr int kUnauthorizedCode = 401;

    explicit VcaMonitor(DeviceAgent* deviceAgent);
    ~VcaMonitor() override;

    /** The channel's name; its settings are named after it. */
    static std::string name();

    std::string portSettingName() const override;
    /** The sections of the needed event types; true when there is any. Object types are not looked at. */
    bool setNeededTypes(const std::set<std::string>& neededEventTypeIds,
                        const std::set<std::string>& neededObjectTypeIds) override;
    BasicBuffer<char> makeRegisterRequest() override;

private:
    using CompletionHandler = void (VcaMonitor::*)(SystemError::ErrorCode, std::size_t);

    void onRegisterReply(SystemError::ErrorCode code, std::size_t bytesRead) override;
    void onRegisterDigest(SystemError::ErrorCode code, std::size_t bytesSent);
    void onRegisterDigestReply(SystemError::ErrorCode code, std::size_t bytesRead);
    void onPush(SystemError::ErrorCode code, std::size_t bytesRead);

    /** Hands over every frame that is buffered, then reads for more. */
    void readPushes();
    void readThen(ReadWait wait, CompletionHandler handler);
    void sendThen(CompletionHandler handler);

    VcaParseResult parsePacket();
    BasicBuffer<char> makeDigestRegisterRequest(const vorn::kit::detail::json11::Json& reply);
    /** False when the reply turns down a registered section (a number other than 1). */
    bool checkSections(const vorn::kit::detail::json11::Json& reply) const;
    void handleArrayPacket(const VcaParseResult& frame);

    mutable std::mutex m_sectionsMutex; //< Guards m_sections, read on the I/O thread for each request.
    std::set<std::string> m_sections;
    std::set<std::string> m_registeredSections; //< I/O thread only: those of the current connection.
};

} // namespace vorn::vms_server_plugins::analytics::zodivadad
