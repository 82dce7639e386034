// PluginLibrary: one plugin library loaded as the server loads it.
//
// load() opens the library (dlopen with RTLD_NOW | RTLD_LOCAL), finds its entry points, names its
// library context and hands the context a new ObjectRegistry that records into the given ledger; from
// then on every reference-counted object of the library is accounted for there.
//
//     std::string error;
//     auto ledger = std::make_shared<RegistryLedger>();
//     auto library = PluginLibrary::load("liblarkspur.so", ledger, &error);
//     if (!library) { report(error); return; }
//     for (int i = 0; auto plugin = library->createPlugin(i); ++i) { ... }
//     ... release every object of the library ...
//     library->unload(); // or let the destructor unload
//
// Every object that came from the library must be released before it is unloaded: their code lives
// in the library. The object is used from one thread.
#pragma once

#include <memory>
#include <string>

#include <vorn/sdk/entry_points.h>
#include <vorn/sdk/i_option_map.h>
#include <vorn/sdk/i_plugin.h>
#include <vorn/sdk/ptr.h>
#include <vorn/vms_server/registry_ledger.h>

namespace vorn::vms_server {

class PluginLibrary
{
public:
    /**
     * @param contextName The name given to the library context; empty: the library's file name
     *     without the "lib" prefix and the ".so" suffix.
     * @return Null on failure, with the reason (including the loader's own text) in errorMessage.
     */
    static std::unique_ptr<PluginLibrary> load(const std::string& path, std::shared_ptr<RegistryLedger> ledger,
                                               std::string* errorMessage, const std::string& contextName = {});

    /** Unloads the library unless unload() or keepLoaded() came first. */
    ~PluginLibrary();

    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    const std::string& path() const { return m_path; }
    const std::string& contextName() const { return m_contextName; }
    /** The library's SDK version text; empty when it exports none. */
    const std::string& sdkVersion() const { return m_sdkVersion; }
    const std::shared_ptr<RegistryLedger>& ledger() const { return m_ledger; }

    bool hasCreatePluginByIndex() const { return m_createPluginByIndex != nullptr; }

    /**
     * The plugin at index, with the reference that the library hands over, or null past the last one.
     * A library that offers only createVornPlugin has the one plugin at index 0.
     */
    sdk::Ptr<sdk::IPlugin> createPlugin(int index) const;

    /** Calls vornSetUnitTestOptions when the library exports it; false when it does not. */
    bool setUnitTestOptions(const sdk::IOptionMap* options) const;

    /** dlclose; empty on success, else the loader's text. Further calls do nothing. */
    std::string unload();

    /**
     * Leaves the library mapped for the rest of the process: for when objects of it leaked and may
     * still run its code (threads, timers), which an unload would pull from under them.
     */
    void keepLoaded();

private:
    PluginLibrary() = default;

    void* m_handle = nullptr;
    std::string m_path;
    std::string m_contextName;
    std::string m_sdkVersion;
    std::shared_ptr<RegistryLedger> m_ledger;
    sdk::CreatePluginByIndexFunc m_createPluginByIndex = nullptr;
    sdk::CreatePluginFunc m_createPlugin = nullptr;
    sdk::SetUnitTestOptionsFunc m_setUnitTestOptions = nullptr;
};

} // namespace vorn::vms_server
