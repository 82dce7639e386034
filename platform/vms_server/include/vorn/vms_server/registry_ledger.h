// RegistryLedger: the server's record of every registration and unregistration of a plugin library's
// reference-counted objects, kept apart from the registry object itself.
//
// The plugin library's context takes the registry over and deletes it when the library is unloaded, so
// the records live here, shared between the host and the registry, and outlive both:
//
//     auto ledger = std::make_shared<RegistryLedger>();
//     libContext->setRefCountableRegistry(new ObjectRegistry(ledger)); // the context owns the registry
//     ... run the plugin, release everything ...
//     EXPECT_TRUE(ledger->isClean()) << ledger->report();              // no object alive, no fault
//
// Every object must be registered once and unregistered once. An unregistration without a live
// registration (twice, or never registered) and a second registration of a live object are faults.
// All members are thread-safe: plugins create and destroy objects on any thread.
//
// A plugin registers and unregisters objects for every event it reports, so the ledger keeps its records
// without an allocation per object once it has seen its busiest moment: the record of a dead object is
// kept for the next new one, and the recently dead are a ring of fixed size.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace vorn::vms_server {

class RegistryLedger
{
public:
    // Remembering every dead object would grow without end on a long run; a double unregistration
    // follows the first one closely, so the most recent ones are enough to name the fault precisely.
    static constexpr std::size_t kMaxRememberedDeadObjects = 65536;

    void recordRegistration(const void* object, int32_t refCount);
    void recordUnregistration(const void* object, int32_t refCount);
    void recordRegistryDeleted();

    /** Objects registered and not yet unregistered. */
    int64_t liveCount() const;
    int64_t registrationCount() const;
    int64_t unregistrationCount() const;
    /** True once the plugin library's context has deleted the registry (at unload). */
    bool registryDeleted() const;
    /** One text per fault, in the order they happened. */
    std::vector<std::string> faults() const;

    /** No object alive and no fault. */
    bool isClean() const;
    /** A one-paragraph summary for test failures and logs. */
    std::string report() const;

private:
    using LiveRecords = std::unordered_map<const void*, int32_t>;

    void rememberDead(const void* object);
    bool isRecentlyDead(const void* object) const;

    mutable std::mutex m_recordsMutex;
    LiveRecords m_live; //< Object -> count given at registration.
    /** Records of dead objects, kept for new ones: no more than were ever alive at once. */
    std::vector<LiveRecords::node_type> m_spareRecords;
    /** The last kMaxRememberedDeadObjects dead objects, m_nextDead the oldest once it is full. */
    std::vector<const void*> m_recentlyDead;
    std::size_t m_nextDead = 0;
    int64_t m_registrations = 0;
    int64_t m_unregistrations = 0;
    bool m_registryDeleted = false;
    std::vector<std::string> m_faults;
};

} // namespace vorn::vms_server
