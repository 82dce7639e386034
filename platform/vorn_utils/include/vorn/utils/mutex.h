// vorn::Mutex and vorn::MutexLocker: the utility library's plain mutex and its scoped lock.
//
//     vorn::Mutex m_mutex;                         // guards m_supportedTypes
//     ...
//     const vorn::MutexLocker lock(&m_mutex);
//
// A thin layer over std::mutex: not recursive; locking it twice on one thread is a deadlock. It meets
// the standard Lockable requirements, so std::lock_guard and std::condition_variable_any work with it.
#pragma once

#include <mutex>

namespace vorn {

class Mutex
{
public:
    Mutex() = default;
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;

    void lock() { m_mutex.lock(); }
    bool try_lock() { return m_mutex.try_lock(); }
    bool tryLock() { return m_mutex.try_lock(); }
    void unlock() { m_mutex.unlock(); }

private:
    std::mutex m_mutex;
};

class MutexLocker
{
public:
    explicit MutexLocker(Mutex* mutex)
        : m_mutex(mutex)
    {
        m_mutex->lock();
    }
    ~MutexLocker() { m_mutex->unlock(); }
    MutexLocker(const MutexLocker&) = delete;
    MutexLocker& operator=(const MutexLocker&) = delete;

private:
    Mutex* const m_mutex;
};

} // namespace vorn
