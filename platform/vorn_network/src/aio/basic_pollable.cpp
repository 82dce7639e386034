#include <vorn/network/aio/basic_pollable.h>

#include <vorn/network/aio/aio_thread_pool.h>

namespace vorn::network::aio {

BasicPollable::BasicPollable(AbstractAioThread* thread)
    : m_state(std::make_shared<State>())
{
    m_state->thread = thread ? thread : AioThreadPool::instance().nextThread();
}

BasicPollable::~BasicPollable() = default;

AbstractAioThread* BasicPollable::getAioThread() const
{
    return m_state->thread.load(std::memory_order_acquire);
}

void BasicPollable::bindToAioThread(AbstractAioThread* thread)
{
    if (!thread)
        thread = AioThreadPool::instance().nextThread();
    if (thread == getAioThread())
        return;
    pleaseStopSync();
    executeInAioThreadSync([this, thread] { bindWhileInAioThread(thread); });
    m_state->thread.store(thread, std::memory_order_release);
}

bool BasicPollable::isInSelfThread() const
{
    return getAioThread()->isInSelfThread();
}

void BasicPollable::post(utils::MoveOnlyFunc<void()> func)
{
    getAioThread()->post(bindToGeneration(std::move(func)));
}

void BasicPollable::dispatch(utils::MoveOnlyFunc<void()> func)
{
    if (isInSelfThread())
        func();
    else
        post(std::move(func));
}

void BasicPollable::pleaseStop(utils::MoveOnlyFunc<void()> handler)
{
    // Moving the generation on at once drops what is queued, even before the task below runs.
    m_state->generation.fetch_add(1, std::memory_order_acq_rel);
    if (isInSelfThread())
        stopInAioThread();
    getAioThread()->post(bindToGeneration([this, handler = std::move(handler)]() mutable {
        // A completion that ran meanwhile may have started something new.
        stopInAioThread();
        handler();
    }));
}

void BasicPollable::pleaseStopSync()
{
    // At once, so that what is queued is dropped; and again on the thread (stopInAioThread), so that
    // what a completion running at this moment starts is dropped too.
    m_state->generation.fetch_add(1, std::memory_order_acq_rel);
    executeInAioThreadSync([this] { stopInAioThread(); });
}

void BasicPollable::executeInAioThreadSync(utils::MoveOnlyFunc<void()> func)
{
    getAioThread()->executeSync(std::move(func));
}

void BasicPollable::stopInAioThread()
{
    m_state->generation.fetch_add(1, std::memory_order_acq_rel);
    stopWhileInAioThread();
}

} // namespace vorn::network::aio
