#include <vorn/network/aio/aio_thread.h>

#include <atomic>
#include <exception>
#include <optional>
#include <thread>

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>

#include <vorn/utils/log/log.h>

#include "../log_line.h"

namespace vorn::network::aio {

namespace {

void logEscapedException(const QString& what)
{
    vorn::network::detail::writeLogLine(
        vorn::utils::log::Level::error, QStringLiteral("vorn::network::aio::AioThread"),
        [&] { return QStringLiteral("Exception escaped an I/O completion: %1").arg(what); });
}

} // namespace

struct AioThread::Private
{
    boost::asio::io_context ioContext{1};
    std::optional<boost::asio::executor_work_guard<boost::asio::io_context::executor_type>> workGuard{
        ioContext.get_executor()};
    std::atomic<bool> stopped{false};
    std::thread thread;

    void run()
    {
        for (;;) {
            try {
                ioContext.run();
                return; // Stopped.
            } catch (const std::exception& error) {
                logEscapedException(QString::fromUtf8(error.what()));
            } catch (...) {
                logEscapedException(QStringLiteral("unknown exception"));
            }
        }
    }
};

AioThread::AioThread()
    : d(std::make_unique<Private>())
{
    d->thread = std::thread([d = d.get()] { d->run(); });
}

AioThread::~AioThread()
{
    d->stopped = true;
    d->workGuard.reset();
    d->ioContext.stop();
    d->thread.join();
}

bool AioThread::post(utils::MoveOnlyFunc<void()> func)
{
    if (d->stopped)
        return false;
    boost::asio::post(d->ioContext, [func = std::move(func)]() mutable { func(); });
    return true;
}

bool AioThread::isInSelfThread() const
{
    return std::this_thread::get_id() == d->thread.get_id();
}

boost::asio::io_context& AioThread::ioContext()
{
    return d->ioContext;
}

} // namespace vorn::network::aio
