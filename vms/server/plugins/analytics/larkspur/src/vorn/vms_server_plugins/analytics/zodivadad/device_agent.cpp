#include "device_agent.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <string_view>
#include <utility>

#include <QtCore/QDateTime>

#include <vorn/kit/from_string.h>
#include <vorn/log_support/assert.h>
#include <vorn/log_support/log.h>
#include <vorn/network/http/credentials.h>
#include <vorn/network/socket_address.h>
#include <vorn/sdk/analytics/helpers/text_list.h>
#include <vorn/sdk/analytics/i_data_packet.h>
#include <vorn/sdk/helpers/attribute.h>
#include <vorn/sdk/helpers/guarded_ptr.h>
#include <vorn/sdk/helpers/string.h>

#include "camera_settings.h"
#include "device_agent_manifest.h"
#include "engine.h"
#include "json_to_int.h"
#include "vca_command.h"

namespace vorn::vms_server_plugins::analytics::zodivadad {

using namespace vorn::sdk;
using namespace vorn::sdk::analytics;
using Json = vorn::kit::detail::json11::Json;

namespace {

// A port setting outside this range would either be cut to 16 bits into some other port or name no
// port at all; it is refused and the channel keeps the port it has.
constexpr int kMinPort = 1;
constexpr int kMaxPort = 65535;

std::optional<uint16_t> parsePort(const char* text)
{
    int port = 0;
    if (!vorn::kit::utils::fromString(textOrEmpty(text), &port) || port < kMinPort || port > kMaxPort)
        return std::nullopt;
    return static_cast<uint16_t>(port);
}

bool isHandledCommand(uint16_t command)
{
    switch (command) {
    case kVcaCount:
    case kVcaAlarm:
    case kRegionalCount:
    case kFace:
    case kBasicAlarm:
        return true;
    default:
        return false;
    }
}

// What a member that the item lacks reads as.
const Json kNullJson;

bool isStateDependent(const EventType& eventType)
{
    return eventType.flags.testFlag(vorn::vms::api::analytics::EventTypeFlag::stateDependent);
}

} // namespace

DeviceAgent::DeviceAgent(Ptr<Engine> engine, const IDeviceDescription* deviceDescription,
                         const EngineManifest& engineManifest, const ChannelFactory& channelFactory)
    : m_engine(std::move(engine))
    , m_cameraUrl(deviceDescription ? deviceDescription->url() : nullptr)
{
    VN_ASSERT(deviceDescription);
    VN_ASSERT(m_engine);
    m_neededEventTypeFlags = std::vector<std::atomic<bool>>(m_engine ? m_engine->manifest().eventTypes.size() : 0);
    if (deviceDescription) {
        m_cameraAuth.setUser(QString::fromUtf8(textOrEmpty(deviceDescription->login())));
        m_cameraAuth.setPassword(QString::fromUtf8(textOrEmpty(deviceDescription->password())));
    }

    const CameraSettings systemInformation =
        getSystemInformation(m_cameraUrl, vorn::network::http::Credentials(m_cameraAuth));
    const auto lprSupport = systemInformation.find(QString::fromLatin1(kLprSupportKey));
    m_lprSupported = lprSupport != systemInformation.end() && lprSupport->second.toInt() != 0;

    std::optional<QByteArray> engineManifestText;
    if (m_engine) {
        Result<const IString*> result;
        m_engine->getManifest(&result);
        const Ptr<const IString> text = toPtr(result.value);
        const Ptr<const IString> message = toPtr(result.error.errorMessage);
        // A guard, not a plain assertion: a reporter that answers "carry on" must not lead to reading a
        // text that is not there. Without a manifest every event type is offered.
        if (result.isOk() && text) {
            engineManifestText = QByteArray(text->text());
        } else {
            log_support::reportAssertionFailure(false, __FILE__, __LINE__, "engineManifest.isOk()", vorn::Formatter());
        }
    }
    m_manifestJson = buildDeviceAgentManifest(engineManifestText, engineManifest, m_lprSupported);

    createMonitors(channelFactory);

    VN_LOG(6, this, "Zodivadad DeviceAgent created for %1 (%2)",
           textOrEmpty(deviceDescription ? deviceDescription->model() : nullptr), m_lprSupported ? "LPR" : "non-LPR");
}

DeviceAgent::~DeviceAgent()
{
    {
        const std::lock_guard lock(m_channelControlMutex);
        stopFetchingMetadata();
    }
    replaceGuarded(m_receiverMutex, &m_receiver, nullptr);
}

void DeviceAgent::createMonitors(const ChannelFactory& channelFactory)
{
    const vorn::network::HostAddress host(m_cameraUrl.host());
    if (m_lprSupported) {
        if (auto monitor = channelFactory.createLprMonitor(this)) {
            monitor->setAddress(vorn::network::SocketAddress(host, kLprDefaultPort));
            m_monitors.push_back(std::move(monitor));
        }
        return;
    }

    if (auto monitor = channelFactory.createVcaMonitor(this)) {
        monitor->setAddress(vorn::network::SocketAddress(host, kVcaDefaultPort));
        m_monitors.push_back(std::move(monitor));
    }
    m_rtpMonitor = channelFactory.createRtpMetadataMonitor(this);
}

void DeviceAgent::applySettings(Result<const IOptionMap*>* outResult, const IOptionMap* settings)
{
    // No per-setting errors: the server's record must not be left as it was handed in.
    *outResult = Result<const IOptionMap*>();
    if (!settings)
        return;

    const std::lock_guard lock(m_channelControlMutex);
    for (const auto& monitor : m_monitors) {
        const std::string key = monitor->portSettingName();
        const char* const value = settings->valueOf(key.c_str());
        if (!value)
            continue;

        const std::optional<uint16_t> port = parsePort(value);
        if (!port) {
            VN_LOG(5, this, "Ignoring %1 '%2': not a port number in %3..%4", key, value, kMinPort, kMaxPort);
            continue;
        }

        vorn::network::SocketAddress address = monitor->address();
        if (address.port == *port)
            continue;

        VN_LOG(5, this, "Port %1 changed %2 -> %3", key, address.port, *port);
        address.port = *port;
        monitor->setAddress(address);
        if (monitor->isStarted()) {
            monitor->stop();
            monitor->start();
        }
    }
}

void DeviceAgent::getManifest(Result<const IString*>* outResult) const
{
    *outResult = Result<const IString*>(new String(m_manifestJson.toStdString()));
}

void DeviceAgent::attachReceiver(IMetadataReceiver* receiver)
{
    replaceGuarded(m_receiverMutex, &m_receiver, receiver);
}

Ptr<IMetadataReceiver> DeviceAgent::handler() const
{
    return copyGuarded(m_receiverMutex, m_receiver);
}

void DeviceAgent::selectMetadataTypes(Result<void>* outResult, const IMetadataTypeSelection* selection)
{
    std::set<std::string> neededEventTypes;
    std::set<std::string> neededObjectTypes;
    if (selection) {
        for (std::string& id : takeTexts(selection->eventTypeIdList())) {
            if (internalSection(id))
                neededEventTypes.insert(std::move(id));
            else
                VN_LOG(5, this, "Unknown event type. TypeId = %1.", id);
        }
        neededObjectTypes = takeTextSet(selection->objectTypeIdList());
    }

    {
        const std::lock_guard lock(m_neededTypesMutex);
        m_neededEventTypes = neededEventTypes;
        m_neededObjectTypes = neededObjectTypes;
        if (m_engine) {
            const std::vector<EventType>& eventTypes = m_engine->manifest().eventTypes;
            for (std::size_t i = 0; i < eventTypes.size() && i < m_neededEventTypeFlags.size(); ++i) {
                const bool needed = neededEventTypes.count(m_engine->eventTypeLookups(eventTypes[i]).id) > 0;
                m_neededEventTypeFlags[i].store(needed, std::memory_order_relaxed);
            }
        }
    }

    {
        const std::lock_guard lock(m_channelControlMutex);
        stopFetchingMetadata();
        startFetchingMetadata();
    }
    *outResult = Result<void>();
}

void DeviceAgent::stopFetchingMetadata()
{
    VN_LOG(6, this, "Stop fetching metadata");
    for (const auto& monitor : m_monitors)
        monitor->stop();
}

void DeviceAgent::startFetchingMetadata()
{
    VN_LOG(6, this, "Start fetching metadata");
    std::set<std::string> neededEventTypes;
    std::set<std::string> neededObjectTypes;
    {
        const std::lock_guard lock(m_neededTypesMutex);
        neededEventTypes = m_neededEventTypes;
        neededObjectTypes = m_neededObjectTypes;
    }
    for (const auto& monitor : m_monitors) {
        if (monitor->setNeededTypes(neededEventTypes, neededObjectTypes))
            monitor->start();
    }
}

void DeviceAgent::consumeDataPacket(Result<void>* outResult, IDataPacket* dataPacket)
{
    // Nothing to report back: the server's record must not be left as it was handed in.
    *outResult = Result<void>();
    if (!m_rtpMonitor || !dataPacket)
        return;

    const auto packet = queryInterface<ICustomMetadataPacket>(dataPacket);
    if (!packet)
        return;
    const int32_t size = packet->dataSize();
    const char* const data = packet->data();
    if (size <= 0 || !data)
        return;

    const char* const codec = packet->codec();
    if (codec && std::strcmp(codec, kMetadataCodec) == 0)
        m_rtpMonitor->parseMetadata(data, size, packet->timestampUs());
    else
        m_rtpMonitor->ignorePacket(data, size, packet->timestampUs());
}

QString DeviceAgent::host() const
{
    return m_cameraUrl.host();
}

std::optional<std::string> DeviceAgent::internalSection(const std::string& eventTypeId) const
{
    return m_engine ? m_engine->internalSection(eventTypeId) : std::nullopt;
}

bool DeviceAgent::isEventTypeNeeded(const EventType& eventType) const
{
    const std::size_t position = m_engine->eventTypeLookups(eventType).position;
    return position < m_neededEventTypeFlags.size() && m_neededEventTypeFlags[position].load(std::memory_order_relaxed);
}

void DeviceAgent::pushMetadataPacket(const Ptr<IMetadataPacket>& packet)
{
    if (!VN_CHECK(packet))
        return;
    const Ptr<IMetadataReceiver> receiver = handler();
    if (!receiver) {
        // No receiver attached (yet, or any more): the packet is dropped.
        log_support::reportAssertionFailure(false, __FILE__, __LINE__, "handler()", vorn::Formatter());
        return;
    }
    receiver->receiveMetadata(packet.get());
}

void DeviceAgent::handleEvent(uint16_t command, const Json& event)
{
    if (!isHandledCommand(command)) {
        VN_LOG(5, this, "Not implemented handle of %1", command);
        return;
    }
    handleAlarm(event, command);
}

void DeviceAgent::handleAlarm(const Json& event, uint16_t command)
{
    const Json& eventValue = event["event"];
    const std::optional<int> eventNumber = jsonToInt(eventValue);
    const bool active = jsonToInt(event["alarm"]).value_or(1) != 0;

    const std::optional<std::string> section = sectionForCommand(command);
    if (!VN_CHECK(section))
        return;
    if (!m_engine)
        return;

    // A number outside the int range names no event of the camera's; the default 0 is for a missing or
    // unreadable member only, and would turn such a push into an event the camera never reported.
    if (eventValue.is_number() && !eventNumber) {
        VN_LOG(5, this, "No event type for section '%1' and event '%2'", *section, eventValue.dump());
        return;
    }
    const int eventId = eventNumber.value_or(0);
    const EventType* const eventType = m_engine->eventTypeBySection(*section, eventId);
    if (!eventType) {
        VN_LOG(5, this, "No event type for section '%1' and event '%2'", *section, eventId);
        return;
    }
    if (!isEventTypeNeeded(*eventType))
        return;
    // The end of a prolonged event is news; the "end" of an instant one is not.
    if (!active && !isStateDependent(*eventType))
        return;

    // Made as the receiver takes it, so that handing it on changes no reference count.
    const Ptr<IMetadataPacket> packetRef = makePtr<EventMetadataPacket>();
    auto* const packet = static_cast<EventMetadataPacket*>(packetRef.get());
    if (!eventType->subsectionWithArray.empty()) {
        const Json& items = event[eventType->subsectionWithArray];
        for (const Json& item : items.array_items()) {
            if (item.is_object())
                addItemEvents(packet, item, *eventType, active);
            else
                VN_LOG(5, this, "Unexpected non-object in alarm array");
        }
    } else {
        addItemEvents(packet, event, *eventType, active);
    }
    parseTimestamp(packet, event);

    VN_LOG(5, this, "Handle metadata alarm %1 active: %2", eventType->name, active);
    pushMetadataPacket(packetRef);
}

void DeviceAgent::addItemEvents(EventMetadataPacket* packet, const Json& item, const EventType& eventType, bool active)
{
    const std::vector<std::string> masks = descriptionMaskItems(item, eventType);
    if (masks.empty()) {
        std::optional<std::string> numericDescription;
        if (!eventType.internalDescriptionNumericAttribute.empty()) {
            if (const auto value = jsonToInt(item[eventType.internalDescriptionNumericAttribute]))
                numericDescription = "#" + std::to_string(*value);
        }
        packet->addItem(makeEventMetadata(eventType, numericDescription, std::nullopt, item, active));
        return;
    }
    for (const std::string& mask : masks)
        packet->addItem(makeEventMetadata(eventType, std::nullopt, mask, item, active));
}

std::vector<std::string> descriptionMaskItems(const Json& item, const EventType& eventType)
{
    if (eventType.internalDescriptionMaskAttribute.empty())
        return {};
    const std::optional<int> value = jsonToInt(item[eventType.internalDescriptionMaskAttribute]);
    if (!value || *value == 0)
        return {};

    // The camera's mask is 32 bits wide; a negative value is its top bit, not 32 more set bits.
    std::vector<std::string> items;
    auto bits = static_cast<uint32_t>(*value);
    for (int bit = 1; bits != 0; ++bit, bits >>= 1) {
        if (bits & 1U)
            items.push_back("#" + std::to_string(bit));
    }
    return items;
}

Ptr<EventMetadata> DeviceAgent::makeEventMetadata(const EventType& eventType,
                                                  const std::optional<std::string>& numericDescription,
                                                  const std::optional<std::string>& maskDescription, const Json& item,
                                                  bool active)
{
    auto eventMetadata = makePtr<EventMetadata>();
    const Engine::EventTypeLookups& lookups = m_engine->eventTypeLookups(eventType);

    // Built on the stack (the event copies it; a name too long for the room goes to the heap): the name,
    // each description after a space, the state word.
    constexpr std::string_view kStarted = " started";
    constexpr std::string_view kStopped = " stopped";
    const std::string_view stateWord = isStateDependent(eventType) ? (active ? kStarted : kStopped) : "";
    const std::size_t size = lookups.name.size() + (numericDescription ? numericDescription->size() + 1 : 0) +
                             (maskDescription ? maskDescription->size() + 1 : 0) + stateWord.size();
    std::array<char, 256> room;
    std::string longDescription;
    char* const description =
        size <= room.size() ? room.data() : (longDescription.resize(size), longDescription.data());
    char* end = description;
    const auto append = [&end](std::string_view text) { end = std::copy(text.begin(), text.end(), end); };
    append(lookups.name);
    if (numericDescription) {
        append(" ");
        append(*numericDescription);
    }
    if (maskDescription) {
        append(" ");
        append(*maskDescription);
    }
    append(stateWord);

    addNumericAttributes(eventMetadata.get(), item, eventType);
    eventMetadata->setTypeId(lookups.id);
    eventMetadata->setDescription(std::string_view(description, static_cast<std::size_t>(end - description)));
    eventMetadata->setIsActive(active);
    eventMetadata->setConfidence(1.0F);
    return eventMetadata;
}

void DeviceAgent::addNumericAttributes(EventMetadata* eventMetadata, const Json& item, const EventType& eventType)
{
    const std::vector<std::string>& names = eventType.internalNumericAttributes;
    const Engine::EventTypeLookups& lookups = m_engine->eventTypeLookups(eventType);

    // When an event type names more members than the camera's item holds (a face names eight, a face
    // item holds two or three), each member of the item is looked up among the names rather than each
    // name among the members. Beyond this many names the plain lookup per name serves.
    constexpr std::size_t kMaxMatchedNames = 32;
    std::array<const Json*, kMaxMatchedNames> matched;
    const bool isMatched = names.size() <= kMaxMatchedNames && lookups.numericAttributeOrder.size() == names.size() &&
                           item.object_items().size() < names.size();
    if (isMatched) {
        std::fill_n(matched.begin(), names.size(), nullptr);
        const std::vector<std::size_t>& order = lookups.numericAttributeOrder;
        const auto nameBefore = [&names](std::size_t position, const std::string& key) {
            return names[position] < key;
        };
        for (const auto& [key, value] : item.object_items()) {
            for (auto it = std::lower_bound(order.begin(), order.end(), key, nameBefore);
                 it != order.end() && names[*it] == key; ++it) {
                matched[*it] = &value;
            }
        }
    }

    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string& name = names[i];
        const Json& value = isMatched ? (matched[i] ? *matched[i] : kNullJson) : item[name];
        if (value.is_null()) {
            VN_LOG(5, this, "Warning: no expected attr: %1 in event %2", name, eventType.name);
            continue;
        }
        const int index = jsonToInt(value).value_or(0);
        const NumericAttribute* const attribute =
            i < lookups.numericAttributes.size() ? lookups.numericAttributes[i] : nullptr;
        if (!attribute)
            continue;

        const bool named = index >= 0 && static_cast<std::size_t>(index) < attribute->values.size();
        // Made inside the event: the same attribute as one of its own, without an allocation.
        if (named) {
            eventMetadata->addAttribute(AttributeType::number, attribute->name,
                                        attribute->values[static_cast<std::size_t>(index)], 1.0F);
        } else {
            eventMetadata->addAttribute(AttributeType::number, attribute->name, std::to_string(index), 1.0F);
        }
    }
}

void DeviceAgent::parseTimestamp(EventMetadataPacket* packet, const Json& event) const
{
    const Json& time = event["time"];
    if (time.is_string()) {
        // A pushed frame is at most a few MiB, so the text fits a QString.
        const std::string& text = time.string_value();
        const QDateTime dateTime =
            QDateTime::fromString(QString::fromLatin1(text.data(), static_cast<int>(text.size())), Qt::ISODate);
        if (dateTime.isValid()) {
            packet->setTimestampUs(dateTime.toMSecsSinceEpoch() * 1000);
            packet->setFlags(packet->flags() | kTimestampFromDeviceFlag);
            return;
        }
    }
    packet->setTimestampUs(serverTimeUs());
}

int64_t DeviceAgent::serverTimeUs() const
{
    return m_engine->serverTimeMs() * 1000;
}

} // namespace vorn::vms_server_plugins::analytics::zodivadad
