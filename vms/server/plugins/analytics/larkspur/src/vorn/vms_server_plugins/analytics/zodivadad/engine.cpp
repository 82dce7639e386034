#include "engine.h"

#include <algorithm>
#include <functional>
#include <limits>

#include <vorn/log_support/assert.h>
#include <vorn/log_support/log.h>
#include <vorn/network/http/credentials.h>
#include <vorn/sdk/helpers/error.h>
#include <vorn/sdk/helpers/string.h>
#include <vorn/vms_server_plugins/utils/manifest_text.h>
#include <vorn/vms_server_plugins/utils/server_clock.h>
#include <vorn/vms_server_plugins/utils/server_text.h>

#include "camera_settings.h"
#include "device_agent.h"
#include "wildcard_match.h"

namespace vorn::vms_server_plugins::analytics::zodivadad {

using namespace vorn::sdk;
using namespace vorn::sdk::analytics;
using vorn::vms_server_plugins::utils::textOf;

namespace {

bool matchesAny(const std::vector<QString>& patterns, const QString& text)
{
    for (const QString& pattern : patterns) {
        if (wildcardMatch(pattern, text, /*caseInsensitive*/ true))
            return true;
    }
    return false;
}

} // namespace

Engine::Engine(Plugin* plugin, const QString& manifestName)
    : m_plugin(shareToPtr(plugin))
{
    m_manifestText = vorn::vms_server_plugins::utils::loadManifestText(
        QString::fromLatin1(kEmbeddedManifestPathFormat).arg(manifestName),
        QString::fromLatin1(kExternalManifestPathFormat).arg(manifestName),
        vorn::utils::log::Tag(vorn::log_support::objectLogTag(this)));

    // A text that is no manifest leaves the default record, which refuses every camera; the server is
    // still handed the text as read.
    m_manifest = QJson::deserialized<EngineManifest>(m_manifestText, EngineManifest());

    // The manifest does not change from here on, so the pointers into it stay valid.
    m_eventTypeLookups.reserve(m_manifest.eventTypes.size());
    for (const EventType& eventType : m_manifest.eventTypes) {
        EventTypeLookups lookups;
        lookups.position = m_eventTypeLookups.size();
        lookups.id = eventType.id.toStdString();
        lookups.name = eventType.name.toStdString();
        const std::vector<std::string>& names = eventType.internalNumericAttributes;
        for (std::size_t i = 0; i < names.size(); ++i) {
            lookups.numericAttributes.push_back(findNumericAttribute(names[i]));
            lookups.numericAttributeOrder.push_back(i);
        }
        std::stable_sort(lookups.numericAttributeOrder.begin(), lookups.numericAttributeOrder.end(),
                         [&names](std::size_t left, std::size_t right) { return names[left] < names[right]; });
        m_eventTypeLookups.push_back(std::move(lookups));
    }
}

Engine::~Engine() = default;

void Engine::getManifest(Result<const IString*>* outResult) const
{
    const qsizetype zero = m_manifestText.indexOf('\0');
    const QByteArray text = zero < 0 ? m_manifestText : m_manifestText.left(zero);
    *outResult = Result<const IString*>(new String(text.toStdString()));
}

bool Engine::supportsDevice(const IDeviceDescription* deviceDescription) const
{
    if (!VN_CHECK(deviceDescription))
        return false;

    const QString vendor = textOf(deviceDescription->vendor());
    if (!matchesAny(m_manifest.supportedCameraVendors, vendor)) {
        VN_LOG(5, this, "Unsupported camera vendor: %1", vendor);
        return false;
    }

    const vorn::network::http::PasswordCredentials credentials(deviceDescription->login(),
                                                               deviceDescription->password());
    if (!getSystemInformation(vorn::utils::Url(deviceDescription->url()), credentials).empty())
        return true;

    VN_LOG(5, this, "Test API call failed, checking supportedCameraModels list");
    const QString model = textOf(deviceDescription->model());
    if (matchesAny(m_manifest.supportedCameraModels, model))
        return true;

    VN_LOG(5, this, "Unsupported camera model: %1", model);
    return false;
}

void Engine::createDeviceAgent(Result<IDeviceAgent*>* outResult, const IDeviceDescription* deviceDescription)
{
    if (!VN_CHECK(deviceDescription)) {
        *outResult = Result<IDeviceAgent*>(error(ErrorCode::generalFailure, "No device description"));
        return;
    }
    *outResult = Result<IDeviceAgent*>(new DeviceAgent(shareToPtr(this), deviceDescription, m_manifest));
}

std::optional<std::string> Engine::internalSection(const std::string& eventTypeId) const
{
    const QString id = QString::fromStdString(eventTypeId);
    for (const EventType& eventType : m_manifest.eventTypes) {
        if (eventType.id == id)
            return eventType.internalSection;
    }
    return std::nullopt;
}

const EventType* Engine::eventTypeBySection(const std::string& section, int eventId) const
{
    for (const EventType& eventType : m_manifest.eventTypes) {
        if (eventType.internalEventId == eventId && eventType.internalSection == section)
            return &eventType;
    }
    return nullptr;
}

std::optional<NumericAttribute> Engine::numericAttribute(const std::string& name) const
{
    if (const NumericAttribute* attribute = findNumericAttribute(name))
        return *attribute;
    return std::nullopt;
}

const NumericAttribute* Engine::findNumericAttribute(const std::string& name) const
{
    const auto it = m_manifest.eventNumericAttributes.find(name);
    return it == m_manifest.eventNumericAttributes.end() ? nullptr : &it->second;
}

const Engine::EventTypeLookups& Engine::eventTypeLookups(const EventType& eventType) const
{
    const EventType* const first = m_manifest.eventTypes.data();
    const EventType* const end = first + m_manifest.eventTypes.size();
    if (!VN_CHECK(std::less_equal<>()(first, &eventType) && std::less<>()(&eventType, end))) {
        // A position past every list: no selection holds it.
        static const EventTypeLookups kNone = [] {
            EventTypeLookups none;
            none.position = std::numeric_limits<std::size_t>::max();
            return none;
        }();
        return kNone;
    }
    return m_eventTypeLookups[static_cast<std::size_t>(&eventType - first)];
}

int64_t Engine::serverTimeMs() const
{
    return vorn::vms_server_plugins::utils::serverTimeMs(m_plugin.get());
}

} // namespace vorn::vms_server_plugins::analytics::zodivadad
