// DefaultNotificationProcessor: the last processor of the chain. It publishes one event type for every
// catalogue leaf the earlier processors left and turns each notification on such a topic into one event
// once the server has selected its type. It consumes every notification offered to it, known or not, so
// the chain ends here.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include <QtCore/QString>

#include "notification_processor.h"
#include "notification_type.h"

namespace vorn::vms_server_plugins::analytics::axis {

class DefaultNotificationProcessor : public NotificationProcessor
{
public:
    /** Takes every leaf that is left and empties the catalogue. */
    DefaultNotificationProcessor(MetadataProcessor* metadataProcessor, std::vector<NotificationType>& types);

    /** One type per leaf, in topic order; leaves whose topics differ only in prefixes share one id, listed once. */
    std::vector<EventType> eventTypes() const override;
    std::vector<ObjectType> objectTypes() const override { return {}; }
    void setNeededTypes(std::set<QString>& eventTypeIds, std::set<QString>& objectTypeIds) override;

    /** Always true. */
    bool processNotification(const Notification& notification) override;

private:
    struct EventTypeInfo
    {
        QString id;
        std::string idUtf8; //< encoded once here rather than for every event
        QString name;
        bool isProlonged = false;
        NeededFlag isNeeded;
    };

    void collectDefaultTypes(const std::vector<NotificationType>& types);

    // Keyed by the full topic, prefixes included; eventTypes() lists them in topic order.
    std::map<QString, EventTypeInfo, TopicSearchOrder> m_eventTypes;
};

} // namespace vorn::vms_server_plugins::analytics::axis
