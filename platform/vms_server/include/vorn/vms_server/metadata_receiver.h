// MetadataReceiver: the server's IMetadataReceiver for one device agent. Every packet and diagnostic
// event is deep-copied into plain records (received_metadata.h) during the plugin's call, so the copies
// outlive the plugin's objects; tests and the host tool read the copies.
//
//     auto receiver = sdk::makePtr<MetadataReceiver>();
//     deviceAgent->attachReceiver(receiver.get());
//     deviceAgent->selectMetadataTypes(&result, selection.get());
//     ASSERT_TRUE(receiver->waitForRecords(2, std::chrono::seconds(10)));
//     const auto records = receiver->records(); // in the order of arrival
//
// Thread-safe: plugins call it from any of their threads, concurrently. The optional listener runs on
// the plugin's calling thread after the record is stored, without any lock held, so listeners of
// concurrent calls may run at the same time and must be thread-safe themselves.
//
// A receiver that only feeds its listener (Retention::listenerOnly, the host tool's, which may run for
// hours against a camera that sends images) keeps no copies: records() stays empty, while
// recordCount() and waitForRecords() still count what arrived.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <vector>

#include <vorn/sdk/analytics/i_metadata_receiver.h>
#include <vorn/vms_server/received_metadata.h>
#include <vorn/vms_server/server_ref_countable.h>

namespace vorn::vms_server {

class MetadataReceiver final : public ServerRefCountable<sdk::analytics::IMetadataReceiver>
{
public:
    using Listener = std::function<void(const ReceivedRecord&)>;

    // Limits on what one call may make the server copy; a packet beyond them is recorded as a
    // ReceiverFault instead. Real packets carry a few dozen items with a few attributes each.
    static constexpr int32_t kMaxItemsPerPacket = 100'000;         //< Bounds the work and memory of one packet.
    static constexpr int32_t kMaxAttributesPerItem = 10'000;       //< Bounds the work of one item.
    static constexpr int32_t kMaxImageDataSize = 64 * 1024 * 1024; //< Bounds the memory of one best shot.

    enum class Retention { keepRecords, listenerOnly };

    explicit MetadataReceiver(Listener listener = {}, Retention retention = Retention::keepRecords);

    void receiveMetadata(sdk::analytics::IMetadataPacket* metadataPacket) override;
    void receiveDiagnosticEvent(sdk::IPluginDiagnosticEvent* event) override;

    /** A copy of everything received so far, in the order of arrival; empty when not retained. */
    std::vector<ReceivedRecord> records() const;
    /** How many records have arrived, retained or not. */
    std::size_t recordCount() const;

    /** Waits until at least count records have arrived; false when the deadline passes first. */
    bool waitForRecords(std::size_t count, std::chrono::steady_clock::time_point deadline) const;

    template <class Rep, class Period>
    bool waitForRecords(std::size_t count, std::chrono::duration<Rep, Period> timeout) const
    {
        return waitForRecords(count, std::chrono::steady_clock::now() + timeout);
    }

private:
    ~MetadataReceiver() override = default;

    void store(ReceivedRecord record);

    const Listener m_listener;
    const Retention m_retention;

    mutable std::mutex m_recordsMutex; //< Guards m_records; waiters wait under it.
    mutable std::condition_variable m_recordsChanged;
    std::vector<ReceivedRecord> m_records;
    std::atomic<std::size_t> m_recordCount{0}; //< Raised after the record is kept, under the mutex when kept.
    mutable std::atomic<int> m_waiterCount{0}; //< Callers inside waitForRecords(); a record notifies only them.
};

} // namespace vorn::vms_server
