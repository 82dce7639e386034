// vorn::log_support::LogHelper: the short-lived value through which one log statement writes.
//
// A VN_LOG statement that passed the maxLevel() test makes one from its tag and call site. The helper
// asks getLogger() for the tag's logger and keeps it only when that logger takes the statement's level
// and tag, so the statement builds its text only when hasLogger() is true:
//
//     LogHelper helper(tag, &callSite);
//     if (helper.hasLogger())
//         helper.log(text);
//
// log() applies the limiter of repeated messages: while LevelReducer::s_isEnabled is set, a statement
// of level 4 or lower counts its messages per window (limit L and window W seconds from
// vorn::utils::ini()): the L-th message of a window carries the prefix "TOO MANY SIMILAR MESSAGES: ",
// the later ones are written at level 5, and only when both the maximum level and the logger take level
// 5 (a statement of level 2 over its limit is not written at the default level). A window ends after W seconds, and
// when the clock is seen to have gone back. Levels 5 and 6 are never counted.
#pragma once

#include <cstdint>
#include <memory>

#include <QtCore/QString>

#include <vorn/utils/log/log.h>

#include "log_call_site.h"

namespace vorn::log_support {

class LogHelper
{
public:
    // Levels above this one are detail and never counted by the limiter.
    static constexpr int kMaxLimitedLevel = 4;
    // The level that messages over the limit are demoted to.
    static constexpr int kDemotedLevel = 5;

    LogHelper(utils::log::Tag tag, LogCallSite* callSite);

    bool hasLogger() const { return static_cast<bool>(m_logger); }
    const utils::log::Tag& tag() const { return m_tag; }

    // Writes one message. Without a logger, the tag, ": " and the text go to stderr instead, uncounted.
    void log(const QString& text);

    // Counts one message of the call site in its current window (starting a new window by the limiter's
    // rules) and returns its number in the window, from 1. Shared with the limited assertion reports.
    static std::int32_t countInWindow(LogCallSite* callSite);

private:
    void logDemoted(const QString& text);

    utils::log::Tag m_tag;
    LogCallSite* m_callSite;
    std::shared_ptr<utils::log::AbstractLogger> m_logger;
};

} // namespace vorn::log_support
