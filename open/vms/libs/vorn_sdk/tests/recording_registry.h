// Test support: an object registry that records every call into a log that the test owns, so the log
// outlives the registry (the library context deletes its registry).
#pragma once

#include <cstdint>
#include <vector>

#include <vorn/sdk/i_lib_context.h>

namespace vorn::sdk::test {

struct RegistryCall
{
    enum class Kind { registered, unregistered, registryDeleted };

    Kind kind;
    const IRefCountable* object;
    int32_t refCount;

    bool operator==(const RegistryCall&) const = default;
};

class RecordingRegistry : public IRefCountableRegistry
{
public:
    explicit RecordingRegistry(std::vector<RegistryCall>* log)
        : m_log(log)
    {}
    ~RecordingRegistry() override { m_log->push_back({RegistryCall::Kind::registryDeleted, nullptr, 0}); }

    void registerObject(const IRefCountable* object, int32_t refCount) override
    {
        m_log->push_back({RegistryCall::Kind::registered, object, refCount});
    }

    void unregisterObject(const IRefCountable* object, int32_t refCount) override
    {
        m_log->push_back({RegistryCall::Kind::unregistered, object, refCount});
    }

private:
    std::vector<RegistryCall>* m_log;
};

} // namespace vorn::sdk::test
