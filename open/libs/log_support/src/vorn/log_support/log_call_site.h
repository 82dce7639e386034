// vorn::log_support::LogCallSite: the per-statement record of a log statement.
//
// Every VN_LOG statement owns exactly one, a function-local static in the statement's own block, so two
// statements never share a record (even with the same text) while every object and thread running one
// statement does. The counters feed the limiter of repeated messages in LogHelper::log; they are only
// reset by its window rule. Being constant-initialised, the record costs nothing until first use.
#pragma once

#include <atomic>
#include <cstdint>

namespace vorn::log_support {

struct LogCallSite
{
    constexpr explicit LogCallSite(std::int32_t level)
        : level(level)
    {}
    LogCallSite(const LogCallSite&) = delete;
    LogCallSite& operator=(const LogCallSite&) = delete;

    // The statement's level; never changes.
    const std::int32_t level;
    // Messages written by the statement in the current window.
    std::atomic<std::int32_t> count{0};
    // Start of the current window, in whole seconds of vorn::utils::monotonicTime().
    std::atomic<std::uint32_t> windowStart{0};
};

} // namespace vorn::log_support
