// uniview::Engine: the engine that a Uniview plugin makes for the server. It loads the engine manifest,
// tells the server whether a camera belongs to its plugin's branding (asking the camera with the probe
// request where the branding wants that), and makes one device agent per camera. For the device agents
// and the alarm processor it finds the event type of a camera alarm name, holds the event items that alarms
// put into their packets and reads the server's clock.
//
//     Ptr<Engine> engine = makePtr<Engine>(plugin);
//     if (engine->supportsDevice(description))    // may block for the probe request (5 s at most a phase)
//         engine->createDeviceAgent(&result, description);
//     const EventType* type = engine->eventTypeByTrigger("MotionAlarmOn");   // "vorn.uniview.Motion"
//
// The manifest is the embedded resource ":/uniview/manifest.json", replaced by the file
// "plugins/uniview/manifest.json" under the process's working folder when that file can be read. The
// server receives the text byte for byte; the engine keeps a typed copy of its capabilities and event
// types beside it.
//
// Rules:
// - Nothing changes after construction, so every member may run on any thread without a lock (the
//   device agents call serverTimeMs() and eventTypeByTrigger() from I/O threads).
// - The engine holds a reference to its plugin, so it stays usable when the server releases the plugin
//   first.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <QtCore/QByteArray>

#include <vorn/sdk/analytics/i_engine.h>
#include <vorn/sdk/analytics/i_metadata.h>
#include <vorn/sdk/helpers/ref_countable.h>
#include <vorn/sdk/ptr.h>
#include <vorn/utils/url.h>

#include "engine_manifest.h"
#include "plugin.h"

namespace vorn::vms_server_plugins::analytics::uniview {

class Engine : public vorn::sdk::RefCountable<vorn::sdk::analytics::IEngine>
{
public:
    /** Where the manifest comes from; the file path is relative to the working folder. */
    static constexpr char kEmbeddedManifestPath[] = ":/uniview/manifest.json";
    static constexpr char kExternalManifestPath[] = "plugins/uniview/manifest.json";

    explicit Engine(Plugin* plugin);
    ~Engine() override;

    /** The manifest text as read, up to its first zero byte. */
    void getManifest(vorn::sdk::Result<const vorn::sdk::IString*>* outResult) const override;

    /**
     * Whether the camera's vendor matches the branding and, where the branding asks for the probe, the
     * camera answers the GET of "System/Time" with a LAPI reply ({"Response": {...}}). Writes nothing to
     * the log; decides anew on every call.
     */
    bool supportsDevice(const vorn::sdk::analytics::IDeviceDescription* deviceDescription) const override;

    void createDeviceAgent(vorn::sdk::Result<vorn::sdk::analytics::IDeviceAgent*>* outResult,
                           const vorn::sdk::analytics::IDeviceDescription* deviceDescription) override;

    /** The first event type (in manifest order) with this trigger, byte for byte; null for none or "". */
    const EventType* eventTypeByTrigger(const std::string& trigger) const;

    /**
     * The event item of an alarm of an event type that eventTypeByTrigger() found: its UTF-8 id and, for a
     * state-dependent type, whether the alarm starts the event (isActive) or ends it. Made once with the
     * manifest and shared, never changed, by the packets of every alarm, which retain it; null for an
     * event type of another record.
     */
    const vorn::sdk::analytics::IEventMetadata* alarmEventItem(const EventType& eventType, bool isActive) const;

    /**
     * The position of an event type that eventTypeByTrigger() found among engineManifest().eventTypes;
     * std::nullopt for an event type of another record.
     */
    std::optional<std::size_t> eventTypeIndex(const EventType& eventType) const;

    /**
     * The server's clock in milliseconds since the epoch. Without host services (a server that has not
     * attached them) the local clock stands in, after a failed assertion.
     */
    int64_t serverTimeMs() const;

    /** The typed manifest; the default record when the text was no JSON object. */
    const EngineManifest& engineManifest() const { return m_engineManifest; }

    /**
     * The answer to the probe of a camera: whether its "System/Time" reply says it is a LAPI camera.
     * Blocks for the request; each of its phases has kLapiRequestTimeout.
     */
    static bool probeCamera(const vorn::utils::Url& cameraUrl);

private:
    const vorn::sdk::Ptr<Plugin> m_plugin;
    QByteArray m_manifest;
    EngineManifest m_engineManifest;
    /** Per event type of m_engineManifest, in order: its alarm event item that is not active, and the active one. */
    std::vector<std::array<vorn::sdk::Ptr<const vorn::sdk::analytics::IEventMetadata>, 2>> m_alarmEventItems;
};

} // namespace vorn::vms_server_plugins::analytics::uniview
