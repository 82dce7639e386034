#include <vorn/utils/async_operation_guard.h>

#include <vorn/utils/assert.h>

namespace vorn::utils {

AsyncOperationGuard::SharedGuard::Lock& AsyncOperationGuard::SharedGuard::Lock::operator=(Lock&& other) noexcept
{
    if (this != &other) {
        unlock();
        m_guard = std::exchange(other.m_guard, nullptr);
    }
    return *this;
}

void AsyncOperationGuard::SharedGuard::Lock::unlock()
{
    if (SharedGuard* guard = std::exchange(m_guard, nullptr))
        guard->release();
}

AsyncOperationGuard::SharedGuard::Lock AsyncOperationGuard::SharedGuard::lock()
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (m_terminated)
        return Lock();
    ++m_holders[std::this_thread::get_id()];
    return Lock(this);
}

void AsyncOperationGuard::SharedGuard::release()
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        const auto holder = m_holders.find(std::this_thread::get_id());
        if (holder != m_holders.end() && --holder->second == 0)
            m_holders.erase(holder);
    }
    m_released.notify_all();
}

void AsyncOperationGuard::SharedGuard::terminate()
{
    const std::thread::id self = std::this_thread::get_id();
    std::unique_lock<std::mutex> lock(m_mutex);
    m_terminated = true;
    if (m_holders.count(self) != 0) {
        lock.unlock();
        assertFailure(false, QStringLiteral("ASSERTION FAILED: %1:%2 (%3) %4")
                                 .arg(QStringLiteral(__FILE__))
                                 .arg(__LINE__)
                                 .arg(QStringLiteral("!holdsLock"))
                                 .arg(QStringLiteral("guard ended from inside one of its own completions")));
        lock.lock();
    }
    m_released.wait(lock, [&] {
        for (const auto& [thread, count] : m_holders) {
            if (thread != self && count > 0)
                return false;
        }
        return true;
    });
}

bool AsyncOperationGuard::SharedGuard::isTerminated() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_terminated;
}

AsyncOperationGuard::AsyncOperationGuard()
    : m_guard(std::make_shared<SharedGuard>())
{}

AsyncOperationGuard::~AsyncOperationGuard()
{
    sharedGuard()->terminate();
}

void AsyncOperationGuard::reset()
{
    std::shared_ptr<SharedGuard> old;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        old = std::exchange(m_guard, std::make_shared<SharedGuard>());
    }
    old->terminate();
}

std::shared_ptr<AsyncOperationGuard::SharedGuard> AsyncOperationGuard::sharedGuard() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_guard;
}

} // namespace vorn::utils
