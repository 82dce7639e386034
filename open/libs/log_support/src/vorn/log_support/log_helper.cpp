#include "log_helper.h"

#include <cstdio>

#include <vorn/utils/log/detail/level_reducer.h>
#include <vorn/utils/monotonic_time.h>
#include <vorn/utils/settings.h>

namespace vorn::log_support {

namespace {

using utils::log::Level;

constexpr std::int64_t kNanosecondsPerSecond = 1'000'000'000;

} // namespace

LogHelper::LogHelper(utils::log::Tag tag, LogCallSite* callSite)
    : m_tag(std::move(tag))
    , m_callSite(callSite)
    , m_logger(utils::log::getLogger(m_tag))
{
    if (m_logger && !m_logger->isToBeLogged(static_cast<Level>(m_callSite->level), m_tag))
        m_logger.reset();
}

void LogHelper::log(const QString& text)
{
    if (!m_logger) {
        const QByteArray line = m_tag.toString().toUtf8() + ": " + text.toUtf8() + '\n';
        std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stderr);
        std::fflush(stderr);
        return;
    }

    const std::int32_t siteLevel = m_callSite->level;
    if (!utils::log::detail::LevelReducer::s_isEnabled || siteLevel > kMaxLimitedLevel) {
        m_logger->log(static_cast<Level>(siteLevel), m_tag, text);
        return;
    }

    const int limit = utils::ini().logSimilarMessagesLimit();
    const std::int32_t n = countInWindow(m_callSite);
    if (n == limit)
        m_logger->log(static_cast<Level>(siteLevel), m_tag, QStringLiteral("TOO MANY SIMILAR MESSAGES: ") + text);
    else if (static_cast<std::uint32_t>(n) > static_cast<std::uint32_t>(limit))
        logDemoted(text);
    else
        m_logger->log(static_cast<Level>(siteLevel), m_tag, text);
}

void LogHelper::logDemoted(const QString& text)
{
    // The logger was asked about the statement's own level only; a message over the limit is written
    // only where detail is wanted, else a peer that repeats a fault floods the log at the default level.
    const auto level = static_cast<Level>(kDemotedLevel);
    if (utils::log::maxLevel() >= level && m_logger->isToBeLogged(level, m_tag))
        m_logger->log(level, m_tag, text);
}

std::int32_t LogHelper::countInWindow(LogCallSite* callSite)
{
    const auto window = static_cast<std::uint32_t>(utils::ini().logSimilarMessagesWindowS());
    const auto second = static_cast<std::uint32_t>(utils::monotonicTime().count() / kNanosecondsPerSecond);

    // Two threads restarting the same window at once may lose a count; the limiter tolerates that
    // rather than taking a lock on every message.
    const std::int32_t count = callSite->count.load();
    const std::uint32_t windowStart = callSite->windowStart.load();
    if (count == 0 || windowStart + window <= second || windowStart > second) {
        callSite->windowStart.exchange(second);
        callSite->count.exchange(0);
    }
    return callSite->count.fetch_add(1) + 1;
}

} // namespace vorn::log_support
