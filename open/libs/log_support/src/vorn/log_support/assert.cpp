#include "assert.h"

#include <cstdint>
#include <string_view>

#include <vorn/utils/assert.h>
#include <vorn/utils/log/detail/level_reducer.h>
#include <vorn/utils/log/log.h>
#include <vorn/utils/settings.h>
#include <vorn/utils/system_error.h>
#include <vorn/utils/to_string.h>

#include "log_helper.h"

namespace vorn::log_support {

namespace {

// The path up to the last dot of its file name: "a/b.c/file.cpp" gives "a/b.c/file".
std::string_view withoutExtension(std::string_view path)
{
    const size_t nameStart = path.find_last_of("/\\") + 1; //< npos + 1 == 0
    const size_t dot = path.rfind('.');
    if (dot == std::string_view::npos || dot <= nameStart)
        return path;
    return path.substr(0, dot);
}

QString reportText(const char* file, int line, const char* condition, const vorn::Formatter& message)
{
    return QStringLiteral("ASSERTION FAILED: %1:%2 (%3) %4")
        .arg(vorn::detail::toString(withoutExtension(file ? file : "")), QString::number(line),
             vorn::detail::toString(condition), message.toQString());
}

} // namespace

bool reportAssertionFailure(bool critical, const char* file, int line, const char* condition,
                            const vorn::Formatter& message)
{
    const SystemError::ErrorCode savedErrorCode = SystemError::getLastOSErrorCode();
    const bool result = vorn::utils::assertFailure(critical, reportText(file, line, condition, message));
    SystemError::setLastErrorCode(savedErrorCode);
    return result;
}

bool reportLimitedAssertionFailure(LogCallSite* callSite, const char* file, int line, const char* condition,
                                   const vorn::Formatter& message)
{
    if (!utils::log::detail::LevelReducer::s_isEnabled)
        return reportAssertionFailure(false, file, line, condition, message);

    const SystemError::ErrorCode savedErrorCode = SystemError::getLastOSErrorCode();
    const int limit = utils::ini().logSimilarMessagesLimit();
    const std::int32_t n = LogHelper::countInWindow(callSite);
    bool result = false;
    if (n < limit) {
        result = vorn::utils::assertFailure(false, reportText(file, line, condition, message));
    } else if (n == limit) {
        result = vorn::utils::assertFailure(false, QStringLiteral("TOO MANY SIMILAR MESSAGES: ") +
                                                       reportText(file, line, condition, message));
    } else if (utils::log::maxLevel() >= static_cast<utils::log::Level>(LogHelper::kDemotedLevel)) {
        // Over the limit: an ordinary detail line, which the assertion sink never sees.
        const utils::log::Tag tag(QStringLiteral("assert"));
        const auto level = static_cast<utils::log::Level>(LogHelper::kDemotedLevel);
        if (const auto logger = utils::log::getLogger(tag); logger && logger->isToBeLogged(level, tag))
            logger->log(level, tag, reportText(file, line, condition, message));
    }
    SystemError::setLastErrorCode(savedErrorCode);
    return result;
}

} // namespace vorn::log_support
