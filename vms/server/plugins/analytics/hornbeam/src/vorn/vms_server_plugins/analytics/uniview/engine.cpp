#include "engine.h"

#include "device_agent.h"

#include <functional>
#include <optional>

#include <QtCore/QDateTime>

#include <vorn/kit/json.h>
#include <vorn/log_support/assert.h>
#include <vorn/log_support/log.h>
#include <vorn/network/http/http_client.h>
#include <vorn/sdk/analytics/helpers/event_metadata.h>
#include <vorn/sdk/helpers/error.h>
#include <vorn/sdk/helpers/string.h>
#include <vorn/vms_server_plugins/utils/exception.h>
#include <vorn/vms_server_plugins/utils/manifest_text.h>
#include <vorn/vms_server_plugins/utils/server_clock.h>

#include "device_agent.h"
#include "lapi.h"

namespace vorn::vms_server_plugins::analytics::uniview {

using namespace vorn::sdk;
using namespace vorn::sdk::analytics;
using vorn::vms_server_plugins::utils::translateExceptions;

Engine::Engine(Plugin* plugin)
    : m_plugin(shareToPtr(plugin))
    , m_manifest(vorn::vms_server_plugins::utils::loadManifestText(
          QString::fromLatin1(kEmbeddedManifestPath), QString::fromLatin1(kExternalManifestPath),
          vorn::utils::log::Tag(vorn::log_support::objectLogTag(this))))
{
    VN_ASSERT(m_plugin);

    // Text that is no JSON object leaves the empty record (no alarm finds an event type); the server is
    // still handed the text as read.
    m_engineManifest = QJson::deserialized<EngineManifest>(m_manifest, EngineManifest());
    m_alarmEventItems.reserve(m_engineManifest.eventTypes.size());
    for (const EventType& eventType : m_engineManifest.eventTypes) {
        const std::string typeId = eventType.id.toStdString();
        const bool stateDependent = eventType.flags.testFlag(vorn::vms::api::analytics::EventTypeFlag::stateDependent);
        const auto makeItem = [&](bool isActive) {
            auto item = makePtr<EventMetadata>();
            item->setTypeId(typeId);
            // Only a state-dependent event starts and ends; any other keeps the default.
            if (stateDependent)
                item->setIsActive(isActive);
            return Ptr<const IEventMetadata>(std::move(item));
        };
        m_alarmEventItems.push_back({makeItem(false), makeItem(true)});
    }
}

Engine::~Engine() = default;

void Engine::getManifest(Result<const IString*>* outResult) const
{
    translateExceptions(outResult, [&]() -> Result<const IString*> { return new String(m_manifest.constData()); });
}

bool Engine::supportsDevice(const IDeviceDescription* deviceDescription) const
{
    if (!VN_CHECK(deviceDescription) || !m_plugin)
        return false;
    if (!m_plugin->isVendorSupported(textOrEmpty(deviceDescription->vendor())))
        return false;
    if (!m_plugin->probe())
        return true;
    return probeCamera(vorn::utils::Url(textOrEmpty(deviceDescription->url())));
}

bool Engine::probeCamera(const vorn::utils::Url& cameraUrl)
{
    vorn::network::http::HttpClient client(vorn::network::ssl::kAcceptAnyCertificate);
    client.setTimeouts({kLapiRequestTimeout, kLapiRequestTimeout, kLapiRequestTimeout});
    if (!client.doGet(makeLapiUrl(cameraUrl, QString::fromLatin1(kSystemTimeLapiPath))))
        return false;
    const std::optional<QByteArray> body = client.fetchEntireMessageBody();
    if (!body)
        return false;

    // A LAPI reply of any code tells a Uniview camera; its "Response" must be there, though.
    const LapiReply reply = readLapiReply(std::string_view(body->constData(), static_cast<std::size_t>(body->size())));
    return reply.status != LapiReply::Status::unreadable && reply.json["Response"].is_object();
}

void Engine::createDeviceAgent(Result<IDeviceAgent*>* outResult, const IDeviceDescription* deviceDescription)
{
    translateExceptions(outResult, [&]() -> Result<IDeviceAgent*> {
        if (!VN_CHECK(deviceDescription))
            return error(ErrorCode::generalFailure, "No device description");
        return new DeviceAgent(this, deviceDescription);
    });
}

const EventType* Engine::eventTypeByTrigger(const std::string& trigger) const
{
    // An empty name would otherwise find an event type whose trigger list holds an unreadable entry.
    if (trigger.empty())
        return nullptr;
    for (const EventType& eventType : m_engineManifest.eventTypes) {
        for (const std::string& eventTrigger : eventType.triggers) {
            if (eventTrigger == trigger)
                return &eventType;
        }
    }
    return nullptr;
}

const IEventMetadata* Engine::alarmEventItem(const EventType& eventType, bool isActive) const
{
    const std::optional<std::size_t> index = eventTypeIndex(eventType);
    if (!VN_ASSERT(index.has_value(), "An event type of another manifest"))
        return nullptr;
    return m_alarmEventItems[*index][isActive ? 1 : 0].get();
}

std::optional<std::size_t> Engine::eventTypeIndex(const EventType& eventType) const
{
    // std::less orders any two pointers, so an address outside the list is told apart without arithmetic on it.
    const std::vector<EventType>& eventTypes = m_engineManifest.eventTypes;
    const std::less<const EventType*> before;
    if (before(&eventType, eventTypes.data()) || !before(&eventType, eventTypes.data() + eventTypes.size()))
        return std::nullopt;
    return static_cast<std::size_t>(&eventType - eventTypes.data());
}

int64_t Engine::serverTimeMs() const
{
    return vorn::vms_server_plugins::utils::serverTimeMs(m_plugin.get());
}

} // namespace vorn::vms_server_plugins::analytics::uniview
