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
    const Deadline deadline = Clock::now() + std::clamp(delay, std::chrono::milliseconds(0), kMaxDelay);
    const std::lock_guard lock(m_mutex);
    const TimerId id = m_nextId++;
    m_timers.emplace(id, Timer{deadline, std::move(handler)});
    const auto position = m_byDeadline.emplace(deadline, id).first;
    // The thread sleeps until the first deadline it knows of; only a new first one changes that.
    if (position == m_byDeadline.begin())
        m_wakeUp.notify_all();
    return id;
}

void TimerManager::joinAndDeleteTimer(TimerId timerId)
{
    std::unique_lock lock(m_mutex);
    // The thread may be asleep until this timer's deadline; it wakes then, finds the next one and sleeps
    // again, which is cheaper than waking it now for every delete.
    if (const auto found = m_timers.find(timerId); found != m_timers.end()) {
        m_byDeadline.erase({found->second.deadline, timerId});
        m_timers.erase(found);
    }
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
        m_byDeadline.clear();
        m_wakeUp.notify_all();
    }
    if (m_thread.joinable() && std::this_thread::get_id() != m_thread.get_id())
        m_thread.join();
}

void TimerManager::run()
{
    std::unique_lock lock(m_mutex);
    while (!m_stopping) {
        if (m_byDeadline.empty()) {
            m_wakeUp.wait(lock);
            continue;
        }
        // Copies: while the thread waits the lock is free, and the timer may go (cancelled, or dropped by
        // stop()).
        const auto [deadline, id] = *m_byDeadline.begin();
        const Deadline now = Clock::now();
        if (now < deadline) {
            // In real time, so that a time scale shortens the wait; the loop reads the clock again after it.
            m_wakeUp.wait_for(lock, Clock::toRealDuration(deadline - now));
            continue;
        }
        m_byDeadline.erase(m_byDeadline.begin());
        m_runningId = id;
        {
            // The timer leaves the map here and is destroyed outside the lock, with what its handler holds.
            auto timer = m_timers.extract(id);
            lock.unlock();
            timer.mapped().handler(id);
        }
        lock.lock();
        m_runningId = 0;
        m_handlerDone.notify_all();
    }
}

} // namespace vorn::utils
