// zodivadad::DeviceAgent: the per-camera object of larkspur.
//
// Its constructor asks the camera once whether it has licence-plate recognition; the answer fixes the
// agent's channels for life: a licence-plate camera gets the licence-plate push channel, any other the
// video-analytics push channel and the parser of the metadata stream that the server passes in. The
// server drives the agent through the SDK's consuming device agent interface:
//
//     auto agent = makePtr<DeviceAgent>(engine, description, engine->manifest()); // blocks on the camera
//     agent->attachReceiver(receiver);
//     agent->applySettings(&settingsResult, settings);   // "VCA.Port" / "LPR.Port"
//     agent->selectMetadataTypes(&result, selection);     // (re)starts the channels that are needed
//     agent->consumeDataPacket(&result, packet);          // metadata stream packets to the parser
//
// The channels call the agent back (url(), authenticator(), internalSection(), handleEvent(),
// pushMetadataPacket()) from their own I/O threads.
//
// Rules:
// - Server threads run the SDK operations; they may overlap. The operations that start, stop or
//   re-address channels are serialised by m_channelControlMutex, which no channel callback takes, so a
//   synchronous stop() under it cannot wait for a callback that waits for it.
// - The needed type sets and the receiver are read by channel threads while server threads replace
//   them; each has its own mutex, and neither is held while the agent calls out: a packet goes to a
//   copy of the receiver retained under the lock.
// - Destruction stops every channel first, so no callback runs into a half-destroyed agent.
// - The agent holds a reference to its engine, so the server may release them in any order.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <QtCore/QByteArray>
#include <QtCore/QString>
#include <QtNetwork/QAuthenticator>

#include <vorn/kit/json.h>
#include <vorn/sdk/analytics/helpers/event_metadata.h>
#include <vorn/sdk/analytics/helpers/event_metadata_packet.h>
#include <vorn/sdk/analytics/i_device_agent.h>
#include <vorn/sdk/analytics/i_device_description.h>
#include <vorn/sdk/helpers/ref_countable.h>
#include <vorn/sdk/ptr.h>
#include <vorn/utils/url.h>

#include "channel_factory.h"
#include "engine_manifest.h"
#include "rtp_metadata_monitor.h"
#include "tcp_data_monitor.h"

namespace vorn::vms_server_plugins::analytics::zodivadad {

class Engine;

class DeviceAgent : public vorn::sdk::RefCountable<vorn::sdk::analytics::IConsumingDeviceAgent>
{
public:
    static constexpr uint16_t kVcaDefaultPort = 8214;
    static constexpr uint16_t kLprDefaultPort = 3344;
    /** The camera's system information setting that tells whether it has licence-plate recognition. */
    static constexpr char kLprSupportKey[] = "system_lpr_support";
    /** The codec of the metadata stream packets that the parser reads; others are ignored. */
    static constexpr char kMetadataCodec[] = "Zodivadad";

    /**
     * Asks the camera for its system information and makes the channels, none of them started.
     * Blocks on the camera. The description and the manifest are read during the call only.
     */
    DeviceAgent(vorn::sdk::Ptr<Engine> engine, const vorn::sdk::analytics::IDeviceDescription* deviceDescription,
                const EngineManifest& engineManifest,
                const ChannelFactory& channelFactory = ChannelFactory::instance());
    ~DeviceAgent() override;

    // SDK operations, called by the server.

    /** Takes the channels' port settings; a running channel whose port changed reconnects at once. */
    void applySettings(vorn::sdk::Result<const vorn::sdk::IOptionMap*>* outResult,
                       const vorn::sdk::IOptionMap* settings) override;
    void getManifest(vorn::sdk::Result<const vorn::sdk::IString*>* outResult) const override;
    void attachReceiver(vorn::sdk::analytics::IMetadataReceiver* receiver) override;
    /** Replaces the needed types, stops every channel and starts those that have something to fetch. */
    void selectMetadataTypes(vorn::sdk::Result<void>* outResult,
                             const vorn::sdk::analytics::IMetadataTypeSelection* selection) override;
    void consumeDataPacket(vorn::sdk::Result<void>* outResult, vorn::sdk::analytics::IDataPacket* dataPacket) override;

