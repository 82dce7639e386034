// vorn::utils::TimerManager: one-shot timers run on one thread of their own.
//
// Rules:
// - Handlers run on the manager's thread, one at a time. The manager never holds its lock while it
//   calls a handler, so a handler may add or delete timers.
// - addTimer() only schedules: it never calls the handler itself, even for a delay of zero.
// - joinAndDeleteTimer() cancels a timer that has not fired; when its handler runs at that moment it
//   waits until the handler has returned (except on the manager's own thread, where waiting would
//   never end). Afterwards the handler of that timer is never called.
// - stop() (and the destructor) end the thread; timers not yet fired are dropped.
// - Timers fire in the order of their deadlines (timers with one deadline in the order they were
//   added). Adding and deleting cost the logarithm of the number of timers, and an add wakes the thread
//   only when the new timer is the first due: many timers and many adds leave the thread asleep.
// - Delays run on the ScaledClock, so a test's time scale shortens them and a FakeMonotonicTime holds
//   them (vorn::utils::ScopedTimeScale, vorn::utils::FakeMonotonicTime).
//
//     class Killer: public vorn::utils::TimerEventHandler {
//         void onTimer(const quint64& timerId) override { ... }
//     };
//     vorn::utils::TimerManager timers("kill timers");
//     const quint64 id = timers.addTimer(&killer, std::chrono::milliseconds(5000));
//     timers.joinAndDeleteTimer(id);   // the handler has not run and will not
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <utility>

#include <QtCore/QObject>
#include <QtCore/QString>

#include <vorn/utils/scaled_clock.h>

namespace vorn::utils {

class TimerEventHandler
{
public:
    virtual ~TimerEventHandler() = default;
    virtual void onTimer(const quint64& timerId) = 0;
};

class TimerManager : public QObject
{
public:
    using TimerId = quint64;
    using Clock = ScaledClock;

    // 100 years: longer than any delay a caller means, and short enough that a deadline on the
    // clock's 64-bit nanosecond count cannot overflow. Longer delays are cut to it.
    static constexpr std::chrono::milliseconds kMaxDelay = std::chrono::hours(24 * 365 * 100);

    explicit TimerManager(const QString& name = QString(), QObject* parent = nullptr);
    ~TimerManager() override;

    // The handler must outlive the timer (until it fired, or joinAndDeleteTimer() returned). A negative
    // delay counts as zero.
    TimerId addTimer(TimerEventHandler* handler, std::chrono::milliseconds delay);
    TimerId addTimer(std::function<void(TimerId)> handler, std::chrono::milliseconds delay);

    void joinAndDeleteTimer(TimerId timerId);

    // Timers not fired yet.
    std::size_t pendingCount() const;

    void stop();

private:
    using Deadline = Clock::time_point;

    struct Timer
    {
        Deadline deadline;
        std::function<void(TimerId)> handler;
    };

    void run();

    // Guards everything below it.
    mutable std::mutex m_mutex;
    std::condition_variable m_wakeUp;
    std::condition_variable m_handlerDone;
    std::map<TimerId, Timer> m_timers;
    // The same timers by deadline, the first one due first; ids grow, so equal deadlines keep the order
    // of the adds.
    std::set<std::pair<Deadline, TimerId>> m_byDeadline;
    TimerId m_nextId = 1;
    // The timer whose handler runs now, 0 for none.
    TimerId m_runningId = 0;
    bool m_stopping = false;
    std::thread m_thread;
};

} // namespace vorn::utils
