#include "filtering_notification_processor.h"

#include <algorithm>

#include <QtCore/QStringList>

namespace vorn::vms_server_plugins::analytics::axis {

namespace {

QString firstPart(const QString& topic)
{
    return topic.section(QLatin1Char('/'), 0, 0);
}

QString lastPart(const QString& topic)
{
    return topic.section(QLatin1Char('/'), -1, -1);
}

void removeDisallowedTopics(std::vector<NotificationType>& types)
{
    const auto& roots = FilteringNotificationProcessor::allowedTopicRoots();
    std::erase_if(types, [&roots](const NotificationType& type) { return !roots.contains(firstPart(type.topic)); });
}

void removeIgnoredTopics(std::vector<NotificationType>& types)
{
    const auto& leaves = FilteringNotificationProcessor::ignoredTopicLeaves();
    std::erase_if(types, [&leaves](NotificationType& type) {
        if (type.children.empty())
            return leaves.contains(lastPart(type.topic));
        removeIgnoredTopics(type.children);
        return type.children.empty();
    });
}

} // namespace

const std::set<QString>& FilteringNotificationProcessor::allowedTopicRoots()
{
    static const std::set<QString> roots = {
        QStringLiteral("tns1:RuleEngine"),
        QStringLiteral("tns1:VideoSource"),
        QStringLiteral("tnsaxis:CameraApplicationPlatform"),
    };
    return roots;
}

const std::set<QString>& FilteringNotificationProcessor::ignoredTopicLeaves()
{
    static const std::set<QString> leaves = {QStringLiteral("xinternal_data")};
    return leaves;
}

FilteringNotificationProcessor::FilteringNotificationProcessor(MetadataProcessor* metadataProcessor,
                                                               std::vector<NotificationType>& types)
    : NotificationProcessor(metadataProcessor)
{
    removeDisallowedTopics(types);
    removeIgnoredTopics(types);
}

bool FilteringNotificationProcessor::processNotification(const Notification& notification)
{
    if (!allowedTopicRoots().contains(firstPart(notification.topic)))
        return true;
    return ignoredTopicLeaves().contains(lastPart(notification.topic));
}

} // namespace vorn::vms_server_plugins::analytics::axis
