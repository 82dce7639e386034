#include "notification_processor.h"

#include <utility>

#include <QtCore/QStringList>

#include <vorn/log_support/assert.h>
#include <vorn/log_support/log.h>
#include <vorn/log_support/peer_text.h>
#include <vorn/sdk/analytics/helpers/event_metadata.h>
#include <vorn/sdk/analytics/helpers/event_metadata_packet.h>
#include <vorn/sdk/analytics/helpers/object_metadata.h>
#include <vorn/sdk/analytics/helpers/object_metadata_packet.h>
#include <vorn/sdk/analytics/helpers/object_track_best_shot_packet.h>
#include <vorn/sdk/helpers/attribute.h>
#include <vorn/sdk/helpers/uuid.h>

#include "device_agent.h"
#include "metadata_processor.h"

namespace vorn::vms_server_plugins::analytics::axis {

using namespace vorn::sdk;
using namespace vorn::sdk::analytics;
using vorn::log_support::peerLogText;

namespace {

// Objects are sent once per notification; the server shows each for this long.
constexpr int64_t kObjectDurationUs = 200'000;

std::string utf8(const QString& text)
{
    return text.toStdString();
}

std::vector<Ptr<Attribute>> makeAttributes(const std::map<QString, QString>& attributes)
{
    std::vector<Ptr<Attribute>> result;
    result.reserve(attributes.size());
    for (const auto& [name, value] : attributes)
        result.push_back(makePtr<Attribute>(utf8(name), utf8(value), 1.0F));
    return result;
}

void appendAttributes(const std::map<QString, QString>& attributes, const QString& indent, QStringList* lines)
{
    if (attributes.empty())
        return;
    lines->append(QStringLiteral("%1attributes:").arg(indent));
    for (const auto& [name, value] : attributes)
        lines->append(QStringLiteral("%1  %2: %3").arg(indent, peerLogText(name), peerLogText(value)));
}

QString trackIdText(const Uuid& trackId)
{
    return QString::fromStdString(formatUuid(trackId, kUuidUpperCase | kUuidHyphens | kUuidBraces));
}

QString boolText(bool value)
{
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

} // namespace

NotificationProcessor::NotificationProcessor(MetadataProcessor* metadataProcessor)
    : m_metadataProcessor(metadataProcessor)
{}

NotificationProcessor::~NotificationProcessor() = default;

QString NotificationProcessor::logTagSuffix() const
{
    return m_metadataProcessor ? m_metadataProcessor->deviceAgentTag() : QString();
}

void NotificationProcessor::emitEvent(const Event& event)
{
    VN_LOG(6, this, "Emitting event:\n%1", dumpEvent(event, QStringLiteral("  ")));

    const auto packet = makePtr<EventMetadataPacket>();
    packet->setTimestampUs(event.timestamp);

    auto metadata = makePtr<EventMetadata>();
    metadata->setTypeId(event.typeIdUtf8.empty() ? utf8(event.typeId) : std::string(event.typeIdUtf8));
    if (event.trackId)
        metadata->setTrackId(*event.trackId);
    if (event.key)
        metadata->setKey(utf8(*event.key));
    if (event.description || event.isActive) {
        // The description, a blank and "started" or "stopped"; either part alone when the other is absent.
        std::string description = event.description ? utf8(*event.description) : std::string();
        if (event.isActive) {
            if (event.description)
                description += ' ';
            description += *event.isActive ? "started" : "stopped";
        }
        metadata->setDescription(description);
    }
    if (event.isActive)
        metadata->setIsActive(*event.isActive);
    for (auto& attribute : makeAttributes(event.attributes))
        metadata->addAttribute(std::move(attribute));
    packet->addItem(std::move(metadata));

    const Ptr<IMetadataReceiver> handler = m_metadataProcessor->deviceAgent()->handler();
    if (!VN_CHECK(handler))
        return;
    handler->receiveMetadata(packet.get());
}

void NotificationProcessor::emitObject(const Object& object)
{
    VN_LOG(6, this, "Emitting object:\n%1", dumpObject(object, QStringLiteral("  ")));

    const auto packet = makePtr<ObjectMetadataPacket>();
    packet->setTimestampUs(object.timestamp);
    packet->setDurationUs(kObjectDurationUs);

    auto metadata = makePtr<ObjectMetadata>();
    metadata->setTypeId(utf8(object.typeId));
    metadata->setTrackId(object.trackId);
    metadata->setBoundingBox(object.boundingBox);
    metadata->addAttributes(makeAttributes(object.attributes));
    packet->addItem(std::move(metadata));

    Ptr<ObjectTrackBestShotPacket> bestShot;
    if (object.bestShot) {
        bestShot = makePtr<ObjectTrackBestShotPacket>(Uuid(), -1, BoundingBox());
        bestShot->setTimestampUs(object.timestamp);
        bestShot->setTrackId(object.trackId);
        if (object.bestShot->imageUrl) {
            // The server fetches the image itself, so the URL keeps the camera's credentials.
            bestShot->setImageUrl(object.bestShot->imageUrl->toStdString(QUrl::None));
        } else {
            bestShot->setBoundingBox(object.boundingBox);
        }
    }

    const Ptr<IMetadataReceiver> handler = m_metadataProcessor->deviceAgent()->handler();
    if (!VN_CHECK(handler))
        return;
    handler->receiveMetadata(packet.get());
    if (bestShot)
        handler->receiveMetadata(bestShot.get());
}

QString dumpEvent(const Event& event, const QString& indent)
{
    QStringList lines;
    lines.append(QStringLiteral("%1timestamp: %2").arg(indent, timestampText(event.timestamp)));
    lines.append(QStringLiteral("%1typeId: %2").arg(indent, event.typeId));
    if (event.trackId)
        lines.append(QStringLiteral("%1trackId: %2").arg(indent, trackIdText(*event.trackId)));
    if (event.key)
        lines.append(QStringLiteral("%1key: %2").arg(indent, peerLogText(*event.key)));
    if (event.description)
        lines.append(QStringLiteral("%1description: %2").arg(indent, peerLogText(*event.description)));
    if (event.isActive)
        lines.append(QStringLiteral("%1isActive: %2").arg(indent, boolText(*event.isActive)));
    appendAttributes(event.attributes, indent, &lines);
    return lines.join(QLatin1Char('\n'));
}

QString dumpObject(const Object& object, const QString& indent)
{
    using vorn::log_support::toLogText;
    QStringList lines;
    lines.append(QStringLiteral("%1timestamp: %2").arg(indent, timestampText(object.timestamp)));
    lines.append(QStringLiteral("%1typeId: %2").arg(indent, object.typeId));
    lines.append(QStringLiteral("%1trackId: %2").arg(indent, trackIdText(object.trackId)));
    lines.append(QStringLiteral("%1boundingBox:").arg(indent));
    lines.append(QStringLiteral("%1  x: %2").arg(indent, toLogText(object.boundingBox.x)));
    lines.append(QStringLiteral("%1  y: %2").arg(indent, toLogText(object.boundingBox.y)));
    lines.append(QStringLiteral("%1  w: %2").arg(indent, toLogText(object.boundingBox.width)));
    lines.append(QStringLiteral("%1  h: %2").arg(indent, toLogText(object.boundingBox.height)));
    appendAttributes(object.attributes, indent, &lines);
    if (object.bestShot) {
        lines.append(QStringLiteral("%1bestShot:").arg(indent));
        // The log shows the URL without its password; only the packet carries it.
        lines.append(QStringLiteral("%1  imageUrl: %2")
                         .arg(indent, object.bestShot->imageUrl ? object.bestShot->imageUrl->toString()
                                                                : QStringLiteral("none")));
    }
    return lines.join(QLatin1Char('\n'));
}

QString toString(const std::vector<EventType>& types, const QString& indent)
{
    QStringList lines;
    for (const EventType& type : types) {
        lines.append(QStringLiteral("%1- id: %2").arg(indent, type.id));
        lines.append(QStringLiteral("%1  name: %2").arg(indent, type.name));
        lines.append(QStringLiteral("%1  isProlonged: %2").arg(indent, boolText(type.isProlonged)));
    }
    return lines.join(QLatin1Char('\n'));
}

QString toString(const std::vector<ObjectType>& types, const QString& indent)
{
    QStringList lines;
    for (const ObjectType& type : types) {
        lines.append(QStringLiteral("%1- baseId: %2").arg(indent, type.baseId));
        lines.append(QStringLiteral("%1  id: %2").arg(indent, type.id));
        if (!type.inheritedAttributeNames.empty()) {
            lines.append(QStringLiteral("%1  inheritedAttributeNames:").arg(indent));
            for (const QString& name : type.inheritedAttributeNames)
                lines.append(QStringLiteral("%1  - %2").arg(indent, name));
        }
    }
    return lines.join(QLatin1Char('\n'));
}

} // namespace vorn::vms_server_plugins::analytics::axis
