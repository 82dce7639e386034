// Fixtures shared by the log support tests: a printer for texts and scoped overrides of the
// process-wide logging settings.
#pragma once

#include <ostream>

#include <QtCore/QString>

#include <vorn/utils/log/detail/level_reducer.h>
#include <vorn/utils/settings.h>

// Shows texts as texts in failure messages.
[[maybe_unused]] static void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace log_support_test {

// Sets the limiter's switch, limit and window for one test and puts the previous values back.
class ScopedLimiter
{
public:
    ScopedLimiter(bool enabled, int limit, int windowS)
        : m_enabled(vorn::utils::log::detail::LevelReducer::s_isEnabled.load())
        , m_limit(vorn::utils::ini().logSimilarMessagesLimit())
        , m_windowS(vorn::utils::ini().logSimilarMessagesWindowS())
    {
        vorn::utils::log::detail::LevelReducer::s_isEnabled = enabled;
        vorn::utils::ini().setLogSimilarMessagesLimit(limit);
        vorn::utils::ini().setLogSimilarMessagesWindowS(windowS);
    }

    ~ScopedLimiter()
    {
        vorn::utils::log::detail::LevelReducer::s_isEnabled = m_enabled;
        vorn::utils::ini().setLogSimilarMessagesLimit(m_limit);
        vorn::utils::ini().setLogSimilarMessagesWindowS(m_windowS);
    }

    ScopedLimiter(const ScopedLimiter&) = delete;
    ScopedLimiter& operator=(const ScopedLimiter&) = delete;

private:
    const bool m_enabled;
    const int m_limit;
    const int m_windowS;
};

} // namespace log_support_test
