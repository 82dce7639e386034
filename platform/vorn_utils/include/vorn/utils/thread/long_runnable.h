// VnLongRunnable and VnLongRunnablePool: threads that run for the life of the program, and the pool
// that can stop them all at exit.
//
// Every VnLongRunnable registers itself with the process's pool while it exists; stopAll() asks each
// one to stop and then waits for each, so that a program can end its long-running threads in one place
// before it tears down what they use:
//
//     VnLongRunnablePool::instance().stopAll();
#pragma once

#include <mutex>
#include <set>

#include <vorn/utils/thread/thread.h>

class VnLongRunnable : public vorn::utils::Thread
{
public:
    explicit VnLongRunnable(const QString& name = QString());
    ~VnLongRunnable() override;
};

class VnLongRunnablePool
{
public:
    static VnLongRunnablePool& instance();

    // Asks every registered runnable to stop, then waits for each. Not called from one of them.
    void stopAll();

private:
    friend class VnLongRunnable;
    void add(VnLongRunnable* runnable);
    void remove(VnLongRunnable* runnable);

    // Guards m_runnables; never held while a runnable is waited for.
    std::mutex m_mutex;
    std::set<VnLongRunnable*> m_runnables;
};

namespace Vn {

// Marks a QObject whose signals may be connected directly (Qt::DirectConnection) to slots of objects
// living in other threads: its own code takes care of the thread safety those calls need. It adds
// nothing at run time.
class EnableSafeDirectConnection
{
public:
    virtual ~EnableSafeDirectConnection() = default;
};

} // namespace Vn
