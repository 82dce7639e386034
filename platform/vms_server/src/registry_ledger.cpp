#include <vorn/vms_server/registry_ledger.h>

#include <algorithm>
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
    if (m_live.contains(object)) {
        m_faults.push_back("object " + addressText(object) + " registered again while alive");
        return;
    }
    if (m_spareRecords.empty()) {
        m_live.emplace(object, refCount);
        return;
    }
    LiveRecords::node_type record = std::move(m_spareRecords.back());
    m_spareRecords.pop_back();
    record.key() = object;
    record.mapped() = refCount;
    m_live.insert(std::move(record));
}

void RegistryLedger::recordUnregistration(const void* object, int32_t /*refCount*/)
{
    const std::lock_guard lock(m_recordsMutex);
    ++m_unregistrations;
    if (LiveRecords::node_type record = m_live.extract(object)) {
        m_spareRecords.push_back(std::move(record));
        rememberDead(object);
        return;
    }
    // Only a fault looks through the ring; an address reused by a new object is live, not dead.
    if (isRecentlyDead(object))
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
    if (m_recentlyDead.size() < kMaxRememberedDeadObjects) {
        if (m_recentlyDead.capacity() == 0)
            m_recentlyDead.reserve(kMaxRememberedDeadObjects);
        m_recentlyDead.push_back(object);
        return;
    }
    m_recentlyDead[m_nextDead] = object;
    m_nextDead = (m_nextDead + 1) % kMaxRememberedDeadObjects;
}

bool RegistryLedger::isRecentlyDead(const void* object) const
{
    return std::find(m_recentlyDead.begin(), m_recentlyDead.end(), object) != m_recentlyDead.end();
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
