#include <vorn/utils/thread/thread.h>

namespace vorn::utils {

Thread::Thread(const QString& name)
{
    if (!name.isEmpty())
        setObjectName(name);
}

Thread::~Thread()
{
    // pleaseStop() is no longer the subclass's here: only the base request is set.
    Thread::pleaseStop();
    if (QThread::currentThread() != this)
        wait();
}

void Thread::pleaseStop()
{
    m_needToStop.store(true, std::memory_order_release);
}

void Thread::stop()
{
    pleaseStop();
    if (QThread::currentThread() != this)
        wait();
}

} // namespace vorn::utils
