// vorn::network::aio::Timer: a one-shot timer on an I/O thread.
//
//     aio::Timer timer;                                   // a thread of the pool
//     timer.start(std::chrono::seconds(5), [this] { reconnect(); });
//     ...
//     timer.pleaseStopSync();                             // nothing of the timer runs after this
//
// The handler runs once, on the timer's thread, after the delay; a zero or negative delay fires on the
// loop's next pass. The delay counts from the start() call, however long the thread takes to pick the
// start up. start() replaces a pending start: only the last handler runs. Delays run on the ScaledClock,
// so a test's time scale shortens them (vorn::utils::ScopedTimeScale).
//
// cancelSync() drops the pending handler only; pleaseStopSync() (see BasicPollable) also drops what
// post() and dispatch() queued. Both wait for a handler that is running on another thread and both may
// be called from the timer's own handler. The timer can be started again afterwards.
#pragma once

#include <chrono>
#include <memory>

#include <vorn/network/aio/basic_pollable.h>
#include <vorn/utils/move_only_func.h>

namespace vorn::network::aio {

class Timer : public BasicPollable
{
public:
    explicit Timer(AbstractAioThread* thread = nullptr);
    ~Timer() override;

    // From any thread.
    void start(std::chrono::milliseconds delay, utils::MoveOnlyFunc<void()> handler);

    void cancelSync();

protected:
    void stopWhileInAioThread() override;
    void bindWhileInAioThread(AbstractAioThread* newThread) override;

private:
    void arm(std::chrono::steady_clock::time_point due, utils::MoveOnlyFunc<void()> handler);
    void cancelInAioThread();

    struct Private;
    std::unique_ptr<Private> d; //< Touched on the timer's thread only.
};

} // namespace vorn::network::aio
