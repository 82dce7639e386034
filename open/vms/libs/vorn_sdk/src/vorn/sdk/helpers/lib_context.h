// The library context: the one static object of a plugin library that carries the library's name and
// the server's object registry, and the library's exported entry points around it.
//
// The server calls vornLibContext(), names the context once and hands it the registry once; the
// context owns the registry from then on and deletes it when the library is unloaded:
//
//     vorn::sdk::ILibContext* context = vornLibContext();
//     context->setName("larkspur");
//     context->setRefCountableRegistry(new ServerRegistry()); // owned by the context now
//
// Inside the library, libContext() reaches the same object. The reference-counting helpers and the
// plugin's log lines do not call it: they read the active context through detail::, which is safe from
// any thread and answers "no registry" once the context has been destroyed at unload (objects that die
// later, from other static destructors, must not touch it).
#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <string>

#include <vorn/sdk/entry_points.h>
#include <vorn/sdk/i_lib_context.h>

namespace vorn::sdk {

class LibContext : public ILibContext
{
public:
    static constexpr const char* kDefaultName = "unnamed_lib_context";
    static constexpr const char* kIncorrectName = "incorrectly_named_lib_context";

    LibContext() = default;
    LibContext(const LibContext&) = delete;
    LibContext& operator=(const LibContext&) = delete;

    /** Deletes the registry, if one was set. */
    ~LibContext() override;

    /**
     * The name can be set once from the default; setting the same name again is accepted. A null or
     * empty first name is reported and becomes kIncorrectName; any later change is reported and refused.
     */
    void setName(const char* name) override;

    /** Takes the registry over; a second one is reported and dropped untouched. Null sets nothing. */
    void setRefCountableRegistry(IRefCountableRegistry* registry) override;

    /** Safe from any thread. */
    std::string name() const;

    /** Safe from any thread; null while none is set. */
    IRefCountableRegistry* refCountableRegistry() const
    {
        return m_refCountableRegistry.load(std::memory_order_acquire);
    }

private:
    mutable std::mutex m_nameAndRegistryMutex; //< Serialises setName and setRefCountableRegistry.
    std::string m_name = kDefaultName;         //< Guarded by m_nameAndRegistryMutex.
    // Written under the mutex, read without it.
    std::atomic<IRefCountableRegistry*> m_refCountableRegistry{nullptr};
};

/** The library's context; the same object that vornLibContext() hands to the server. */
LibContext& libContext();

/** A copy of the options last passed to vornSetUnitTestOptions(). */
std::map<std::string, std::string> unitTestOptions();

namespace detail {

/**
 * The registry of the active context: the library's context while it lives (or a test's context, see
 * ScopedActiveLibContext), null when it has none or has been destroyed. Never creates the context.
 */
IRefCountableRegistry* activeRefCountableRegistry();

/** The name of the active context; LibContext::kDefaultName when there is none. */
std::string activeLibContextName();

/**
 * Makes a context of the caller's the active one while this object lives, so a test can start from a
 * fresh name and registry. libContext() and vornLibContext() are not affected. Not nestable across
 * threads; meant for tests only.
 */
class ScopedActiveLibContext
{
public:
    explicit ScopedActiveLibContext(LibContext* context);
    ~ScopedActiveLibContext();

    ScopedActiveLibContext(const ScopedActiveLibContext&) = delete;
    ScopedActiveLibContext& operator=(const ScopedActiveLibContext&) = delete;

private:
    LibContext* m_previous = nullptr;
};

} // namespace detail

} // namespace vorn::sdk

VORN_PLUGIN_API vorn::sdk::ILibContext* vornLibContext();
VORN_PLUGIN_API const char* vornSdkVersion();
VORN_PLUGIN_API void vornSetUnitTestOptions(const vorn::sdk::IOptionMap* options);
