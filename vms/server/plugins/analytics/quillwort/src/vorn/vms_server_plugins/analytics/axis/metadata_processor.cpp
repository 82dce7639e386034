#include "metadata_processor.h"

#include <algorithm>
#include <cstring>

#include <vorn/log_support/log.h>
#include <vorn/log_support/peer_text.h>
#include <vorn/network/http/http_client.h>
#include <vorn/sdk/analytics/helpers/text_list.h>

#include "camera_client.h"
#include "camera_discovery.h"
#include "default_notification_processor.h"
#include "device_agent.h"
#include "filtering_notification_processor.h"
#include "lpr_notification_processor.h"
#include "multiprofile_notification_processor.h"
#include "xml_search.h"

namespace vorn::vms_server_plugins::analytics::axis {

using vorn::log_support::PeerText;

using namespace vorn::network;
using namespace vorn::sdk;
using namespace vorn::sdk::analytics;

namespace {

// Notifications take a few KiB; a rare larger packet gives its buffer back rather than keep it for the
// device agent's life.
constexpr std::size_t kMaxKeptPacketTextBytes = 64 * 1024;

// Whether the attribute's text is `expected`; the state item's name, on every notification, is compared
// without a decoded copy when it is ASCII, as names are.
bool isNamed(const XmlAttribute* attribute, const QString& expected)
{
    const std::string_view text(attribute->value(), attribute->value_size());
    if (std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        return expected == QLatin1String(text.data(), static_cast<int>(text.size()));
    return expected == valueText(attribute);
}

struct ParsedMessage
{
    std::optional<Notification> notification;
    const char* failure = nullptr; //< why the message gave no notification, when it is worth a line
};

ParsedMessage parseNotificationMessage(const XmlNode* message, int64_t timestampUs,
                                       const MetadataProcessor::StateNames& stateNames)
{
    const XmlNode* topic = findDescendant(message, "wsnt:Topic");
    if (!topic)
        return {std::nullopt, "Notification has no topic"};
    const XmlNode* messageNode = findDescendant(message, "tt:Message");
    if (!messageNode)
        return {std::nullopt, "Notification has no message node"};
    if (const XmlAttribute* operation = findAttribute(messageNode, "PropertyOperation");
        operation && std::string_view(operation->value(), operation->value_size()) == "Initialized") {
        return {}; // The camera's report of the current state when the stream starts: no event.
    }
    const XmlNode* data = findDescendant(messageNode, "tt:Data");
    if (!data)
        return {std::nullopt, "Notification has no data node"};

    Notification notification;
    notification.timestamp = timestampUs;
    notification.topic = valueText(topic);
    const auto stateName = stateNames.find(notification.topic);
    for (const XmlNode* item = findDescendant(data, "tt:SimpleItem"); item; item = item->next_sibling()) {
        const XmlAttribute* name = findAttribute(item, "Name");
        const XmlAttribute* value = name ? findAttribute(item, "Value") : nullptr;
        if (!value)
            continue;
        if (stateName != stateNames.end() && isNamed(name, stateName->second)) {
            const std::string_view itemValue(value->value(), value->value_size());
            notification.state = itemValue == "true" || itemValue == "1";
        } else {
            notification.attributes.insert_or_assign(valueText(name), valueText(value));
        }
    }
    return {std::move(notification), nullptr};
}

} // namespace

MetadataProcessor::MetadataProcessor(DeviceAgent* deviceAgent)
    : m_deviceAgent(deviceAgent)
{
    m_coordinateDomain = fetchCoordinateDomain();
    VN_LOG(6, this, "Coordinate domain: %1", toString(m_coordinateDomain));

    std::vector<NotificationType> types = fetchNotificationTypes();
    VN_LOG(6, this, "Notification types:\n%1", toString(types));

    // Before any processor claims a topic, so that claimed topics keep their state items.
    collectStateNames(types);

    m_processors.push_back(std::make_unique<FilteringNotificationProcessor>(this, types));
    m_processors.push_back(std::make_unique<LprNotificationProcessor>(this, types));
    m_processors.push_back(std::make_unique<MultiprofileNotificationProcessor>(this, types));
    m_processors.push_back(std::make_unique<DefaultNotificationProcessor>(this, types));

    VN_LOG(6, this, "Event types:\n%1", toString(eventTypes(), QStringLiteral("  ")));
    VN_LOG(6, this, "Object types:\n%1", toString(objectTypes(), QStringLiteral("  ")));
}

MetadataProcessor::~MetadataProcessor()
{
    // The processors go in chain order.
    for (auto& processor : m_processors)
        processor.reset();
}

QString MetadataProcessor::deviceAgentTag() const
{
    return m_deviceAgent ? m_deviceAgent->logTag() : QString();
}

void MetadataProcessor::collectStateNames(const std::vector<NotificationType>& types)
{
    for (const NotificationType& type : types) {
        if (type.stateName)
            m_stateNames[type.topic] = *type.stateName;
        collectStateNames(type.children);
    }
}

std::vector<EventType> MetadataProcessor::eventTypes() const
{
    std::vector<EventType> result;
    for (const auto& processor : m_processors) {
        auto types = processor->eventTypes();
        result.insert(result.end(), types.begin(), types.end());
    }
    return result;
}

std::vector<ObjectType> MetadataProcessor::objectTypes() const
{
    std::vector<ObjectType> result;
    for (const auto& processor : m_processors) {
        auto types = processor->objectTypes();
        result.insert(result.end(), types.begin(), types.end());
    }
    return result;
}

void MetadataProcessor::setNeededTypes(const IMetadataTypeSelection* selection)
{
    std::set<QString> eventTypeIds;
    std::set<QString> objectTypeIds;
    if (selection) {
        const auto fromUtf8 = [](const char* text) { return QString::fromUtf8(text); };
        eventTypeIds = takeTextSet(selection->eventTypeIdList(), fromUtf8);
        objectTypeIds = takeTextSet(selection->objectTypeIdList(), fromUtf8);
    }
    for (const auto& processor : m_processors)
        processor->setNeededTypes(eventTypeIds, objectTypeIds);
}

void MetadataProcessor::processMetadataPacket(const Ptr<ICustomMetadataPacket>& packet)
{
    const char* codec = packet->codec();
    if (!codec || std::strcmp(codec, kOnvifMetadataCodec) != 0) {
        VN_LOG(5, this, "Unexpected metadata codec: %1", codec ? codec : "");
        return;
    }
    const char* data = packet->data();
    const int32_t size = packet->dataSize();
    if (!data || size < 0) {
        VN_LOG(5, this, "Dropped metadata packet without data or with a negative size (%1)", size);
        return;
    }

    // A copy, zero-terminated, for the parser to work in: in the kept buffer when it is free.
    std::unique_lock keptTextLock(m_packetTextMutex, std::try_to_lock);
    std::string ownText;
    std::string& text = keptTextLock.owns_lock() ? m_packetText : ownText;
    text.assign(data, static_cast<std::size_t>(size));
    VN_LOG(6, this, "Received raw metadata: %1", PeerText(text));

    // Parsed in a call of its own, so that its document (and the stack it takes) is gone before the
    // processors run, some of which parse the camera's replies too.
    const Notifications notifications = parseNotificationPacket(&text, packet->timestampUs(), m_stateNames, this);
    if (keptTextLock.owns_lock()) {
        if (m_packetText.capacity() > kMaxKeptPacketTextBytes)
            std::string().swap(m_packetText);
        keptTextLock.unlock(); // The processors below may hand a packet back in from the receiver.
    }
    for (const Notification& notification : notifications) {
        VN_LOG(6, this, "Received notification:\n%1", toString(notification));
        for (const auto& processor : m_processors) {
            if (processor->processNotification(notification))
                break;
        }
    }
}

MetadataProcessor::Notifications MetadataProcessor::parseNotificationPacket(std::string* text, int64_t timestampUs,
                                                                            const StateNames& stateNames,
                                                                            const MetadataProcessor* logTagOwner)
{
    Notifications notifications;
    XmlDocument document; //< its first 64 KiB of nodes come from a pool on the stack
    if (const std::optional<QString> error = parseCameraXml(text, &document)) {
        VN_LOG(5, logTagOwner, "Couldn't parse metadata XML: %1", *error);
        return notifications;
    }

    // Every message of the packet, in document order: a camera may batch several into one packet.
    for (const XmlNode* message = findDescendant(&document, "wsnt:NotificationMessage"); message;
         message = findNextDescendant(&document, message, "wsnt:NotificationMessage")) {
        ParsedMessage parsed = parseNotificationMessage(message, timestampUs, stateNames);
        if (parsed.failure)
            VN_LOG(5, logTagOwner, parsed.failure);
        if (parsed.notification)
            notifications.push_back(std::move(*parsed.notification));
    }
    return notifications;
}

std::optional<QByteArray> MetadataProcessor::getImageSize()
{
    const auto deviceInfo = m_deviceAgent->deviceInfo();
    vorn::utils::Url url(deviceInfo->url());
    url.setPath(QString::fromLatin1(kImageSizePath));
    url.setQuery(QStringLiteral("camera=%1").arg(static_cast<int64_t>(deviceInfo->channel()) + 1));

    http::HttpClient client = makeCameraClient(*deviceInfo);
    return fetchCameraReply(&client, url, vorn::utils::log::Tag(vorn::log_support::objectLogTag(this)));
}

CoordinateDomain MetadataProcessor::fetchCoordinateDomain()
{
    const std::optional<QByteArray> body = getImageSize();
    if (!body) {
        VN_LOG(5, this, "Couldn't fetch coordinate domain");
        return {};
    }
    VN_LOG(6, this, "Unparsed coordinate domain:\n%1", PeerText(body->trimmed()));
    return parseCoordinateDomain(*body);
}

std::optional<std::string> MetadataProcessor::getEventInstances()
{
    const auto deviceInfo = m_deviceAgent->deviceInfo();
    vorn::utils::Url url(deviceInfo->url());
    url.setPath(QString::fromLatin1(kEventServicePath));

    http::HttpClient client = makeCameraClient(*deviceInfo);
    const std::optional<QByteArray> body =
        fetchCameraReply(&client, url, eventInstancesContentType(), eventInstancesRequestBody(),
                         vorn::utils::log::Tag(vorn::log_support::objectLogTag(this)));
    if (!body)
        return std::nullopt;
    return body->toStdString();
}

std::vector<NotificationType> MetadataProcessor::fetchNotificationTypes()
{
    std::optional<std::string> body = getEventInstances();
    if (!body) {
        VN_LOG(5, this, "Couldn't fetch notification types");
        return {};
    }
    VN_LOG(6, this, "Unparsed notification types:\n%1", PeerText(*body));
    CatalogueReadResult catalogue = parseNotificationTypes(&*body);
    if (catalogue.parseError) {
        VN_LOG(5, this, "Couldn't parse notification types XML: %1", *catalogue.parseError);
        return {};
    }
    return std::move(catalogue.types);
}

} // namespace vorn::vms_server_plugins::analytics::axis
