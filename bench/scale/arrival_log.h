// ArrivalLog: where the receivers of a scale run note when each push arrived, from any thread.
//
//     auto arrivals = std::make_shared<ArrivalLog>();
//     ... receivers call arrivals->note(sequenceOf(record)) on the plugin's threads ...
//     arrivals->expect(20'000);                         // before the first push
//     farm.push(10'000, 20'000);
//     arrivals->waitForAll(deadline);
//     latency(k) = arrivals->arrivalNs(k) - sendNs[k];  // 0: push k did not arrive
//
// note() is lock-free but for the last expected arrival, which wakes the waiter. Times are steady_clock
// nanoseconds, the clock that the camera process reads too.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>

namespace vorn::bench::scale {

class ArrivalLog
{
public:
    // Before the first push: the arrival times are allocated only once the idle figures are taken.
    void expect(std::size_t count)
    {
        m_arrivalNs = std::make_unique<std::atomic<std::int64_t>[]>(count);
        m_expected.store(count, std::memory_order_release);
    }

    void note(std::optional<std::uint32_t> sequence)
    {
        const std::int64_t arrived = std::chrono::steady_clock::now().time_since_epoch() / std::chrono::nanoseconds(1);
        // Acquire: pairs with expect()'s release, so a non-zero count comes with the allocated times.
        const std::size_t expected = m_expected.load(std::memory_order_acquire);
        if (!sequence || *sequence >= expected) {
            m_unexpected.fetch_add(1, std::memory_order_relaxed);
            return;
        }
        std::int64_t none = 0;
        if (!m_arrivalNs[*sequence].compare_exchange_strong(none, arrived)) {
            m_unexpected.fetch_add(1, std::memory_order_relaxed); // A second arrival of the same push.
            return;
        }
        if (m_received.fetch_add(1, std::memory_order_acq_rel) + 1 == expected) {
            const std::lock_guard lock(m_mutex);
            m_allArrived = true;
            m_arrived.notify_all();
        }
    }

    bool waitForAll(std::chrono::steady_clock::time_point deadline)
    {
        std::unique_lock lock(m_mutex);
        return m_arrived.wait_until(lock, deadline, [this] { return m_allArrived; });
    }

    std::int64_t arrivalNs(std::size_t sequence) const { return m_arrivalNs[sequence].load(std::memory_order_acquire); }
    std::size_t received() const { return m_received.load(std::memory_order_acquire); }
    std::size_t unexpected() const { return m_unexpected.load(std::memory_order_relaxed); }

private:
    std::unique_ptr<std::atomic<std::int64_t>[]> m_arrivalNs;
    std::atomic<std::size_t> m_expected{0};
    std::atomic<std::size_t> m_received{0};
    std::atomic<std::size_t> m_unexpected{0};

    std::mutex m_mutex; //< Guards m_allArrived.
    std::condition_variable m_arrived;
    bool m_allArrived = false;
};

} // namespace vorn::bench::scale
