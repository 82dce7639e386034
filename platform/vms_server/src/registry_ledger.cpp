#include <vorn/vms_server/registry_ledger.h>

#include <cstdio>

namespace vorn::vms_server {

namespace {

std::string addressText(const void* object)
{
    char text[32];
    std::snprintf(text, sizeof(text), "%p", object);
    return text;
}

} // namespace

void RegistryLedger::recordRegistration(const void* object, int32_t refCount)
{
    const std::lock_guard lock(m_recordsMutex);
    ++m_registrations;
    if (!m_live.emplace(object, refCount).second) {
        m_faults.push_back("object " + addressText(object) + " registered again while alive");
        return;
    }
    m_recentlyDead.erase(object); // The address is reused by a new object.
}

void RegistryLedger::recordUnregistration(const void* object, int32_t /*refCount*/)
{
    const std::lock_guard lock(m_recordsMutex);
    ++m_unregistrations;
    if (m_live.erase(object) == 1) {
        rememberDead(object);
        return;
    }
    if (m_recentlyDead.contains(object))
        m_faults.push_back("object " + addressText(object) + " unregistered twice");
    else
        m_faults.push_back("object " + addressText(object) + " unregistered but never registered");
}

void RegistryLedger::recordRegistryDeleted()
{
    const std::lock_guard lock(m_recordsMutex);
    m_registryDeleted = true;
}

void RegistryLedger::rememberDead(const void* object)
{
    if (!m_recentlyDead.insert(object).second)
        return;
    m_recentlyDeadOrder.push_back(object);
    if (m_recentlyDeadOrder.size() > kMaxRememberedDeadObjects) {
        m_recentlyDead.erase(m_recentlyDeadOrder.front());
        m_recentlyDeadOrder.pop_front();
    }
}

int64_t RegistryLedger::liveCount() const
{
    const std::lock_guard lock(m_recordsMutex);
    return static_cast<int64_t>(m_live.size());
}

int64_t RegistryLedger::registrationCount() const
{
    const std::lock_guard lock(m_recordsMutex);
    return m_registrations;
}

int64_t RegistryLedger::unregistrationCount() const
{
    const std::lock_guard lock(m_recordsMutex);
    return m_unregistrations;
}

bool RegistryLedger::registryDeleted() const
{
    const std::lock_guard lock(m_recordsMutex);
    return m_registryDeleted;
}

std::vector<std::string> RegistryLedger::faults() const
{
    const std::lock_guard lock(m_recordsMutex);
    return m_faults;
}

bool RegistryLedger::isClean() const
{
    const std::lock_guard lock(m_recordsMutex);
    return m_live.empty() && m_faults.empty();
}

std::string RegistryLedger::report() const
{
    const std::lock_guard lock(m_recordsMutex);
    std::string text = std::to_string(m_registrations) + " registered, " + std::to_string(m_unregistrations) +
                       " unregistered, " + std::to_string(m_live.size()) + " alive";
    for (const auto& fault : m_faults)
        text += "; " + fault;
    return text;
}

} // namespace vorn::vms_server
