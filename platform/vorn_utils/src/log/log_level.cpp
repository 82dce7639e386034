#include <vorn/utils/log/log_level.h>

#include <atomic>

namespace vorn::utils::log {

namespace {

// File-local: each library instance (each plugin) has its own level.
std::atomic<Level> s_maxLevel{Level::info};

} // namespace

Level maxLevel()
{
    return s_maxLevel.load(std::memory_order_relaxed);
}

void setMaxLevel(Level level)
{
    s_maxLevel.store(level, std::memory_order_relaxed);
}

} // namespace vorn::utils::log
