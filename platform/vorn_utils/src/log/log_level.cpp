#include <vorn/utils/log/log_level.h>

#include <atomic>
#include <cstdlib>
#include <limits>
#include <string_view>

namespace vorn::utils::log {

namespace {

// No level read yet. The level starts out as this constant rather than as the result of a dynamic
// initialiser, so that a log statement in another static initialiser of the same library (one that
// runs first) still finds the level of kMaxLevelVariable and not a zero-filled one.
constexpr std::int32_t kUnset = std::numeric_limits<std::int32_t>::min();

// File-local: each library instance (each plugin) has its own level.
constinit std::atomic<std::int32_t> s_maxLevel{kUnset};

Level readInitialMaxLevel()
{
    std::int32_t expected = kUnset;
    const auto initial = static_cast<std::int32_t>(detail::maxLevelFromText(std::getenv(kMaxLevelVariable)));
    // A setMaxLevel() that came first wins.
    s_maxLevel.compare_exchange_strong(expected, initial, std::memory_order_relaxed);
    return static_cast<Level>(s_maxLevel.load(std::memory_order_relaxed));
}

} // namespace

namespace detail {

Level maxLevelFromText(const char* text)
{
    if (!text)
        return Level::info;
    const std::string_view value(text);
    if (value.size() != 1 || value[0] < '0' || value[0] > '6')
        return Level::info;
    return static_cast<Level>(value[0] - '0');
}

} // namespace detail

Level maxLevel()
{
    const std::int32_t level = s_maxLevel.load(std::memory_order_relaxed);
    if (level != kUnset) [[likely]]
        return static_cast<Level>(level);
    return readInitialMaxLevel();
}

void setMaxLevel(Level level)
{
    s_maxLevel.store(static_cast<std::int32_t>(level), std::memory_order_relaxed);
}

} // namespace vorn::utils::log
