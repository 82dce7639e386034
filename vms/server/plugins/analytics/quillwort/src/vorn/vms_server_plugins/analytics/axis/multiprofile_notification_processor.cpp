#include "multiprofile_notification_processor.h"

#include <algorithm>

#include "notifications.h"

namespace vorn::vms_server_plugins::analytics::axis {

namespace {

const QString kAnyProfileSuffix = QStringLiteral("ANY");

bool isMultiprofileParent(const NotificationType& type)
{
    return std::any_of(type.children.begin(), type.children.end(),
                       [](const NotificationType& child) { return child.topic.endsWith(kAnyProfileSuffix); });
}

std::size_t countMultiprofileParents(const std::vector<NotificationType>& types)
{
    std::size_t count = 0;
    for (const NotificationType& type : types) {
        if (type.children.empty())
            continue;
        count += isMultiprofileParent(type) ? 1 : countMultiprofileParents(type.children);
    }
    return count;
}

QString displayName(const NotificationType& type)
{
    return type.niceName ? *type.niceName : normalizeTopic(type.topic);
}

// "VMD: Profile 1" gives "Profile 1"; a name without ": " is the profile as a whole.
QString profileOf(const QString& name)
{
    const int separator = name.indexOf(QStringLiteral(": "));
    return (separator < 0 ? name : name.mid(separator + 2)).trimmed();
}

} // namespace

MultiprofileNotificationProcessor::MultiprofileNotificationProcessor(MetadataProcessor* metadataProcessor,
                                                                     std::vector<NotificationType>& types)
    : NotificationProcessor(metadataProcessor)
{
    m_eventTypes.reserve(countMultiprofileParents(types));
    collectMultiprofileTypes(types);
}

void MultiprofileNotificationProcessor::collectMultiprofileTypes(std::vector<NotificationType>& types)
{
    for (auto it = types.begin(); it != types.end();) {
        if (it->children.empty()) {
            ++it;
            continue;
        }
        if (!isMultiprofileParent(*it)) {
            collectMultiprofileTypes(it->children);
            it = it->children.empty() ? types.erase(it) : it + 1;
            continue;
        }

        EventTypeInfo& eventType = m_eventTypes.emplace_back();
        eventType.id = makeEventTypeId(*it);
        eventType.name = displayName(*it);
        for (const NotificationType& child : it->children) {
            const bool isAnyProfile = child.topic.endsWith(kAnyProfileSuffix);
            if (isAnyProfile)
                eventType.isProlonged = child.stateName.has_value();
            m_topics[child.topic] = TopicInfo{isAnyProfile ? nullptr : &eventType, profileOf(displayName(child))};
        }
        it = types.erase(it);
    }
}

std::vector<EventType> MultiprofileNotificationProcessor::eventTypes() const
{
    std::vector<EventType> result;
    std::set<QString> listed;
    for (const EventTypeInfo& eventType : m_eventTypes) {
        if (listed.insert(eventType.id).second)
            result.push_back({eventType.id, eventType.name, eventType.isProlonged});
    }
    return result;
}

void MultiprofileNotificationProcessor::setNeededTypes(std::set<QString>& eventTypeIds, std::set<QString>&)
{
    // Every parent with a selected id is needed, also a second one sharing the id, before the ids leave
    // the set for the later processors.
    for (EventTypeInfo& eventType : m_eventTypes)
        eventType.isNeeded.set(eventTypeIds.contains(eventType.id));
    for (const EventTypeInfo& eventType : m_eventTypes)
        eventTypeIds.erase(eventType.id);
}

bool MultiprofileNotificationProcessor::processNotification(const Notification& notification)
{
    const auto it = m_topics.find(notification.topic);
    if (it == m_topics.end())
        return false;
    const TopicInfo& topic = it->second;
    if (!topic.eventType || !topic.eventType->isNeeded.get())
        return true;

    Event event;
    event.timestamp = notification.timestamp;
    event.typeId = topic.eventType->id;
    event.key = notification.topic;
    event.description = topic.profile;
    event.isActive = notification.state;
    emitEvent(event);
    return true;
}

} // namespace vorn::vms_server_plugins::analytics::axis
