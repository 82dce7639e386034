// Helpers of the I/O-thread tests: waiting for a completion with a deadline instead of a sleep, and
// signals that a completion sets once.
#pragma once

#include <chrono>
#include <future>
#include <memory>

#include <vorn/network/aio/abstract_aio_thread.h>

namespace vorn::network::aio::test {

// Long enough for a loaded machine, short enough that a hang fails instead of blocking the suite.
constexpr std::chrono::seconds kDeadline{10};

// A value that a completion on another thread delivers once; copies share it, so a handler can own one.
template <typename T = bool>
class Signal
{
public:
    void set(T value = T())
    {
        if (!m_state->set.exchange(true))
            m_state->promise.set_value(std::move(value));
    }

    // True when the value came within the deadline.
    bool wait() const { return m_future.wait_for(kDeadline) == std::future_status::ready; }
    bool isSet() const { return m_future.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }
    T value() const { return m_future.get(); }

private:
    struct State
    {
        std::promise<T> promise;
        std::atomic<bool> set{false};
    };
    std::shared_ptr<State> m_state = std::make_shared<State>();
    std::shared_future<T> m_future = m_state->promise.get_future().share();
};

// Returns after everything that `thread` had queued before this call has run.
inline void drain(AbstractAioThread* thread)
{
    thread->executeSync([] {});
}

} // namespace vorn::network::aio::test
