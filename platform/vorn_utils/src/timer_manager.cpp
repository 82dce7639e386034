#include <vorn/utils/timer_manager.h>

#include <algorithm>

#include <pthread.h>

namespace vorn::utils {

TimerManager::TimerManager(const QString& name, QObject* parent)
    : QObject(parent)
{
    setObjectName(name);
    m_thread = std::thread([this] { run(); });
    if (!name.isEmpty()) {
        // Linux limits thread names to 15 bytes.
        pthread_setname_np(m_thread.native_handle(), name.toUtf8().left(15).constData());
    }
}

TimerManager::~TimerManager()
{
    stop();
}

TimerManager::TimerId TimerManager::addTimer(TimerEventHandler* handler, std::chrono::milliseconds delay)
{
    return addTimer([handler](TimerId id) { handler->onTimer(id); }, delay);
}

TimerManager::TimerId TimerManager::addTimer(std::function<void(TimerId)> handler, std::chrono::milliseconds delay)
{
    const std::lock_guard lock(m_mutex);
    const TimerId id = m_nextId++;
    m_timers.emplace(id, Timer{Clock::now() + std::max(delay, std::chrono::milliseconds(0)), std::move(handler)});
    m_wakeUp.notify_all();
    return id;
}

void TimerManager::joinAndDeleteTimer(TimerId timerId)
{
    std::unique_lock lock(m_mutex);
    m_timers.erase(timerId);
    if (std::this_thread::get_id() == m_thread.get_id())
        return;
    m_handlerDone.wait(lock, [&] { return m_runningId != timerId; });
}

std::size_t TimerManager::pendingCount() const
{
    const std::lock_guard lock(m_mutex);
    return m_timers.size();
}

void TimerManager::stop()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_timers.clear();
        m_wakeUp.notify_all();
    }
    if (m_thread.joinable() && std::this_thread::get_id() != m_thread.get_id())
        m_thread.join();
}

void TimerManager::run()
{
    std::unique_lock lock(m_mutex);
    while (!m_stopping) {
        // The earliest deadline; few timers live at once, so a scan is enough.
        auto next = m_timers.end();
        for (auto it = m_timers.begin(); it != m_timers.end(); ++it) {
            if (next == m_timers.end() || it->second.deadline < next->second.deadline)
                next = it;
        }
        if (next == m_timers.end()) {
            m_wakeUp.wait(lock);
            continue;
        }
        if (Clock::now() < next->second.deadline) {
            // A copy: wait_until() reads the deadline again once it wakes, and by then the timer may be gone
            // (cancelled or dropped by stop() while the lock was free).
            const Clock::time_point deadline = next->second.deadline;
            m_wakeUp.wait_until(lock, deadline);
            continue;
        }
        const TimerId id = next->first;
        std::function<void(TimerId)> handler = std::move(next->second.handler);
        m_timers.erase(next);
        m_runningId = id;
        lock.unlock();
        handler(id);
        lock.lock();
        m_runningId = 0;
        m_handlerDone.notify_all();
    }
}

} // namespace vorn::utils
