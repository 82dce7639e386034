#include <vorn/vms_server/plugin_library.h>

#include <dlfcn.h>

#include <utility>

#include <vorn/vms_server/object_registry.h>

namespace vorn::vms_server {

namespace {

std::string loaderError()
{
    const char* text = dlerror();
    return text ? std::string(text) : std::string("unknown loader error");
}

template <class Function>
Function findSymbol(void* handle, const char* name)
{
    dlerror(); // Clears an earlier error, so a null result can be told from a null symbol.
    return reinterpret_cast<Function>(dlsym(handle, name));
}

std::string defaultContextName(const std::string& path)
{
    std::string name = path.substr(path.find_last_of('/') + 1);
    if (name.starts_with("lib"))
        name.erase(0, 3);
    if (const auto dot = name.find(".so"); dot != std::string::npos && dot > 0)
        name.erase(dot);
    return name;
}

} // namespace

std::unique_ptr<PluginLibrary> PluginLibrary::load(const std::string& path, std::shared_ptr<RegistryLedger> ledger,
                                                   std::string* errorMessage, const std::string& contextName)
{
    auto fail = [&](std::string text) {
        if (errorMessage)
            *errorMessage = std::move(text);
        return nullptr;
    };

    // A bare file name would make dlopen search the system's library folders instead of the given file.
    const std::string openPath = path.find('/') == std::string::npos ? "./" + path : path;
    // A second load of a loaded library shares its one library context, whose registry is already
    // set: the new ledger would see nothing. The server loads each library once.
    if (void* loaded = dlopen(openPath.c_str(), RTLD_NOW | RTLD_NOLOAD)) {
        dlclose(loaded);
        return fail("Plugin library " + path + " is already loaded in this process");
    }

    std::unique_ptr<PluginLibrary> library(new PluginLibrary());
    library->m_path = path;
    library->m_ledger = std::move(ledger);
    library->m_handle = dlopen(openPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library->m_handle)
        return fail("Cannot load plugin library " + path + ": " + loaderError());

    const auto libContext = findSymbol<sdk::LibContextFunc>(library->m_handle, sdk::kLibContextFuncName);
    if (!libContext) {
        return fail("Plugin library " + path + " has no entry point " + sdk::kLibContextFuncName + ": " +
                    loaderError());
    }
    library->m_createPluginByIndex =
        findSymbol<sdk::CreatePluginByIndexFunc>(library->m_handle, sdk::kCreatePluginByIndexFuncName);
    library->m_createPlugin = findSymbol<sdk::CreatePluginFunc>(library->m_handle, sdk::kCreatePluginFuncName);
    if (!library->m_createPluginByIndex && !library->m_createPlugin) {
        return fail("Plugin library " + path + " has neither " + sdk::kCreatePluginByIndexFuncName + " nor " +
                    sdk::kCreatePluginFuncName + ": " + loaderError());
    }
    library->m_setUnitTestOptions =
        findSymbol<sdk::SetUnitTestOptionsFunc>(library->m_handle, sdk::kSetUnitTestOptionsFuncName);
    if (const auto sdkVersion = findSymbol<sdk::SdkVersionFunc>(library->m_handle, sdk::kSdkVersionFuncName)) {
        if (const char* version = sdkVersion())
            library->m_sdkVersion = version;
    }

    sdk::ILibContext* context = libContext();
    if (!context)
        return fail("Plugin library " + path + " returned no library context");
    library->m_contextName = contextName.empty() ? defaultContextName(path) : contextName;
    context->setName(library->m_contextName.c_str());
    context->setRefCountableRegistry(new ObjectRegistry(library->m_ledger));
    return library;
}

PluginLibrary::~PluginLibrary()
{
    unload();
}

sdk::Ptr<sdk::IPlugin> PluginLibrary::createPlugin(int index) const
{
    if (m_createPluginByIndex)
        return sdk::toPtr(m_createPluginByIndex(index));
    if (index == 0 && m_createPlugin)
        return sdk::toPtr(m_createPlugin());
    return nullptr;
}

bool PluginLibrary::setUnitTestOptions(const sdk::IOptionMap* options) const
{
    if (!m_setUnitTestOptions)
        return false;
    m_setUnitTestOptions(options);
    return true;
}

std::string PluginLibrary::unload()
{
    void* handle = std::exchange(m_handle, nullptr);
    if (!handle)
        return {};
    if (dlclose(handle) != 0)
        return "Cannot unload plugin library " + m_path + ": " + loaderError();
    return {};
}

void PluginLibrary::keepLoaded()
{
    m_handle = nullptr;
}

} // namespace vorn::vms_server
