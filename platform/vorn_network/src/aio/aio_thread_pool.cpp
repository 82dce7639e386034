#include <vorn/network/aio/aio_thread_pool.h>

#include <algorithm>
#include <thread>

namespace vorn::network::aio {

AioThreadPool& AioThreadPool::instance()
{
    static AioThreadPool pool(std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, kMaxDefaultThreadCount));
    return pool;
}

AioThreadPool::AioThreadPool(std::size_t threadCount)
{
    threadCount = std::max<std::size_t>(threadCount, 1);
    m_threads.reserve(threadCount);
    for (std::size_t i = 0; i < threadCount; ++i)
        m_threads.push_back(std::make_unique<AioThread>());
}

AioThreadPool::~AioThreadPool() = default;

AbstractAioThread* AioThreadPool::nextThread()
{
    return m_threads[m_next.fetch_add(1, std::memory_order_relaxed) % m_threads.size()].get();
}

} // namespace vorn::network::aio
