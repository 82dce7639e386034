#include <vorn/utils/log/log.h>

#include <cstdio>
#include <mutex>

#include <vorn/utils/log/stream_logger.h>

namespace vorn::utils::log {

namespace {

struct MainLogger
{
    // Guards logger; held only to copy or swap the pointer, never while a logger runs.
    std::mutex mutex;
    std::shared_ptr<AbstractLogger> logger = std::make_shared<StreamLogger>(stderr, Level::verbose);
};

MainLogger& mainLoggerHolder()
{
    static MainLogger holder;
    return holder;
}

} // namespace

std::shared_ptr<AbstractLogger> getLogger(const Tag& /*tag*/)
{
    return mainLogger();
}

std::shared_ptr<AbstractLogger> mainLogger()
{
    MainLogger& holder = mainLoggerHolder();
    const std::lock_guard lock(holder.mutex);
    return holder.logger;
}

std::shared_ptr<AbstractLogger> setMainLogger(std::shared_ptr<AbstractLogger> logger)
{
    MainLogger& holder = mainLoggerHolder();
    {
        const std::lock_guard lock(holder.mutex);
        holder.logger.swap(logger);
    }
    return logger;
}

} // namespace vorn::utils::log
