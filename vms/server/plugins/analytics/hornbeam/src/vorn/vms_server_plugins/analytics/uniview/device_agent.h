// uniview::DeviceAgent: the per-camera object of hornbeam, and the shared context of its event reception.
//
//     auto agent = makePtr<DeviceAgent>(engine, description);   // capability requests start at once
//     agent->getManifest(&manifest);                  // first call waits for the capability replies
//     agent->attachReceiver(receiver);
//     agent->selectMetadataTypes(&result, selection); // (re)subscribes at the camera: blocks for it
//     agent->consumeDataPacket(&result, videoPacket); // SEI tracks of the camera's video
//
// Towards the event reception (I/O threads): makeHttpClient() and lapiUrl() for camera requests,
// serverTimeUs(), isEventTypeNeeded() / isAnyTypeNeeded() and handler(), the receiver retained for the
// caller (null without one: packets are then dropped).
//
// Rules:
// - Server threads call the SDK operations; selections are serialised by m_selectionMutex, so two
//   overlapping selections never interleave their cancel, start and stop steps.
// - The needed-type sets and the receiver are read on I/O threads while a selection replaces them: each is
//   guarded by its own mutex, held only to copy or test, never while calling out. Alarms test an event
//   type by its flag, one per event type of the engine manifest, which a selection sets and alarms read
//   without a lock.
// - Destruction deletes the capability discovery first, then the metadata monitor; neither runs any code
//   afterwards.
// - The agent holds a reference to its engine, so the server may release them in any order.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

#include <QtCore/QByteArray>
#include <QtCore/QString>

#include <vorn/network/http/async_client.h>
#include <vorn/network/http/credentials.h>
#include <vorn/sdk/analytics/i_device_agent.h>
#include <vorn/sdk/analytics/i_device_description.h>
#include <vorn/sdk/helpers/ref_countable.h>
#include <vorn/sdk/ptr.h>
#include <vorn/utils/url.h>

namespace vorn::vms_server_plugins::analytics::uniview {

class Engine;
struct EventType;
class MetadataMonitor;
class DeviceCapabilitiesProvider;

/**
 * The engine manifest's text narrowed to a camera: the event types, supported types and type-library object
 * types whose ids are supported, and the enum types that the kept object types' attributes name. An
 * unreadable text gives the empty record.
 */
QByteArray narrowDeviceAgentManifest(const QByteArray& engineManifest, const std::set<QString>& supportedTypes);

class DeviceAgent : public vorn::sdk::RefCountable<vorn::sdk::analytics::IConsumingDeviceAgent>
{
public:
    DeviceAgent(Engine* engine, const vorn::sdk::analytics::IDeviceDescription* deviceDescription);
    ~DeviceAgent() override;

    void applySettings(vorn::sdk::Result<const vorn::sdk::IOptionMap*>* outResult,
                       const vorn::sdk::IOptionMap* settings) override;
    void getManifest(vorn::sdk::Result<const vorn::sdk::IString*>* outResult) const override;
    void attachReceiver(vorn::sdk::analytics::IMetadataReceiver* receiver) override;
    void selectMetadataTypes(vorn::sdk::Result<void>* outResult,
                             const vorn::sdk::analytics::IMetadataTypeSelection* selection) override;
    void consumeDataPacket(vorn::sdk::Result<void>* outResult, vorn::sdk::analytics::IDataPacket* dataPacket) override;

    std::unique_ptr<vorn::network::http::AsyncClient> makeHttpClient() const;
    vorn::utils::Url lapiUrl(const QString& relativePath) const;
    int64_t serverTimeUs() const;
    /** Whether the last selection named this event type of the engine's manifest; takes no lock. */
    bool isEventTypeNeeded(const EventType& eventType) const;
    bool isAnyTypeNeeded() const;
    vorn::sdk::Ptr<vorn::sdk::analytics::IMetadataReceiver> handler() const;
    Engine* engine() const { return m_engine.get(); }
    int channel() const { return m_channel; }
    /** The camera URL without scheme and path (and, as every logged URL, without user info and query). */
    QString deviceUrlText() const;
    QString logTagSuffix() const { return deviceUrlText(); }

    MetadataMonitor* monitor() const { return m_monitor.get(); }

private:
    QByteArray makeManifest() const;
    void updateNeededTypes(const vorn::sdk::analytics::IMetadataTypeSelection* selection);

    const vorn::sdk::Ptr<Engine> m_engine;
    vorn::utils::Url m_url;
    vorn::network::http::PasswordCredentials m_credentials;
    int m_channel = 0;

    mutable std::mutex m_receiverMutex; //< Guards m_handler.
    vorn::sdk::Ptr<vorn::sdk::analytics::IMetadataReceiver> m_handler;

    mutable std::mutex m_neededTypesMutex; //< Guards the two sets; serialises writes of the flags.
    std::set<QString> m_neededEventTypes;
    std::set<QString> m_neededObjectTypes;
    /** Whether the event types of the engine manifest are needed, in its order; written under the mutex. */
    std::vector<std::atomic<bool>> m_neededEventTypeFlags;

    std::mutex m_selectionMutex; //< Serialises selections: cancel, then start or stop, never interleaved.

    mutable std::mutex m_manifestMutex; //< Guards m_manifest, made on the first request.
    mutable std::optional<QByteArray> m_manifest;

    std::unique_ptr<MetadataMonitor> m_monitor;
    std::unique_ptr<DeviceCapabilitiesProvider> m_capabilitiesProvider;
};

} // namespace vorn::vms_server_plugins::analytics::uniview
