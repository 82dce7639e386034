// zodivadad::Engine: the engine of one brand's plugin. It loads the brand's engine manifest, tells
// the server whether a camera is one of its own and makes one device agent per camera; the device
// agents look event types and numeric attributes up in its manifest and read the server's clock
// through it.
//
//     auto engine = makePtr<Engine>(plugin, "manifest_zodivadad");
//     if (engine->supportsDevice(description))     // blocks for the camera's test request
//         engine->createDeviceAgent(&result, description);
//
// The manifest is the embedded resource ":/zodivadad/<name>.json", replaced by the file
// "plugins/zodivadad/<name>.json" under the process's working folder when that file can be read.
//
// Rules:
// - Nothing changes after construction, so every lookup may run on any thread without a lock (the
//   device agents call them from their channels' I/O threads).
// - The engine holds a reference to its plugin and each device agent one to its engine, so the server
//   may release plugin, engines and agents in any order.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <QtCore/QByteArray>
#include <QtCore/QString>

#include <vorn/sdk/analytics/helpers/plugin.h>
#include <vorn/sdk/analytics/i_engine.h>
#include <vorn/sdk/helpers/ref_countable.h>
#include <vorn/sdk/ptr.h>

#include "engine_manifest.h"

namespace vorn::vms_server_plugins::analytics::zodivadad {

class Engine : public vorn::sdk::RefCountable<vorn::sdk::analytics::IEngine>
{
public:
    /** Where a replacement of the embedded manifest is looked for, relative to the working folder. */
    static constexpr char kExternalManifestPathFormat[] = "plugins/zodivadad/%1.json";
    static constexpr char kEmbeddedManifestPathFormat[] = ":/zodivadad/%1.json";

    /** @param manifestName A brand table key such as "manifest_zodivadad". */
    Engine(vorn::sdk::analytics::Plugin* plugin, const QString& manifestName);
    ~Engine() override;

    /** The manifest text as read, byte for byte. */
    void getManifest(vorn::sdk::Result<const vorn::sdk::IString*>* outResult) const override;

    /** Vendor pattern, then the camera's test request, then model pattern; blocks on the camera. */
    bool supportsDevice(const vorn::sdk::analytics::IDeviceDescription* deviceDescription) const override;

    /** A new device agent for the camera; its constructor asks the camera, so this blocks. */
    void createDeviceAgent(vorn::sdk::Result<vorn::sdk::analytics::IDeviceAgent*>* outResult,
                           const vorn::sdk::analytics::IDeviceDescription* deviceDescription) override;

    /** The parsed manifest; the default record when the text was no manifest. */
    const EngineManifest& manifest() const { return m_manifest; }

    /** "internalSection" of the first event type with this id; none when no event type has it. */
    std::optional<std::string> internalSection(const std::string& eventTypeId) const;

    /** The first event type of the section and event number; null when there is none. */
    const EventType* eventTypeBySection(const std::string& section, int eventId) const;

    /** A copy of the "eventNumericAttributes" entry of the name; none when there is none. */
    std::optional<NumericAttribute> numericAttribute(const std::string& name) const;

    /**
     * The same entry as numericAttribute(), without the copy: the event path asks for it once per
     * attribute of every event. Null when there is none; valid as long as the engine lives.
     */
    const NumericAttribute* findNumericAttribute(const std::string& name) const;

    /**
     * What every event of one event type needs from the manifest, made once with it rather than once per
     * event: the id and name as UTF-8, and the numeric attribute of each "internalNumericAttributes" name.
     */
    struct EventTypeLookups
    {
        /** The event type's position in the manifest's list. */
        std::size_t position = 0;
        std::string id;
        std::string name;
        /** findNumericAttribute() of each "internalNumericAttributes" name, in that order. */
        std::vector<const NumericAttribute*> numericAttributes;
        /** Positions in "internalNumericAttributes", ordered by the name there (byte-wise, stable). */
        std::vector<std::size_t> numericAttributeOrder;
    };

    /** The lookups of eventType, which must be one of the manifest's own (as eventTypeBySection() gives). */
    const EventTypeLookups& eventTypeLookups(const EventType& eventType) const;

    /**
     * The server's clock in milliseconds since the epoch. Without host services (a server that has not
     * attached them) the local clock stands in, after a failed assertion.
     */
    int64_t serverTimeMs() const;

private:
    QByteArray m_manifestText;
    EngineManifest m_manifest;
    std::vector<EventTypeLookups> m_eventTypeLookups; //< One per event type of m_manifest, in its order.
    const vorn::sdk::Ptr<vorn::sdk::analytics::Plugin> m_plugin;
};

} // namespace vorn::vms_server_plugins::analytics::zodivadad
