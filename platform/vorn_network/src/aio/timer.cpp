#include <vorn/network/aio/timer.h>

#include <cstdint>
#include <optional>

#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>

#include <vorn/utils/scaled_clock.h>

namespace vorn::network::aio {

struct Timer::Private
{
    // Made on first use, on the timer's thread, from that thread's loop.
    std::optional<boost::asio::steady_timer> timer;
    // Moves on with every start and cancel: an expiry that was already queued when its start was
    // replaced or cancelled finds another number and does nothing.
    std::uint64_t startNumber = 0;
};

Timer::Timer(AbstractAioThread* thread)
    : BasicPollable(thread)
    , d(std::make_unique<Private>())
{}

Timer::~Timer()
{
    pleaseStopSync();
}

void Timer::start(std::chrono::milliseconds delay, utils::MoveOnlyFunc<void()> handler)
{
    // The due time is fixed here, not when the thread gets to the start: a start that waits in the
    // thread's queue behind other work must not fire later than asked, nor after a timer started later
    // with a shorter delay.
    const auto due = std::chrono::steady_clock::now() + utils::ScaledClock::toRealDuration(delay);
    dispatch([this, due, handler = std::move(handler)]() mutable { arm(due, std::move(handler)); });
}

void Timer::cancelSync()
{
    executeInAioThreadSync([this] { cancelInAioThread(); });
}

void Timer::stopWhileInAioThread()
{
    cancelInAioThread();
}

void Timer::bindWhileInAioThread(AbstractAioThread* /*newThread*/)
{
    d->timer.reset(); // Made again from the new thread's loop on the next start.
}

void Timer::arm(std::chrono::steady_clock::time_point due, utils::MoveOnlyFunc<void()> handler)
{
    if (!d->timer)
        d->timer.emplace(getAioThread()->ioContext());
    const std::uint64_t number = ++d->startNumber;
    d->timer->expires_at(due);
    d->timer->async_wait(
        bindToGeneration([this, number, handler = std::move(handler)](const boost::system::error_code& error) mutable {
            if (error || number != d->startNumber)
                return;
            // The handler may destroy the timer: nothing of it is touched after this call.
            handler();
        }));
}

void Timer::cancelInAioThread()
{
    ++d->startNumber;
    if (d->timer)
        d->timer->cancel();
}

} // namespace vorn::network::aio
