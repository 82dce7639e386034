#include <vorn/utils/thread/long_runnable.h>

#include <vector>

VnLongRunnable::VnLongRunnable(const QString& name)
    : vorn::utils::Thread(name)
{
    VnLongRunnablePool::instance().add(this);
}

VnLongRunnable::~VnLongRunnable()
{
    VnLongRunnablePool::instance().remove(this);
}

VnLongRunnablePool& VnLongRunnablePool::instance()
{
    static VnLongRunnablePool pool;
    return pool;
}

void VnLongRunnablePool::add(VnLongRunnable* runnable)
{
    const std::lock_guard lock(m_mutex);
    m_runnables.insert(runnable);
}

void VnLongRunnablePool::remove(VnLongRunnable* runnable)
{
    const std::lock_guard lock(m_mutex);
    m_runnables.erase(runnable);
}

void VnLongRunnablePool::stopAll()
{
    // Under the lock, ask; outside it, wait: a runnable that ends may unregister meanwhile. The
    // runnables stay alive throughout, since their owners destroy them only after stopAll().
    std::vector<VnLongRunnable*> runnables;
    {
        const std::lock_guard lock(m_mutex);
        runnables.assign(m_runnables.begin(), m_runnables.end());
        for (VnLongRunnable* runnable : runnables)
            runnable->pleaseStop();
    }
    for (VnLongRunnable* runnable : runnables)
        runnable->wait();
}
