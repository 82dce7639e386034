// ServerRefCountable<I>: the server's own implementation of the reference-counted interface model for the
// objects it hands to plugins (host services, option maps, device descriptions, receivers, packets).
//
// The server is a separate product from the plugins' SDK helpers, so it carries its own small counter
// instead of linking theirs. Server objects never register with a plugin's object registry: that registry
// accounts for the plugin's objects only.
//
//     class OptionMap final: public ServerRefCountable<sdk::IOptionMap> { ... };
//
//     sdk::Ptr<OptionMap> settings = sdk::makePtr<OptionMap>(); // adopts the first reference
//     deviceAgent->applySettings(&result, settings.get());      // the plugin borrows or retains it
//
// An object is born with count 1 and deletes itself on the release that brings the count to 0, on
// whatever thread that happens. Objects live on the heap only: the destructors are not public.
#pragma once

#include <atomic>
#include <cassert>
#include <cstdint>

#include <vorn/sdk/interface.h>

namespace vorn::vms_server {

template <class I>
class ServerRefCountable : public I
{
public:
    ServerRefCountable(const ServerRefCountable&) = delete;
    ServerRefCountable& operator=(const ServerRefCountable&) = delete;

    sdk::IRefCountable* findInterface(const char* interfaceId) override
    {
        return this->findInterfaceInChain(interfaceId);
    }

    int32_t retain() const override { return m_refCount.fetch_add(1, std::memory_order_relaxed) + 1; }

    int32_t release() const override
    {
        const int32_t count = m_refCount.fetch_sub(1, std::memory_order_acq_rel) - 1;
        assert(count >= 0 && "released more often than retained");
        if (count == 0)
            delete this;
        return count;
    }

    /** A plain read, for tests and diagnostics; another thread may change it at once. */
    int32_t refCount() const { return m_refCount.load(std::memory_order_relaxed); }

protected:
    ServerRefCountable() = default;
    ~ServerRefCountable() override
    {
        assert(m_refCount.load(std::memory_order_relaxed) == 0 && "destroyed with references left");
    }

private:
    mutable std::atomic<int32_t> m_refCount{1};
};

} // namespace vorn::vms_server
