// vorn::network::aio::AbstractAioThread: one thread that runs an event loop for asynchronous I/O.
//
// Sockets, timers and servers live on one such thread each (see BasicPollable): every completion of an
// object runs there, one at a time, so an object's state needs no lock as long as it is touched only
// from its thread. Other threads hand work over with post(), or wait for it with executeSync():
//
//     thread->post([this] { onSomething(); });         // runs later, on `thread`
//     thread->executeSync([&] { result = m_state; });   // returns when it has run there
//
// Most code never makes a thread: objects take one from the process's AioThreadPool. The loop itself
// is a Boost.Asio io_context, which objects of this library use to create their sockets and timers.
#pragma once

#include <vorn/utils/move_only_func.h>

namespace boost::asio {
class io_context;
} // namespace boost::asio

namespace vorn::network::aio {

class AbstractAioThread
{
public:
    virtual ~AbstractAioThread() = default;

    // Queues `func` behind everything already queued. False when the loop no longer runs: `func` is
    // then destroyed without running.
    virtual bool post(utils::MoveOnlyFunc<void()> func) = 0;

    virtual bool isInSelfThread() const = 0;

    virtual boost::asio::io_context& ioContext() = 0;

    // Runs `func` at once when called on this thread, else posts it.
    bool dispatch(utils::MoveOnlyFunc<void()> func);

    // Runs `func` on this thread and returns when it has run: at once when called on this thread; on the
    // calling thread when the loop no longer runs (nothing else runs there then). Waits without a time
    // limit: `func` and whatever runs before it must not wait for the calling thread.
    void executeSync(utils::MoveOnlyFunc<void()> func);
};

} // namespace vorn::network::aio
