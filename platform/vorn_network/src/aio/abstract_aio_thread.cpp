#include <vorn/network/aio/abstract_aio_thread.h>

#include <condition_variable>
#include <memory>
#include <mutex>

namespace vorn::network::aio {

namespace {

// Where executeSync() waits: opened when the posted task has run `func`, or when the task is destroyed
// without having run it to its end (the loop stopped and dropped it, or `func` threw), so that the caller
// can never be left waiting for ever.
class Barrier
{
public:
    void open(bool started)
    {
        const std::lock_guard lock(m_mutex);
        if (m_open)
            return;
        m_open = true;
        m_started = started;
        m_opened.notify_all();
    }

    // True when the task started `func`.
    bool wait()
    {
        std::unique_lock lock(m_mutex);
        m_opened.wait(lock, [this] { return m_open; });
        return m_started;
    }

private:
    std::mutex m_mutex; //< Guards m_open and m_started.
    std::condition_variable m_opened;
    bool m_open = false;
    bool m_started = false;
};

class BarrierOpener
{
public:
    explicit BarrierOpener(std::shared_ptr<Barrier> barrier)
        : m_barrier(std::move(barrier))
    {}
    BarrierOpener(BarrierOpener&&) noexcept = default;
    BarrierOpener& operator=(BarrierOpener&&) noexcept = default;
    ~BarrierOpener()
    {
        if (m_barrier)
            m_barrier->open(m_started);
    }

    void run(utils::MoveOnlyFunc<void()>& func)
    {
        m_started = true; // Should `func` throw, it must not run a second time on the caller.
        func();
        m_barrier->open(m_started);
    }

private:
    std::shared_ptr<Barrier> m_barrier;
    bool m_started = false;
};

} // namespace

bool AbstractAioThread::dispatch(utils::MoveOnlyFunc<void()> func)
{
    if (isInSelfThread()) {
        func();
        return true;
    }
    return post(std::move(func));
}

void AbstractAioThread::executeSync(utils::MoveOnlyFunc<void()> func)
{
    if (isInSelfThread()) {
        func();
        return;
    }
    auto barrier = std::make_shared<Barrier>();
    const bool posted = post([opener = BarrierOpener(barrier), &func]() mutable { opener.run(func); });
    if (!posted || !barrier->wait())
        func(); // The loop is gone: nothing else can run on it any more.
}

} // namespace vorn::network::aio
