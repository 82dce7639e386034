// vorn::utils::Thread: a QThread that can be asked to stop.
//
// A subclass's run() polls needToStop() (or overrides pleaseStop() to wake itself up as well); stop()
// asks and then waits, so after it returns nothing of run() is left:
//
//     class Worker: public vorn::utils::Thread {
//         void run() override { while (!needToStop()) doSomeWork(); }
//     };
//     Worker worker; worker.start(); ...; worker.stop();
//
// A subclass that overrides pleaseStop() must call stop() in its own destructor, while its override is
// still there to be called; Thread's destructor only waits.
//
// Once a wait (wait(), stop(), the destructor) has seen the end of run(), everything run() wrote is
// visible to the waiter, and what run() touched may be destroyed. QThread orders its end through its
// own futex-based mutex inside QtCore, which ThreadSanitizer does not see; the waits here add an order
// it does see, so call them through Thread (not through a QThread pointer) in code it checks.
#pragma once

#include <atomic>

#include <QtCore/QDeadlineTimer>
#include <QtCore/QString>
#include <QtCore/QThread>

namespace vorn::utils {

class Thread : public QThread
{
public:
    explicit Thread(const QString& name = QString());
    ~Thread() override;

    // Sets the stop request; overrides add their own wake-up and call this one.
    virtual void pleaseStop();
    // pleaseStop(), then waits for run() to end. Called on the thread itself it only asks.
    void stop();

    bool needToStop() const { return m_needToStop.load(std::memory_order_acquire); }

    // QThread::wait(); true when run() has ended, and then what it did is visible here.
    bool wait(QDeadlineTimer deadline = QDeadlineTimer(QDeadlineTimer::Forever));
    bool wait(unsigned long timeMs);

protected:
    // Clears the stop request before a new start().
    void resetStopRequest() { m_needToStop.store(false, std::memory_order_release); }

private:
    // Marks the end of a run (a release on the thread, as finished() is emitted) for the waits to take
    // up (an acquire once QThread::wait() has returned true).
    void acquireTheEndOfRun() const;

    std::atomic<bool> m_needToStop{false};
    std::atomic<unsigned> m_endedRuns{0};
};

} // namespace vorn::utils
