#include <vorn/utils/log/log_level.h>

#include <atomic>
#include <cstdlib>
#include <string_view>

namespace vorn::utils::log {

namespace {

// The level a library instance starts with: the number in the environment variable
// kMaxLevelVariable when it holds one from 0 to 6, else info. The variable is how a host process
// reaches the loggers of the libraries it loads, each of which has its own copy of this state.
Level initialMaxLevel()
{
    const char* text = std::getenv(kMaxLevelVariable);
    if (!text)
        return Level::info;
    const std::string_view value(text);
    if (value.size() != 1 || value[0] < '0' || value[0] > '6')
        return Level::info;
    return static_cast<Level>(value[0] - '0');
}

// File-local: each library instance (each plugin) has its own level.
std::atomic<Level> s_maxLevel{initialMaxLevel()};

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
