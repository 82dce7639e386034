#include "assert.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <string_view>

#include <QtCore/QLatin1String>

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

// Appends UTF-8 text; ASCII (source paths and conditions nearly always are) without a text of its own.
void appendUtf8(QString* text, std::string_view utf8)
{
    const bool ascii = std::all_of(utf8.begin(), utf8.end(), [](char c) { return (c & 0x80) == 0; });
    if (ascii)
        text->append(QLatin1String(utf8.data(), static_cast<int>(utf8.size())));
    else
        text->append(vorn::detail::toString(utf8));
}

// Written straight into one text of the final size: a camera that repeats a fault reaches this for
// every report over the limit while detail is logged, so it should cost one allocation, not one per
// part. The parts go in as they are (a "%1" in the condition or the message stays as written).
QString reportText(const char* file, int line, const char* condition, const vorn::Formatter& message)
{
    const std::string_view prefix = "ASSERTION FAILED: ";
    const std::string_view path = withoutExtension(file ? file : "");
    const std::string_view conditionText = condition ? condition : "";
    std::array<char, 16> lineDigits{}; //< An int in decimal, with its sign.
    const auto lineEnd = std::to_chars(lineDigits.data(), lineDigits.data() + lineDigits.size(), line).ptr;
    const std::string_view lineText(lineDigits.data(), static_cast<std::size_t>(lineEnd - lineDigits.data()));
    const QString& messageText = message.toQString();

    QString text;
    // ":", " (" and ") " around the parts; a UTF-8 part never has more characters than bytes.
    text.reserve(static_cast<int>(prefix.size() + path.size() + 1 + lineText.size() + 2 + conditionText.size() + 2) +
                 messageText.size());
    appendUtf8(&text, prefix);
    appendUtf8(&text, path);
    text.append(QLatin1Char(':'));
    appendUtf8(&text, lineText);
    text.append(QLatin1String(" ("));
    appendUtf8(&text, conditionText);
    text.append(QLatin1String(") "));
    text.append(messageText);
    return text;
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
