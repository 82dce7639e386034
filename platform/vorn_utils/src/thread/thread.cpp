#include <vorn/utils/thread/thread.h>

namespace vorn::utils {

Thread::Thread(const QString& name)
{
    if (!name.isEmpty())
        setObjectName(name);
    // finished() is emitted on the thread itself after run() has returned and before QThread::wait()
    // can see the end; a direct connection runs this there, and the connection ends with the object.
    connect(this, &QThread::finished, [this] { m_endedRuns.fetch_add(1, std::memory_order_release); });
}

Thread::~Thread()
{
    // pleaseStop() is no longer the subclass's here: only the base request is set.
    Thread::pleaseStop();
    if (QThread::currentThread() != this)
        Thread::wait();
}

void Thread::pleaseStop()
{
    m_needToStop.store(true, std::memory_order_release);
}

void Thread::stop()
{
    pleaseStop();
    if (QThread::currentThread() != this)
        Thread::wait();
}

bool Thread::wait(QDeadlineTimer deadline)
{
    if (!QThread::wait(deadline))
        return false;
    acquireTheEndOfRun();
    return true;
}

bool Thread::wait(unsigned long timeMs)
{
    if (!QThread::wait(timeMs))
        return false;
    acquireTheEndOfRun();
    return true;
}

void Thread::acquireTheEndOfRun() const
{
    // The value does not matter: the acquire pairs with the release of the run that has just ended.
    (void)m_endedRuns.load(std::memory_order_acquire);
}

} // namespace vorn::utils
