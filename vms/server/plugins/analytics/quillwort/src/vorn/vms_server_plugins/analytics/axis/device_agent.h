// axis::DeviceAgent: serves one Axis camera for the server. Its constructor builds the metadata
// processor, which asks the camera for its image size and event catalogue and sets up the notification
// processors; afterwards the agent forwards the server's type selection and the packets of the camera's
// ONVIF metadata stream to it, and what the processors emit leaves through the receiver the server
// attached. Its manifest lists the event and object types the processors published.
//
//     Ptr<DeviceAgent> agent = makePtr<DeviceAgent>(engine, description); // blocks on the camera
//     agent->attachReceiver(receiver);
//     agent->selectMetadataTypes(&result, selection);
//     agent->consumeDataPacket(&result, metadataPacket);                // events reach the receiver
//
// Threads: the server may call any operation from any of its threads, also at the same time. The
// receiver is guarded by a mutex and handed out with a reference of the caller's own, so a packet being
// handled while the server attaches another receiver still delivers to a live one; the processors keep
// their needed flags atomic and the licence-plate processor serialises its camera client.
#pragma once

#include <mutex>

#include <QtCore/QString>

#include <vorn/sdk/analytics/i_device_agent.h>
#include <vorn/sdk/analytics/i_device_description.h>
#include <vorn/sdk/helpers/ref_countable.h>
#include <vorn/sdk/ptr.h>

#include "metadata_processor.h"

namespace vorn::vms_server_plugins::analytics::axis {

class Engine;

class DeviceAgent : public vorn::sdk::RefCountable<vorn::sdk::analytics::IConsumingDeviceAgent>
{
public:
    /** Takes over one reference to the description; asks the camera before it returns. */
    DeviceAgent(Engine* engine, vorn::sdk::Ptr<const vorn::sdk::analytics::IDeviceDescription> deviceInfo);
    ~DeviceAgent() override;

    /** The agent has no settings: the result is left as the caller set it up. */
    void applySettings(vorn::sdk::Result<const vorn::sdk::IOptionMap*>* outResult,
                       const vorn::sdk::IOptionMap* settings) override;
    void getManifest(vorn::sdk::Result<const vorn::sdk::IString*>* outResult) const override;
    void attachReceiver(vorn::sdk::analytics::IMetadataReceiver* receiver) override;
    void selectMetadataTypes(vorn::sdk::Result<void>* outResult,
                             const vorn::sdk::analytics::IMetadataTypeSelection* selection) override;
    void consumeDataPacket(vorn::sdk::Result<void>* outResult, vorn::sdk::analytics::IDataPacket* dataPacket) override;

    /** "<id>/<channel> : <name>" of the description, the suffix of the processors' log tags. */
    QString logTag() const { return m_logTag; }
    vorn::sdk::Ptr<const vorn::sdk::analytics::IDeviceDescription> deviceInfo() const { return m_deviceInfo; }
    /** The current receiver with a reference for the caller, or null before the server attached one. */
    vorn::sdk::Ptr<vorn::sdk::analytics::IMetadataReceiver> handler() const;

    std::vector<EventType> eventTypes() const { return m_metadataProcessor.eventTypes(); }
    std::vector<ObjectType> objectTypes() const { return m_metadataProcessor.objectTypes(); }

    Engine* engine() const { return m_engine; }
    MetadataProcessor& metadataProcessor() { return m_metadataProcessor; }

private:
    Engine* const m_engine; //< the creating engine; no reference held
    const vorn::sdk::Ptr<const vorn::sdk::analytics::IDeviceDescription> m_deviceInfo;
    const QString m_logTag;

    mutable std::mutex m_receiverMutex; //< guards m_handler
    vorn::sdk::Ptr<vorn::sdk::analytics::IMetadataReceiver> m_handler;

    // Last: its constructor reads the fields above, and it goes first when the agent is destroyed.
    MetadataProcessor m_metadataProcessor;
};

} // namespace vorn::vms_server_plugins::analytics::axis
