// vorn::network::aio::BasicPollable: the base of every object that lives on one I/O thread (timers,
// sockets, servers, asynchronous clients).
//
// Rules of use:
// - The object is bound to one thread, given at construction or by bindToAioThread(); with none given
//   it takes one from the process's AioThreadPool. All its completions, and what post() and dispatch()
//   queue, run on that thread, one at a time.
// - pleaseStopSync() is synchronous and total: when it returns, nothing of the object runs and nothing
//   queued before it will run; what was pending is dropped without being called. It may be called from
//   any thread, including from a completion of the object itself, where it cancels without waiting
//   (the completion that called it goes on to its end). Afterwards the object can be used again.
// - pleaseStop(handler) is the asynchronous form: it drops what is pending, including what is started
//   before `handler` runs, and then calls `handler` on the object's thread, where the owner can start
//   anew. The object must outlive that call, unless a pleaseStopSync() (or the destructor) comes first,
//   which drops `handler` too.
// - To stop several objects of one thread so that none can restart another in between, stop them all
//   inside one executeInAioThreadSync():
//
//       m_timer.executeInAioThreadSync([this] {
//           m_timer.pleaseStopSync();
//           m_socket->pleaseStopSync();
//       });
//
// A derived class cancels its own pending operations in stopWhileInAioThread(), wraps its completions
// with bindToGeneration() so that a completion that comes after a stop does nothing, and calls
// pleaseStopSync() first thing in its destructor.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <utility>

#include <vorn/network/aio/abstract_aio_thread.h>
#include <vorn/utils/move_only_func.h>

namespace vorn::network::aio {

class BasicPollable
{
public:
    // Null: a thread of the process's pool.
    explicit BasicPollable(AbstractAioThread* thread = nullptr);
    virtual ~BasicPollable();
    BasicPollable(const BasicPollable&) = delete;
    BasicPollable& operator=(const BasicPollable&) = delete;

    AbstractAioThread* getAioThread() const;

    // Moves the object to `thread` (null: a thread of the pool). Anything pending is stopped first, as
    // by pleaseStopSync(); binding to the current thread changes nothing.
    void bindToAioThread(AbstractAioThread* thread);

    bool isInSelfThread() const;

    // Runs `func` on the object's thread, after what is queued there; dropped by a later stop.
    void post(utils::MoveOnlyFunc<void()> func);
    // At once when called on the object's thread, else as post().
    void dispatch(utils::MoveOnlyFunc<void()> func);

    void pleaseStop(utils::MoveOnlyFunc<void()> handler);
    void pleaseStopSync();

    // Runs `func` on the object's thread and returns when it has run (at once on that thread).
    void executeInAioThreadSync(utils::MoveOnlyFunc<void()> func);

protected:
    // Cancels the derived class's pending operations; runs on the object's thread.
    virtual void stopWhileInAioThread() {}

    // Lets the derived class move what it holds to `newThread`; runs on the old thread after a stop.
    virtual void bindWhileInAioThread(AbstractAioThread* /*newThread*/) {}

    // Wraps a completion so that it does nothing when a stop came after this call. The wrapper holds no
    // reference to the object: it may outlive it.
    template <typename Handler>
    auto bindToGeneration(Handler handler) const
    {
        return [state = m_state, generation = m_state->generation.load(std::memory_order_acquire),
                handler = std::move(handler)](auto&&... args) mutable {
            if (state->generation.load(std::memory_order_acquire) != generation)
                return;
            handler(std::forward<decltype(args)>(args)...);
        };
    }

private:
    // Shared with the wrapped completions, which may outlive the object.
    struct State
    {
        std::atomic<AbstractAioThread*> thread{nullptr};
        // Every stop moves it on; a completion made before that no longer matches and does nothing.
        std::atomic<std::uint64_t> generation{0};
    };

    void stopInAioThread();

    std::shared_ptr<State> m_state;
};

} // namespace vorn::network::aio
