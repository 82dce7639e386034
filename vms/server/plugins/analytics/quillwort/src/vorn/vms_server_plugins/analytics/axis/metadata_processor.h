// MetadataProcessor: the heart of an Axis device agent. Its constructor asks the camera for its image size
// and its event catalogue, notes which data item carries the state of each kind of message and builds the
// chain of notification processors, which share the catalogue out among themselves. Afterwards it turns
// every packet of the camera's ONVIF metadata stream into notifications and offers each to the chain
// until a processor takes it.
//
//     MetadataProcessor processor(deviceAgent);        // blocks on the camera's two replies
//     processor.setNeededTypes(selection);
//     processor.processMetadataPacket(packet);         // events and objects go to the agent's receiver
//
// Threads: the constructor runs on the server thread that creates the device agent. After it the chain,
// the catalogue's state items and the coordinate domain are fixed, so processMetadataPacket() may run on
// several server threads at once; setNeededTypes() only changes the processors' atomic needed flags.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <boost/container/small_vector.hpp>

#include <QtCore/QByteArray>
#include <QtCore/QString>

#include <vorn/sdk/analytics/i_data_packet.h>
#include <vorn/sdk/analytics/i_metadata_type_selection.h>
#include <vorn/sdk/ptr.h>

#include "metadata_types.h"
#include "notification.h"
#include "notification_processor.h"
#include "notification_type.h"

namespace vorn::vms_server_plugins::analytics::axis {

class DeviceAgent;

class MetadataProcessor
{
public:
    static constexpr char kOnvifMetadataCodec[] = "vnd.onvif.metadata";

    /** Catalogue topic to the name of its state data item. */
    using StateNames = std::map<QString, QString, TopicSearchOrder>;

    /** The notifications of one packet: a packet nearly always carries one, which then takes no allocation. */
    using Notifications = boost::container::small_vector<Notification, 1>;

    explicit MetadataProcessor(DeviceAgent* deviceAgent);
    ~MetadataProcessor();

    MetadataProcessor(const MetadataProcessor&) = delete;
    MetadataProcessor& operator=(const MetadataProcessor&) = delete;

    /** Parses the packet and offers each of its notifications to the chain; see the file comment. */
    void processMetadataPacket(const vorn::sdk::Ptr<vorn::sdk::analytics::ICustomMetadataPacket>& packet);

    /** Hands the server's selection (may be null) to every processor in chain order. */
    void setNeededTypes(const vorn::sdk::analytics::IMetadataTypeSelection* selection);

    /** Every processor's types, in chain order; the processors are asked anew on each call. */
    std::vector<EventType> eventTypes() const;
    std::vector<ObjectType> objectTypes() const;

    CoordinateDomain coordinateDomain() const { return m_coordinateDomain; }
    DeviceAgent* deviceAgent() const { return m_deviceAgent; }
    QString deviceAgentTag() const;

    /** The device agent's log tag, which the processor's log tag carries after its address. */
    QString logTagSuffix() const { return deviceAgentTag(); }

    /**
     * The notifications of one packet text (zero-terminated, parsed in place and changed by it), each
     * notification message in document order, all with the packet's timestamp. What could not be read is
     * logged under logTagOwner's tag.
     */
    static Notifications parseNotificationPacket(std::string* text, int64_t timestampUs, const StateNames& stateNames,
                                                 const MetadataProcessor* logTagOwner);

private:
    std::optional<QByteArray> getImageSize();
    CoordinateDomain fetchCoordinateDomain();
    std::optional<std::string> getEventInstances();
    std::vector<NotificationType> fetchNotificationTypes();
    void collectStateNames(const std::vector<NotificationType>& types);

    DeviceAgent* const m_deviceAgent;
    CoordinateDomain m_coordinateDomain;
    StateNames m_stateNames;

    // The copy of a packet that the parser works in, kept between packets so that its memory is reused.
    // Packets come on the server's thread; a packet that finds it in use takes a copy of its own.
    std::mutex m_packetTextMutex;
    std::string m_packetText;
    std::vector<std::unique_ptr<NotificationProcessor>> m_processors;
};

} // namespace vorn::vms_server_plugins::analytics::axis
