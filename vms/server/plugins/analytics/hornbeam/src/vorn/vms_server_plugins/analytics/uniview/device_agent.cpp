#include "device_agent.h"

#include <algorithm>
#include <stdexcept>

#include <vorn/fusion/serialization/json.h>
#include <vorn/log_support/assert.h>
#include <vorn/log_support/log.h>
#include <vorn/sdk/analytics/helpers/text_list.h>
#include <vorn/sdk/analytics/i_data_packet.h>
#include <vorn/sdk/analytics/i_metadata_type_selection.h>
#include <vorn/sdk/helpers/guarded_ptr.h>
#include <vorn/sdk/helpers/string.h>
#include <vorn/vms/api/analytics/device_agent_manifest.h>
#include <vorn/vms_server_plugins/utils/exception.h>

#include "device_capabilities_provider.h"
#include "engine.h"
#include "lapi.h"
#include "metadata_monitor.h"

namespace vorn::vms_server_plugins::analytics::uniview {

using namespace vorn::sdk;
using namespace vorn::sdk::analytics;
using vorn::vms_server_plugins::utils::translateExceptions;
namespace api = vorn::vms::api::analytics;

namespace {

template <class List>
void keepIds(List* list, const std::set<QString>& keep)
{
    list->erase(std::remove_if(list->begin(), list->end(), [&](const auto& item) { return keep.count(item.id) == 0; }),
                list->end());
}

} // namespace

QByteArray narrowDeviceAgentManifest(const QByteArray& engineManifest, const std::set<QString>& supportedTypes)
{
    api::DeviceAgentManifest manifest;
    {
        VnJsonContext context;
        api::DeviceAgentManifest read;
        if (QJson::deserialize(&context, engineManifest, &read))
            manifest = std::move(read);
    }

    std::set<QString> keep = supportedTypes;
    for (const api::ObjectType& objectType : manifest.typeLibrary.objectTypes) {
        if (supportedTypes.count(objectType.id) == 0)
            continue;
        for (const api::AttributeDescription& attribute : objectType.attributes) {
            if (!attribute.subtype.isEmpty())
                keep.insert(attribute.subtype);
        }
    }
    keepIds(&manifest.eventTypes, keep);
    auto& supported = manifest.supportedTypes;
    supported.erase(std::remove_if(supported.begin(), supported.end(),
                                   [&](const api::TypeSupportInfo& info) {
                                       const QString& id =
                                           info.objectTypeId.isEmpty() ? info.eventTypeId : info.objectTypeId;
                                       return keep.count(id) == 0;
                                   }),
                    supported.end());
    keepIds(&manifest.typeLibrary.objectTypes, keep);
    keepIds(&manifest.typeLibrary.enumTypes, keep);

    VnJsonContext context;
    QByteArray text;
    QJson::serialize(&context, manifest, &text);
    return text;
}

DeviceAgent::DeviceAgent(Engine* engine, const IDeviceDescription* deviceDescription)
    : m_engine(shareToPtr(engine))
    , m_url(QString::fromUtf8(textOrEmpty(deviceDescription->url())))
    , m_credentials(textOrEmpty(deviceDescription->login()), textOrEmpty(deviceDescription->password()))
    , m_channel(deviceDescription->channel())
    , m_neededEventTypeFlags(engine->engineManifest().eventTypes.size())
{
    m_monitor = std::make_unique<MetadataMonitor>(this);
    m_capabilitiesProvider = std::make_unique<DeviceCapabilitiesProvider>(this);
    VN_LOG(5, this, "Created for %1 %2, url: %3", textOrEmpty(deviceDescription->vendor()),
           textOrEmpty(deviceDescription->model()), urlLogText(m_url));
}

DeviceAgent::~DeviceAgent()
{
    VN_LOG(5, this, "Destroyed");
    m_capabilitiesProvider.reset();
    m_monitor.reset();
}

void DeviceAgent::applySettings(Result<const IOptionMap*>* /*outResult*/, const IOptionMap* /*settings*/) {}

void DeviceAgent::getManifest(Result<const IString*>* outResult) const
{
    translateExceptions(outResult,
                        [&]() -> Result<const IString*> { return new String(makeManifest().toStdString()); });
}

QByteArray DeviceAgent::makeManifest() const
{
    const std::lock_guard<std::mutex> lock(m_manifestMutex);
    if (m_manifest)
        return *m_manifest;

    Result<const IString*> engineManifest;
    m_engine->getManifest(&engineManifest);
    if (!VN_ASSERT(engineManifest.isOk()))
        throw std::logic_error("Engine manifest is null");
    const Ptr<const IString> text = toPtr(engineManifest.value);
    const QByteArray engineText(text && text->text() ? text->text() : "");
    m_manifest = narrowDeviceAgentManifest(engineText, m_capabilitiesProvider->supportedEventTypes());
    return *m_manifest;
}

void DeviceAgent::attachReceiver(IMetadataReceiver* receiver)
{
    replaceGuarded(m_receiverMutex, &m_handler, receiver);
}

Ptr<IMetadataReceiver> DeviceAgent::handler() const
{
    return copyGuarded(m_receiverMutex, m_handler);
}

void DeviceAgent::selectMetadataTypes(Result<void>* outResult, const IMetadataTypeSelection* selection)
{
    translateExceptions(outResult, [&] { updateNeededTypes(selection); });
}

void DeviceAgent::updateNeededTypes(const IMetadataTypeSelection* selection)
{
    const std::lock_guard<std::mutex> selectionLock(m_selectionMutex);
    m_monitor->cancelPendingOperations();

    std::set<QString> eventTypes;
    std::set<QString> objectTypes;
    if (selection) {
        const auto fromLatin1 = [](const char* text) { return QString::fromLatin1(text); };
        eventTypes = takeTextSet(selection->eventTypeIdList(), fromLatin1);
        objectTypes = takeTextSet(selection->objectTypeIdList(), fromLatin1);
    }
    bool anyNeeded = false;
    {
        const std::lock_guard<std::mutex> lock(m_neededTypesMutex);
        m_neededEventTypes = std::move(eventTypes);
        m_neededObjectTypes = std::move(objectTypes);
        const std::vector<EventType>& manifestTypes = m_engine->engineManifest().eventTypes;
        for (std::size_t i = 0; i < manifestTypes.size(); ++i) {
            m_neededEventTypeFlags[i].store(m_neededEventTypes.count(manifestTypes[i].id) != 0,
                                            std::memory_order_release);
        }
        anyNeeded = !m_neededEventTypes.empty() || !m_neededObjectTypes.empty();
    }
    if (anyNeeded)
        m_monitor->startMonitoring();
    else
        m_monitor->stopMonitoring();
}

void DeviceAgent::consumeDataPacket(Result<void>* /*outResult*/, IDataPacket* dataPacket)
{
    if (!dataPacket)
        return;
    const auto video = queryInterface<ICompressedVideoPacket>(dataPacket);
    if (!video)
        return;
    m_monitor->processVideoFrame(reinterpret_cast<const uint8_t*>(video->data()), video->dataSize());
}

std::unique_ptr<vorn::network::http::AsyncClient> DeviceAgent::makeHttpClient() const
{
    // Plain HTTP (lapiUrl() sets the scheme): there is no certificate to check.
    auto client = std::make_unique<vorn::network::http::AsyncClient>();
    client->setCredentials(m_credentials);
    client->setTimeouts({kLapiRequestTimeout, kLapiRequestTimeout, kLapiRequestTimeout});
    client->addAdditionalHeader("Connection", "close");
    return client;
}

vorn::utils::Url DeviceAgent::lapiUrl(const QString& relativePath) const
{
    return makeLapiUrl(m_url, relativePath);
}

int64_t DeviceAgent::serverTimeUs() const
{
    return m_engine->serverTimeMs() * 1000;
}

bool DeviceAgent::isEventTypeNeeded(const EventType& eventType) const
{
    const std::optional<std::size_t> index = m_engine->eventTypeIndex(eventType);
    return index && m_neededEventTypeFlags[*index].load(std::memory_order_acquire);
}

bool DeviceAgent::isAnyTypeNeeded() const
{
    const std::lock_guard<std::mutex> lock(m_neededTypesMutex);
    return !m_neededEventTypes.empty() || !m_neededObjectTypes.empty();
}

QString DeviceAgent::deviceUrlText() const
{
    return urlLogText(m_url, QUrl::RemoveScheme | QUrl::RemovePath);
}

} // namespace vorn::vms_server_plugins::analytics::uniview
