// vorn::utils::ini(): the utility library's process-wide settings.
//
// Holds the values that the library's own machinery reads at run time. Today that is the limiter of
// repeated log messages: when a log statement of level 4 or lower reaches `logSimilarMessagesLimit()`
// messages within `logSimilarMessagesWindowS()` seconds, that message is marked and the rest of the
// window is demoted to level 5. Values may be changed at any time from any thread (tests do); readers
// take whatever value is current.
#pragma once

#include <atomic>

namespace vorn::utils {

class Ini
{
public:
    // A steady failure repeats a hundred times a minute before it is demoted: enough to see a burst,
    // few enough that one broken camera cannot fill the log.
    static constexpr int kDefaultLogSimilarMessagesLimit = 100;
    static constexpr int kDefaultLogSimilarMessagesWindowS = 60;

    int logSimilarMessagesLimit() const { return m_logSimilarMessagesLimit.load(std::memory_order_relaxed); }
    void setLogSimilarMessagesLimit(int limit) { m_logSimilarMessagesLimit.store(limit, std::memory_order_relaxed); }

    int logSimilarMessagesWindowS() const { return m_logSimilarMessagesWindowS.load(std::memory_order_relaxed); }
    void setLogSimilarMessagesWindowS(int seconds)
    {
        m_logSimilarMessagesWindowS.store(seconds, std::memory_order_relaxed);
    }

private:
    std::atomic<int> m_logSimilarMessagesLimit{kDefaultLogSimilarMessagesLimit};
    std::atomic<int> m_logSimilarMessagesWindowS{kDefaultLogSimilarMessagesWindowS};
};

// The settings of this library instance (each plugin library has its own).
Ini& ini();

} // namespace vorn::utils
