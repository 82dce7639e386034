#include "device_capabilities_provider.h"

#include <vorn/log_support/assert.h>
#include <vorn/log_support/log.h>
#include <vorn/log_support/peer_text.h>
#include <vorn/utils/scaled_clock.h>
#include <vorn/utils/scope_guard.h>
#include <vorn/vms_server_plugins/utils/status_line_text.h>

#include "device_agent.h"
#include "lapi.h"

namespace vorn::vms_server_plugins::analytics::uniview {

using vorn::log_support::PeerText;
using vorn::vms_server_plugins::utils::statusLineText;

using Json = vorn::kit::detail::json11::Json;

namespace {

constexpr const char* kSupportKeys[] = {"IsSupportCfg", "SupportCfg", "IsSupport", "IsSupported", "Support"};

} // namespace

const std::map<std::string, std::set<QString>>& DeviceCapabilitiesProvider::capabilityEventTypes()
{
    static const std::map<std::string, std::set<QString>> kCapabilityEventTypes = {
        {"AudioDetection", {"vorn.uniview.Audio"}},
        {"MotionDetection", {"vorn.uniview.Motion"}},
        {"TamperDetection", {"vorn.uniview.Tamper"}},
        {"CrossLineDetection",
         {"vorn.uniview.Person", "vorn.uniview.Vehicle", "vorn.uniview.Bike", "vorn.uniview.LineCrossed"}},
        {"CrowdDensity",
         {"vorn.uniview.CrowdDensityMinor", "vorn.uniview.CrowdDensityMajor", "vorn.uniview.CrowdDensityCritical"}},
        {"IntrusionDetection",
         {"vorn.uniview.Person", "vorn.uniview.Vehicle", "vorn.uniview.Bike", "vorn.uniview.FieldObjectsInside"}},
        {"ObjTrack", {"vorn.uniview.ObjTracking"}},
        {"AccessZone", {"vorn.uniview.Person", "vorn.uniview.Vehicle", "vorn.uniview.Bike", "vorn.uniview.AreaEnter"}},
        {"LeaveZone", {"vorn.uniview.Person", "vorn.uniview.Vehicle", "vorn.uniview.Bike", "vorn.uniview.AreaLeave"}},
        {"RemoveArticle", {"vorn.uniview.ObjectRemoved"}},
        {"RemainArticle", {"vorn.uniview.ObjectLeftBehind"}},
        {"FaceDetection", {"vorn.uniview.Face"}},
        {"HumanShapeDetection", {"vorn.uniview.Person"}},
    };
    return kCapabilityEventTypes;
}

DeviceCapabilitiesProvider::DeviceCapabilitiesProvider(DeviceAgent* deviceAgent)
    : m_deviceAgent(deviceAgent)
{
    const QString channel = QString::number(m_deviceAgent->channel());
    startRequest(QStringLiteral("Channels/%1/Alarm/Capabilities").arg(channel),
                 &DeviceCapabilitiesProvider::onCapabilities);
    startRequest(QStringLiteral("Channels/%1/Smart/Capabilities").arg(channel),
                 &DeviceCapabilitiesProvider::onCapabilities);
}

DeviceCapabilitiesProvider::~DeviceCapabilitiesProvider()
{
    const vorn::MutexLocker lock(&m_mutex);
    for (const auto& context : m_contexts)
        context->client->pleaseStopSync();
}

QString DeviceCapabilitiesProvider::logTagSuffix() const
{
    return m_deviceAgent->deviceUrlText();
}

void DeviceCapabilitiesProvider::startRequest(const QString& path, ReplyHandler handler)
{
    auto context = std::make_shared<ClientContext>();
    context->client = m_deviceAgent->makeHttpClient();
    if (!m_contexts.empty())
        context->client->bindToAioThread(m_contexts.front()->client->getAioThread());
    m_contexts.push_back(context);
    const std::weak_ptr<ClientContext> weak = context;
    context->client->doGet(m_deviceAgent->lapiUrl(path), [this, handler, weak] {
        if (const std::shared_ptr<ClientContext> context = weak.lock())
            onRequestDone(context.get(), handler);
    });
}

void DeviceCapabilitiesProvider::onRequestDone(ClientContext* context, ReplyHandler handler)
{
    const vorn::utils::ScopeGuard fulfil([context] { context->promise.set_value(); });
    const vorn::network::http::AsyncClient& client = *context->client;
    const QString url = urlLogText(client.url());
    if (!client.hasRequestSucceeded()) {
        VN_LOG(5, this, "Request %1 failed with HTTP code [%2] sys error code [%3]", url,
               statusLineText(client.response()), client.lastSysErrorCode());
        return;
    }
    const std::string& body = client.fetchMessageBodyBuffer();
    const LapiReply reply = readLapiReply(body);
    if (reply.status == LapiReply::Status::unreadable) {
        VN_LOG(5, this, kLapiJsonParsingFailedFormat, reply.parseError, PeerText(body));
        return;
    }
    VN_LOG(6, this, "Received response for %1: %2", url, PeerText(body));
    if (reply.status == LapiReply::Status::deviceError) {
        VN_LOG(5, this, "Request %1 failed with device code %2 (%3)", url, reply.code, PeerText(reply.text));
        return;
    }
    const Json& data = reply.data();
    if (!data.is_object()) {
        VN_LOG(5, this, "Incorrect JSON in response for %1, Data must be an object: %2", url, PeerText(body));
        return;
    }
    (this->*handler)(data);
}

void DeviceCapabilitiesProvider::onCapabilities(const Json& json)
{
    if (!VN_CHECK(json.is_object()))
        return;
    const auto& table = capabilityEventTypes();
    for (const auto& [name, value] : json.object_items()) {
        if (!isSupported(value, name))
            continue;
        if (const auto row = table.find(name); row != table.end())
            m_supportedTypes.insert(row->second.begin(), row->second.end());
    }
}

bool DeviceCapabilitiesProvider::isSupported(const Json& value, const std::string& name)
{
    if (!value.is_object())
        return false;
    const auto supports = [&](const std::string& key) {
        const Json& member = value[key];
        return member.is_number() && member.int_value() != 0;
    };
    for (const char* key : kSupportKeys) {
        if (supports(key))
            return true;
    }
    return supports("Support" + name);
}

std::set<QString> DeviceCapabilitiesProvider::supportedEventTypes()
{
    const vorn::MutexLocker lock(&m_mutex);
    waitForRequests();
    return m_supportedTypes;
}

void DeviceCapabilitiesProvider::waitForRequests()
{
    const auto deadline = std::chrono::steady_clock::now() + vorn::utils::ScaledClock::toRealDuration(kMaxWait);
    for (const auto& context : m_contexts) {
        const bool ended = context->promise.get_future().wait_until(deadline) == std::future_status::ready;
        // Stopping also ends a request that is still running: its completion never runs.
        context->client->pleaseStopSync();
        if (!ended)
            VN_LOG(5, this, "Request %1 did not end in time", urlLogText(context->client->url()));
    }
    m_contexts.clear();
}

} // namespace vorn::vms_server_plugins::analytics::uniview
