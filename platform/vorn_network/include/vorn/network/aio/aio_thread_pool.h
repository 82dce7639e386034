// vorn::network::aio::AioThreadPool: the small set of I/O threads that the objects of a process share.
//
// An object created without a thread (Timer, TCPSocket, ...) takes the next thread of the process's
// pool, round robin, so that many cameras spread over a few threads. The pool of the process is made on
// first use and lives until the library is unloaded; objects bound to it must be gone by then.
//
//     aio::Timer timer;                                         // on one of the pool's threads
//     aio::Timer sibling(timer.getAioThread());                 // on the same thread as `timer`
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <vector>

#include <vorn/network/aio/aio_thread.h>

namespace vorn::network::aio {

class AioThreadPool
{
public:
    // Up to 4 threads, fewer on a machine with fewer cores: the work of a thread is mostly waiting, and
    // a few threads keep one slow completion from stalling every camera.
    static constexpr std::size_t kMaxDefaultThreadCount = 4;

    static AioThreadPool& instance();

    explicit AioThreadPool(std::size_t threadCount);
    ~AioThreadPool();
    AioThreadPool(const AioThreadPool&) = delete;
    AioThreadPool& operator=(const AioThreadPool&) = delete;

    // Round robin; thread-safe.
    AbstractAioThread* nextThread();

    std::size_t size() const { return m_threads.size(); }

private:
    std::vector<std::unique_ptr<AioThread>> m_threads;
    std::atomic<std::size_t> m_next{0};
};

} // namespace vorn::network::aio
