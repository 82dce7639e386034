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
#pragma once

#include <atomic>

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

protected:
    // Clears the stop request before a new start().
    void resetStopRequest() { m_needToStop.store(false, std::memory_order_release); }

private:
    std::atomic<bool> m_needToStop{false};
};

} // namespace vorn::utils
