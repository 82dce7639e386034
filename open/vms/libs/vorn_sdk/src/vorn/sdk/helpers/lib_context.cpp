#include "lib_context.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

#include <vorn/kit/debug.h>
#include <vorn/kit/utils.h>

namespace vorn::sdk {

namespace {

constexpr const char* kSdkVersion = "5.1.4 R1";

// Both are constant-initialised and trivially destructible, so they stay readable while other static
// destructors run at unload, before and after the library's context dies.
constinit std::atomic<LibContext*> g_libraryContext{nullptr}; //< The static context while it lives.
constinit std::atomic<LibContext*> g_testContext{nullptr};    //< Set by ScopedActiveLibContext only.

LibContext* activeContext()
{
    if (LibContext* context = g_testContext.load(std::memory_order_acquire))
        return context;
    return g_libraryContext.load(std::memory_order_acquire);
}

// The library's one context: publishes itself while it lives, so that nothing reaches it once its
// destructor has started.
class LibraryContext : public LibContext
{
public:
    LibraryContext() { g_libraryContext.store(this, std::memory_order_release); }
    ~LibraryContext() override { g_libraryContext.store(nullptr, std::memory_order_release); }
};

void printReport(const std::string& text)
{
    kit::debug::stream() << ("[vorn::sdk::LibContext] " + text + "\n");
}

void reportAssertion(const char* condition, const std::string& message, int line)
{
    kit::debug::detail::assertionFailed(&printReport, condition, message, __FILE__, line);
}

// printf-style formatting; the format itself when formatting fails.
__attribute__((format(printf, 1, 2))) std::string formatMessage(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    va_list argsCopy;
    va_copy(argsCopy, args);
    const int size = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string result = format;
    if (size >= 0) {
        std::vector<char> buffer(static_cast<size_t>(size) + 1);
        if (std::vsnprintf(buffer.data(), buffer.size(), format, argsCopy) >= 0)
            result.assign(buffer.data(), static_cast<size_t>(size));
    }
    va_end(argsCopy);
    return result;
}

struct UnitTestOptions
{
    std::mutex mutex; //< Guards options.
    std::map<std::string, std::string> options;
};

UnitTestOptions& unitTestOptionStore()
{
    static UnitTestOptions store;
    return store;
}

} // namespace

LibContext::~LibContext()
{
    delete m_refCountableRegistry.exchange(nullptr, std::memory_order_acq_rel);
}

void LibContext::setName(const char* name)
{
    std::string refusal;
    bool nullName = false;
    bool emptyName = false;
    {
        const std::lock_guard lock(m_nameAndRegistryMutex);
        // A null name is a different name: it can never equal the one held.
        const bool mayChange = m_name == kDefaultName || (name && m_name == name);
        if (!mayChange) {
            refusal = formatMessage("Attempt to change LibContext name from %s to %s.",
                                    kit::utils::toString(m_name).c_str(), kit::utils::toString(name).c_str());
        } else {
            nullName = !name;
            emptyName = name && name[0] == '\0';
            m_name = (nullName || emptyName) ? kIncorrectName : name;
        }
    }

    // Reported after unlocking: the print function writes to a stream we do not own.
    if (!refusal.empty())
        reportAssertion("m_name == kDefaultName || m_name == std::string(name)", refusal, __LINE__);
    else if (nullName)
        reportAssertion("name", "", __LINE__);
    else if (emptyName)
        reportAssertion("name[0] != '\\0'", "", __LINE__);
}

void LibContext::setRefCountableRegistry(IRefCountableRegistry* registry)
{
    bool alreadySet = false;
    {
        const std::lock_guard lock(m_nameAndRegistryMutex);
        if (m_refCountableRegistry.load(std::memory_order_relaxed))
            alreadySet = true;
        else
            m_refCountableRegistry.store(registry, std::memory_order_release);
    }
    if (alreadySet)
        reportAssertion("!m_refCountableRegistry", "LibContext refCountableRegistry has already been set.", __LINE__);
}

std::string LibContext::name() const
{
    const std::lock_guard lock(m_nameAndRegistryMutex);
    return m_name;
}

LibContext& libContext()
{
    static LibraryContext context;
    return context;
}

std::map<std::string, std::string> unitTestOptions()
{
    UnitTestOptions& store = unitTestOptionStore();
    const std::lock_guard lock(store.mutex);
    return store.options;
}

namespace detail {

IRefCountableRegistry* activeRefCountableRegistry()
{
    const LibContext* context = activeContext();
    return context ? context->refCountableRegistry() : nullptr;
}

std::string activeLibContextName()
{
    const LibContext* context = activeContext();
    return context ? context->name() : LibContext::kDefaultName;
}

ScopedActiveLibContext::ScopedActiveLibContext(LibContext* context)
    : m_previous(g_testContext.exchange(context, std::memory_order_acq_rel))
{}

ScopedActiveLibContext::~ScopedActiveLibContext()
{
    g_testContext.store(m_previous, std::memory_order_release);
}

} // namespace detail

} // namespace vorn::sdk

vorn::sdk::ILibContext* vornLibContext()
{
    return &vorn::sdk::libContext();
}

const char* vornSdkVersion()
{
    return vorn::sdk::kSdkVersion;
}

void vornSetUnitTestOptions(const vorn::sdk::IOptionMap* options)
{
    if (!options)
        return;

    std::map<std::string, std::string> newOptions;
    // The count is read again before every step: the map belongs to the caller.
    for (int32_t i = 0; i < options->count(); ++i) {
        const char* key = options->keyAt(i);
        const char* value = options->valueAt(i);
        if (!key || !value)
            continue;
        newOptions.emplace(key, value); //< A repeated key keeps its first value.
    }

    auto& store = vorn::sdk::unitTestOptionStore();
    const std::lock_guard lock(store.mutex);
    store.options = std::move(newOptions);
}
