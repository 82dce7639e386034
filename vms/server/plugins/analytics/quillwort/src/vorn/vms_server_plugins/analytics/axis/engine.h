// axis::Engine: the engine of the Axis plugin. It accepts every camera whose vendor begins with "axis" in
// any letter case and makes one device agent per camera; the device agents publish the camera's own
// types, so the engine manifest lists none.
//
//     Result<IDeviceAgent*> result;
//     if (engine->supportsDevice(description))               // never contacts the camera
//         engine->createDeviceAgent(&result, description);   // blocks on the camera's two replies
//
// Nothing changes after construction: the server may call it from several threads at once.
#pragma once

#include <string>

#include <vorn/sdk/analytics/i_engine.h>
#include <vorn/sdk/helpers/ref_countable.h>

namespace vorn::vms_server_plugins::analytics::axis {

class Plugin;

class Engine : public vorn::sdk::RefCountable<vorn::sdk::analytics::IEngine>
{
public:
    explicit Engine(Plugin* plugin);
    ~Engine() override;

    /** {"capabilities":"deviceDependent|noAutoBestShots","streamTypeFilter":"metadata"} */
    void getManifest(vorn::sdk::Result<const vorn::sdk::IString*>* outResult) const override;
    bool supportsDevice(const vorn::sdk::analytics::IDeviceDescription* deviceDescription) const override;
    void createDeviceAgent(vorn::sdk::Result<vorn::sdk::analytics::IDeviceAgent*>* outResult,
                           const vorn::sdk::analytics::IDeviceDescription* deviceDescription) override;

    static std::string manifest();

    Plugin* plugin() const { return m_plugin; }

private:
    Plugin* const m_plugin; //< the creating plugin; no reference held
};

} // namespace vorn::vms_server_plugins::analytics::axis
