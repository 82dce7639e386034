// Plugin: the ready-made analytics plugin that a plugin library's creation entry point hands to the
// server. It answers the plugin manifest, makes engines, keeps the server's host services and writes a
// "Created" and a "Destroyed" line to the kit's debug stream.
//
// Either derive from it and override doObtainEngine() and manifestString() (or getManifest() and
// obtainEngine() themselves), or, the older way, give the constructor the manifest and an engine
// factory that is called anew for every obtainEngine():
//
//     return new Plugin(manifestJson, [](Plugin* plugin) { return new Engine(plugin); });
//
// Rules:
// - No exception leaves getManifest() or obtainEngine(): one that escapes becomes an unexpectedFailure
//   (-1000) result with its text, and an "ERROR: " line.
// - The server attaches the host services (the server clock) once, before the first engine; engines
//   read them through hostServices(), which hands out a reference of the caller's own and is safe
//   from any thread, also while the server attaches new ones.
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include <vorn/sdk/analytics/i_engine.h>
#include <vorn/sdk/analytics/i_plugin.h>
#include <vorn/sdk/helpers/ref_countable.h>
#include <vorn/sdk/i_host_services.h>
#include <vorn/sdk/ptr.h>
#include <vorn/sdk/result.h>

namespace vorn::sdk::analytics {

class Plugin : public RefCountable<IPlugin>
{
public:
    /** Makes a new engine with one reference for the caller, or returns null when it cannot. */
    using CreateEngine = std::function<IEngine*(Plugin* plugin)>;

    Plugin();

    /** The older form: the manifest text and an engine factory instead of overrides. */
    Plugin(std::string pluginManifest, CreateEngine createEngine);

    ~Plugin() override;

    /** Keeps a reference of its own to the host services; null drops them. */
    void attachHostServices(IHostServices* hostServices) override;

    /** A new String with the manifest given to the constructor or, without one, manifestString(). */
    void getManifest(Result<const IString*>* outResult) const override;

    /** The factory's engine, or doObtainEngine()'s result; see the file comment for failures. */
    void obtainEngine(Result<IEngine*>* outResult) override;

    /** The attached host services with a reference for the caller, or null while none are attached. */
    Ptr<IHostServices> hostServices() const;

protected:
    /** Not called by anything; kept for the layout of the class. */
    virtual std::string reservedOperation();

    /** Without a factory, obtainEngine() returns this. The default reports and fails with -1000. */
    virtual Result<IEngine*> doObtainEngine();

    /** Without a manifest text, getManifest() returns this. The default reports and returns "". */
    virtual std::string manifestString() const;

private:
    void logLifeCycleEvent(const char* event) const noexcept;
    void logError(std::string_view message) const noexcept;

    std::string m_pluginManifest;
    CreateEngine m_createEngine;
    mutable std::mutex m_hostServicesMutex; //< Guards m_hostServices.
    Ptr<IHostServices> m_hostServices;
};

} // namespace vorn::sdk::analytics
