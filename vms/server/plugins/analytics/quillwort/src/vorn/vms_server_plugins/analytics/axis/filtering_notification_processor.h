// FilteringNotificationProcessor: the first processor of the chain. It publishes no types; it narrows the
// camera's catalogue to the topic trees the plugin supports and drops the camera's internal data topics,
// both in the catalogue (before any later processor publishes a type for them) and in the notifications
// (which it swallows, so no later processor handles them).
#pragma once

#include <set>
#include <vector>

#include <QtCore/QString>

#include "notification_processor.h"
#include "notification_type.h"

namespace vorn::vms_server_plugins::analytics::axis {

class FilteringNotificationProcessor : public NotificationProcessor
{
public:
    /** Compared with a topic's first part ("/" splits it, empty parts kept), prefix included. */
    static const std::set<QString>& allowedTopicRoots();
    /** Compared with a topic's last part, exactly as written. */
    static const std::set<QString>& ignoredTopicLeaves();

    /** Prunes the catalogue in place; claims nothing else. */
    FilteringNotificationProcessor(MetadataProcessor* metadataProcessor, std::vector<NotificationType>& types);

    std::vector<EventType> eventTypes() const override { return {}; }
    std::vector<ObjectType> objectTypes() const override { return {}; }
    void setNeededTypes(std::set<QString>&, std::set<QString>&) override {}

    /** True (swallowed) for a topic outside the allowed roots or on an ignored leaf. */
    bool processNotification(const Notification& notification) override;
};

} // namespace vorn::vms_server_plugins::analytics::axis
