// vorn::utils::SyncResult and vorn::utils::FulfilOnDestruction: turn an asynchronous operation into a
// synchronous wait whose end does not depend on the completion being called.
//
//     auto result = std::make_shared<SyncResult<std::unique_ptr<Item>>>();
//     fetchAsync([fulfiller = FulfilOnDestruction(result)](std::unique_ptr<Item> item) mutable {
//         fulfiller.fulfil(std::move(item));
//     });
//     std::unique_ptr<Item> item = result->wait(); // null when the completion was dropped unrun
//
// Rules:
// - A result is fulfilled once: the first value stays, later ones are dropped.
// - The fulfiller travels inside the completion. When the completion is destroyed without having run (an
//   operation guard was reset, a client was stopped), the fulfiller's destructor fulfils the result with
//   a value-initialised T, so the waiting thread goes on instead of waiting for ever. A moved-from
//   fulfiller fulfils nothing.
// - wait() blocks until the result is fulfilled and moves the value out: call it once, from one thread.
//   fulfil() may run on any thread, also before the wait starts.
// - Never wait on the thread that is to run the completion.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <utility>

namespace vorn::utils {

template <typename T>
class SyncResult
{
public:
    /** Stores the value and wakes the waiter; does nothing once the result is fulfilled. */
    void fulfil(T value)
    {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            if (m_ready)
                return;
            m_value = std::move(value);
            m_ready = true;
        }
        m_condition.notify_all();
    }

    T wait()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_condition.wait(lock, [this] { return m_ready; });
        return std::move(m_value);
    }

private:
    std::mutex m_mutex; //< Guards m_ready and m_value.
    std::condition_variable m_condition;
    bool m_ready = false;
    T m_value{};
};

template <typename T>
class FulfilOnDestruction
{
public:
    explicit FulfilOnDestruction(std::shared_ptr<SyncResult<T>> result)
        : m_result(std::move(result))
    {}
    FulfilOnDestruction(FulfilOnDestruction&&) noexcept = default;
    FulfilOnDestruction& operator=(FulfilOnDestruction&& other) noexcept
    {
        if (this != &other) {
            fulfil(T{});
            m_result = std::move(other.m_result);
        }
        return *this;
    }
    FulfilOnDestruction(const FulfilOnDestruction&) = delete;
    FulfilOnDestruction& operator=(const FulfilOnDestruction&) = delete;
    ~FulfilOnDestruction() { fulfil(T{}); }

    /** Fulfils the result with the value; later calls, and the destructor, do nothing. */
    void fulfil(T value)
    {
        if (const std::shared_ptr<SyncResult<T>> result = std::exchange(m_result, nullptr))
            result->fulfil(std::move(value));
    }

private:
    std::shared_ptr<SyncResult<T>> m_result;
};

} // namespace vorn::utils
