// MultiprofileNotificationProcessor: the third processor of the chain. Some camera applications report one
// event per configured profile, as sibling topics under one parent, plus a sibling for any profile whose
// topic ends with "ANY". Such a parent becomes one event type: the events of all its profiles share the
// parent's type id and carry the profile in their key and description. The parents leave the catalogue,
// so the default processor does not publish the profiles one by one.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include <QtCore/QString>

#include "notification_processor.h"
#include "notification_type.h"

namespace vorn::vms_server_plugins::analytics::axis {

class MultiprofileNotificationProcessor : public NotificationProcessor
{
public:
    /** Claims every multi-profile parent of the catalogue (and removes inner nodes left empty). */
    MultiprofileNotificationProcessor(MetadataProcessor* metadataProcessor, std::vector<NotificationType>& types);

    /** One type per parent; parents whose topics differ only in namespace prefixes share one id, listed once. */
    std::vector<EventType> eventTypes() const override;
    std::vector<ObjectType> objectTypes() const override { return {}; }
    void setNeededTypes(std::set<QString>& eventTypeIds, std::set<QString>& objectTypeIds) override;

    /** True for every child topic of a multi-profile parent (the "ANY" one included), false otherwise. */
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

    struct TopicInfo
    {
        const EventTypeInfo* eventType = nullptr; //< null for the "ANY" child
        QString profile;
    };

    void collectMultiprofileTypes(std::vector<NotificationType>& types);

    // Reserved for every parent before the first is added, so the pointers in m_topics stay valid.
    std::vector<EventTypeInfo> m_eventTypes;
    std::map<QString, TopicInfo, TopicSearchOrder> m_topics; //< keyed by each child's full topic
};

} // namespace vorn::vms_server_plugins::analytics::axis
