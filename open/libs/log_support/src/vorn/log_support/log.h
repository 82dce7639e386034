// VN_LOG: the log statement.
//
//     VN_LOG(5, this, "Port %1 changed %2 -> %3", key, oldPort, newPort);
//     VN_LOG(6, typeid(Engine), "Requesting %1", url);
//     VN_LOG(3, vorn::utils::log::Tag(vorn::scopeOfFunction(typeid(ScopeTag), "QJson::deserialize")),
//         "Can't deserialize field `%1` from value `%2`", key, valueText);
//
// LEVEL is a constant (1 most important .. 6 most detailed). The tag comes from TAG_SOURCE: an object
// pointer gives its objectLogTag(), a std::type_info the class name, a Tag itself, a text that text.
// FORMAT holds "%1".."%9", filled with the arguments as toLogText() renders them (log_text.h).
//
// Cost rules that callers rely on:
// - When maxLevel() is below LEVEL, the statement costs one call and one comparison: it evaluates no
//   argument, builds no tag and allocates nothing. Arguments with side effects are therefore a bug.
// - When no logger takes the level and tag, the tag is built but no message text.
// - The operating system's last error code (errno) is the same after the statement as before, so a
//   statement may sit between a failing system call and the reading of its code.
// - Each statement has its own LogCallSite, which limits how often it repeats (see LogHelper).
#pragma once

#include <string>
#include <typeinfo>

#include <QtCore/QString>

#include <vorn/utils/formatter.h>
#include <vorn/utils/log/log.h>
#include <vorn/utils/system_error.h>

#include "log_call_site.h"
#include "log_helper.h"
#include "log_text.h"
#include "object_log_tag.h"

namespace vorn::log_support::detail {

constexpr int levelValue(int level)
{
    return level;
}

constexpr int levelValue(utils::log::Level level)
{
    return static_cast<int>(level);
}

inline utils::log::Tag makeLogTag(const std::type_info& type)
{
    return utils::log::Tag(type);
}

inline utils::log::Tag makeLogTag(utils::log::Tag tag)
{
    return tag;
}

inline utils::log::Tag makeLogTag(QString text)
{
    return utils::log::Tag(std::move(text));
}

inline utils::log::Tag makeLogTag(const std::string& text)
{
    return utils::log::Tag(text);
}

inline utils::log::Tag makeLogTag(const char* text)
{
    return utils::log::Tag(vorn::detail::toString(text));
}

template <typename T>
utils::log::Tag makeLogTag(const T* object)
{
    return utils::log::Tag(objectLogTag(object));
}

template <typename... Args>
QString formatLogMessage(const vorn::Formatter& format, const Args&... args)
{
    return format.args(toLogText(args)...).toQString();
}

// Saves the last OS error code on construction and puts it back on destruction.
class LastErrorKeeper
{
public:
    LastErrorKeeper() = default;
    ~LastErrorKeeper() { SystemError::setLastErrorCode(m_code); }
    LastErrorKeeper(const LastErrorKeeper&) = delete;
    LastErrorKeeper& operator=(const LastErrorKeeper&) = delete;

private:
    const SystemError::ErrorCode m_code = SystemError::getLastOSErrorCode();
};

} // namespace vorn::log_support::detail

// The error keeper is declared before the helper so that it restores the code after the helper (and
// the logger reference it holds) is gone.
#define VN_LOG(LEVEL, TAG_SOURCE, ...)                                                                                 \
    do {                                                                                                               \
        if (static_cast<int>(::vorn::utils::log::maxLevel()) >= ::vorn::log_support::detail::levelValue(LEVEL)) {      \
            static ::vorn::log_support::LogCallSite vnLogCallSite(::vorn::log_support::detail::levelValue(LEVEL));     \
            const ::vorn::log_support::detail::LastErrorKeeper vnLogErrorKeeper;                                       \
            ::vorn::log_support::LogHelper vnLogHelper(::vorn::log_support::detail::makeLogTag(TAG_SOURCE),            \
                                                       &vnLogCallSite);                                                \
            if (vnLogHelper.hasLogger())                                                                               \
                vnLogHelper.log(::vorn::log_support::detail::formatLogMessage(__VA_ARGS__));                           \
        }                                                                                                              \
    } while (false)
