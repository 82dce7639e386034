#include "default_notification_processor.h"

#include <algorithm>

#include "notifications.h"

namespace vorn::vms_server_plugins::analytics::axis {

DefaultNotificationProcessor::DefaultNotificationProcessor(MetadataProcessor* metadataProcessor,
                                                           std::vector<NotificationType>& types)
    : NotificationProcessor(metadataProcessor)
{
    collectDefaultTypes(types);
    types.clear();
}

void DefaultNotificationProcessor::collectDefaultTypes(const std::vector<NotificationType>& types)
{
    for (const NotificationType& type : types) {
        if (!type.children.empty()) {
            collectDefaultTypes(type.children);
            continue;
        }
        EventTypeInfo& info = m_eventTypes[type.topic];
        info.id = makeEventTypeId(type);
        info.idUtf8 = info.id.toStdString();
        info.name = type.niceName ? *type.niceName : normalizeTopic(type.topic);
        info.isProlonged = type.stateName.has_value();
        info.isNeeded.set(false);
    }
}

std::vector<EventType> DefaultNotificationProcessor::eventTypes() const
{
    std::vector<const std::pair<const QString, EventTypeInfo>*> inTopicOrder;
    inTopicOrder.reserve(m_eventTypes.size());
    for (const auto& entry : m_eventTypes)
        inTopicOrder.push_back(&entry);
    std::sort(inTopicOrder.begin(), inTopicOrder.end(),
              [](const auto* left, const auto* right) { return left->first < right->first; });

    std::vector<EventType> result;
    std::set<QString> listed;
    for (const auto* entry : inTopicOrder) {
        const EventTypeInfo& info = entry->second;
        if (listed.insert(info.id).second)
            result.push_back({info.id, info.name, info.isProlonged});
    }
    return result;
}

void DefaultNotificationProcessor::setNeededTypes(std::set<QString>& eventTypeIds, std::set<QString>&)
{
    // Every topic with a selected id is needed, also one that shares its id with another, before the ids
    // leave the set.
    for (auto& [topic, info] : m_eventTypes)
        info.isNeeded.set(eventTypeIds.contains(info.id));
    for (const auto& [topic, info] : m_eventTypes)
        eventTypeIds.erase(info.id);
}

bool DefaultNotificationProcessor::processNotification(const Notification& notification)
{
    const auto it = m_eventTypes.find(notification.topic);
    if (it == m_eventTypes.end() || !it->second.isNeeded.get())
        return true;

    Event event;
    event.timestamp = notification.timestamp;
    event.typeId = it->second.id;
    event.typeIdUtf8 = it->second.idUtf8;
    event.isActive = notification.state;
    emitEvent(event);
    return true;
}

} // namespace vorn::vms_server_plugins::analytics::axis
