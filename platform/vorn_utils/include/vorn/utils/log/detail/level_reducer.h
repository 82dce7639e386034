// vorn::utils::log::detail::LevelReducer: the global switch of the repeated-message limiter.
//
// While s_isEnabled is true (the default), a log statement of level 4 or lower that repeats too often
// within a time window has its further messages demoted (limit and window: vorn::utils::ini()). Tests
// and tools that want every message at its own level switch it off.
#pragma once

#include <atomic>

namespace vorn::utils::log::detail {

struct LevelReducer
{
    static std::atomic<bool> s_isEnabled;
};

} // namespace vorn::utils::log::detail