    // Services for the channels.

    const vorn::utils::Url& url() const { return m_cameraUrl; }
    const QAuthenticator& authenticator() const { return m_cameraAuth; }
    /** The camera's host, fully decoded. */
    QString host() const;
    bool lprSupported() const { return m_lprSupported; }
    /** The server's clock in microseconds since the epoch. */
    int64_t serverTimeUs() const;
    /** The camera section of an event type id of the engine manifest; none for an unknown id. */
    std::optional<std::string> internalSection(const std::string& eventTypeId) const;
    /** A JSON event that the video-analytics channel received with the given command. */
    void handleEvent(uint16_t command, const vorn::kit::detail::json11::Json& event);
    /** Hands the packet to the server's receiver; dropped, after a failed assertion, without one. */
    void pushMetadataPacket(const vorn::sdk::Ptr<vorn::sdk::analytics::IMetadataPacket>& packet);
    /** The attached receiver, retained for the caller, or null. */
    vorn::sdk::Ptr<vorn::sdk::analytics::IMetadataReceiver> handler() const;

    /** The channels, in the order they are driven; for tests and diagnostics. */
    const std::vector<std::unique_ptr<TcpDataMonitor>>& monitors() const { return m_monitors; }
    RtpMetadataMonitor* rtpMonitor() const { return m_rtpMonitor.get(); }

    QString logTagSuffix() const { return host(); }

private:
    void createMonitors(const ChannelFactory& channelFactory);
    void stopFetchingMetadata();
    void startFetchingMetadata();
    /** Whether the server's selection holds the event type, one of the engine manifest's own. */
    bool isEventTypeNeeded(const EventType& eventType) const;

    void handleAlarm(const vorn::kit::detail::json11::Json& event, uint16_t command);
    void addItemEvents(vorn::sdk::analytics::EventMetadataPacket* packet, const vorn::kit::detail::json11::Json& item,
                       const EventType& eventType, bool active);
    vorn::sdk::Ptr<vorn::sdk::analytics::EventMetadata>
    makeEventMetadata(const EventType& eventType, const std::optional<std::string>& numericDescription,
                      const std::optional<std::string>& maskDescription, const vorn::kit::detail::json11::Json& item,
                      bool active);
    void addNumericAttributes(vorn::sdk::analytics::EventMetadata* eventMetadata,
                              const vorn::kit::detail::json11::Json& item, const EventType& eventType);
    void parseTimestamp(vorn::sdk::analytics::EventMetadataPacket* packet,
                        const vorn::kit::detail::json11::Json& event) const;

    const vorn::sdk::Ptr<Engine> m_engine;
    QByteArray m_manifestJson;
    bool m_lprSupported = false;
    QAuthenticator m_cameraAuth;
    vorn::utils::Url m_cameraUrl;

    std::mutex m_channelControlMutex; //< Serialises the start, stop and re-addressing of the channels.
    std::vector<std::unique_ptr<TcpDataMonitor>> m_monitors;
    std::unique_ptr<RtpMetadataMonitor> m_rtpMonitor;

    mutable std::mutex m_neededTypesMutex; //< Guards m_neededEventTypes and m_neededObjectTypes.
    std::set<std::string> m_neededEventTypes;
    std::set<std::string> m_neededObjectTypes;
    /**
     * m_neededEventTypes by position in the engine manifest, one flag per event type, so that every event
     * asks without a lock or a comparison of ids. Written with the sets; an event that arrives while a
     * selection is being applied sees its type's flag before or after the change, as it would the set.
     */
    std::vector<std::atomic<bool>> m_neededEventTypeFlags;

    mutable std::mutex m_receiverMutex; //< Guards m_receiver.
    vorn::sdk::Ptr<vorn::sdk::analytics::IMetadataReceiver> m_receiver;
};

/** The descriptions "#1", "#2", ... of the bits set in the item's mask member; at most 32. */
std::vector<std::string> descriptionMaskItems(const vorn::kit::detail::json11::Json& item, const EventType& eventType);

} // namespace vorn::vms_server_plugins::analytics::zodivadad
