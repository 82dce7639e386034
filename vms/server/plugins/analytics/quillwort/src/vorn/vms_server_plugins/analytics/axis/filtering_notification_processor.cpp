#include "filtering_notification_processor.h"

#include <algorithm>

#include <QtCore/QStringView>

namespace vorn::vms_server_plugins::analytics::axis {

namespace {

// Views into the topic: the filter runs for every notification, so it copies nothing.
QStringView firstPart(const QString& topic)
{
    const int slash = topic.indexOf(QLatin1Char('/'));
    return slash < 0 ? QStringView(topic) : QStringView(topic).left(slash);
}

QStringView lastPart(const QString& topic)
{
    return QStringView(topic).mid(topic.lastIndexOf(QLatin1Char('/')) + 1);
}

bool containsPart(const std::set<QString>& parts, QStringView part)
{
    return std::any_of(parts.begin(), parts.end(), [part](const QString& member) { return member == part; });
}

void removeDisallowedTopics(std::vector<NotificationType>& types)
{
    const auto& roots = FilteringNotificationProcessor::allowedTopicRoots();
    std::erase_if(types,
                  [&roots](const NotificationType& type) { return !containsPart(roots, firstPart(type.topic)); });
}

void removeIgnoredTopics(std::vector<NotificationType>& types)
{
    const auto& leaves = FilteringNotificationProcessor::ignoredTopicLeaves();
    std::erase_if(types, [&leaves](NotificationType& type) {
        if (type.children.empty())
            return containsPart(leaves, lastPart(type.topic));
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
    if (!containsPart(allowedTopicRoots(), firstPart(notification.topic)))
        return true;
    return containsPart(ignoredTopicLeaves(), lastPart(notification.topic));
}

} // namespace vorn::vms_server_plugins::analytics::axis
