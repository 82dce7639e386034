// NotificationProcessor: the base of the four processors that the metadata processor chains together
// (filtering, licence plate, multi-profile, default). Each processor claims part of the camera's event
// catalogue in its constructor, publishes its types, learns which of them the server needs and turns
// the notifications it takes into event and object metadata for the server.
//
//     class MyProcessor: public NotificationProcessor
//     {
//         bool processNotification(const Notification& n) override
//         {
//             if (n.topic != kMyTopic) return false;            // not mine: the next processor gets it
//             emitEvent(Event{.timestamp = n.timestamp, .typeId = kMyTypeId});
//             return true;                                      // consumed
//         }
//     };
//
// Threads: constructors run on the server thread that creates the device agent; setNeededTypes() on the
// thread that passes the server's selection, processNotification() on the threads that hand over data
// packets, which the server does not order against each other. Processors therefore keep their needed
// flags atomic (NeededFlag) and fix everything else in their constructors. The emission operations take
// the device agent's receiver with a reference of their own for each call.
#pragma once

#include <set>
#include <vector>

#include <QtCore/QString>

#include "metadata_types.h"
#include "notification.h"

namespace vorn::vms_server_plugins::analytics::axis {

class MetadataProcessor;

class NotificationProcessor
{
public:
    explicit NotificationProcessor(MetadataProcessor* metadataProcessor);
    virtual ~NotificationProcessor();

    NotificationProcessor(const NotificationProcessor&) = delete;
    NotificationProcessor& operator=(const NotificationProcessor&) = delete;

    virtual std::vector<EventType> eventTypes() const = 0;
    virtual std::vector<ObjectType> objectTypes() const = 0;

    /**
     * Takes the ids of this processor's own types out of the two sets (the same sets go to every processor
     * in chain order) and notes which of them were there.
     */
    virtual void setNeededTypes(std::set<QString>& eventTypeIds, std::set<QString>& objectTypeIds) = 0;

    /** True when the notification is consumed: no later processor sees it. */
    virtual bool processNotification(const Notification& notification) = 0;

    /** The device agent's log tag, which the processor's log tag carries after its address. */
    QString logTagSuffix() const;

protected:
    /** One event metadata packet to the device agent's receiver. */
    void emitEvent(const Event& event);

    /** One object metadata packet and, when the object has a best shot, one best-shot packet after it. */
    void emitObject(const Object& object);

    MetadataProcessor* metadataProcessor() const { return m_metadataProcessor; }

private:
    MetadataProcessor* const m_metadataProcessor;
};

/** The event's log text, lines led by the indent. */
QString dumpEvent(const Event& event, const QString& indent);

/** The object's log text, lines led by the indent; a best-shot URL is shown without its password. */
QString dumpObject(const Object& object, const QString& indent);

/** The log text of a list of types, lines led by the indent. */
QString toString(const std::vector<EventType>& types, const QString& indent);
QString toString(const std::vector<ObjectType>& types, const QString& indent);

} // namespace vorn::vms_server_plugins::analytics::axis
