// vorn::network::aio::AioThread: an AbstractAioThread that runs a Boost.Asio io_context on its own
// std::thread, from construction to destruction.
//
// The process's AioThreadPool owns the usual ones; a test may make its own to control which objects
// share a thread. Destroy it only after every object bound to it is gone, and never from its own
// thread. Functions still queued when it is destroyed are destroyed without running.
//
// An exception that escapes a function on the thread is logged and the loop goes on: one bad completion
// does not take every object of the thread down with it.
#pragma once

#include <memory>

#include <vorn/network/aio/abstract_aio_thread.h>

namespace vorn::network::aio {

class AioThread final : public AbstractAioThread
{
public:
    AioThread();
    ~AioThread() override;
    AioThread(const AioThread&) = delete;
    AioThread& operator=(const AioThread&) = delete;

    bool post(utils::MoveOnlyFunc<void()> func) override;
    bool isInSelfThread() const override;
    boost::asio::io_context& ioContext() override;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace vorn::network::aio
