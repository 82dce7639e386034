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

#include <array>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>
#include <typeinfo>

#include <QtCore/QLatin1String>
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

// Whether filling `format` (of `size` bytes) as Latin-1 text gives what Formatter gives after decoding
// it as UTF-8: it holds ASCII only and, with a single argument (which QString::arg fills by rules of its
// own for "%L1", "%0" and two-digit numbers), has a placeholder and only placeholders of one digit from
// 1 to 9. Runs for every line written, so it tests eight bytes at a time and jumps from '%' to '%'.
inline bool fillsAsLatin1(const char* format, std::size_t size, bool singleArgument)
{
    constexpr std::uint64_t kHighBits = 0x8080808080808080U;
    std::uint64_t highBits = 0;
    std::size_t i = 0;
    for (; i + sizeof(std::uint64_t) <= size; i += sizeof(std::uint64_t)) {
        std::uint64_t word = 0;
        std::memcpy(&word, format + i, sizeof(word));
        highBits |= word;
    }
    for (; i < size; ++i)
        highBits |= static_cast<unsigned char>(format[i]);
    if ((highBits & kHighBits) != 0)
        return false;
    if (!singleArgument)
        return true;

    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    const char* const end = format + size;
    bool placeholder = false;
    for (const char* percent = format;
         (percent = static_cast<const char*>(std::memchr(percent, '%', static_cast<std::size_t>(end - percent)))) !=
         nullptr;
         ++percent) {
        const char next = percent + 1 < end ? percent[1] : '\0';
        const char afterNext = percent + 2 < end ? percent[2] : '\0';
        if (next == 'L' || next == '0' || (isDigit(next) && isDigit(afterNext)))
            return false;
        placeholder = placeholder || isDigit(next);
    }
    return placeholder;
}

// An argument of a line filled as Latin-1: an integer as its decimal digits in a buffer of its own (no
// text made for it), anything else as its log text.
template <typename T>
class Latin1LogArgument
{
public:
    explicit Latin1LogArgument(const T& value)
    {
        if constexpr (kDigits) {
            using Wide = std::conditional_t<std::is_signed_v<T>, long long, unsigned long long>;
            const char* end = std::to_chars(m_digits.data(), m_digits.data() + m_digits.size(), Wide{value}).ptr;
            m_size = static_cast<int>(end - m_digits.data());
        } else {
            m_text = toLogText(value);
        }
    }

    decltype(auto) view() const
    {
        if constexpr (kDigits)
            return QLatin1String(m_digits.data(), m_size);
        else
            return static_cast<const QString&>(m_text);
    }

private:
    // The integers that toLogText writes in decimal.
    static constexpr bool kDigits = std::is_integral_v<T> && !std::is_same_v<T, bool> && !std::is_same_v<T, char>;

    std::array<char, 24> m_digits{}; //< 64 bits in decimal, with a sign.
    int m_size = 0;
    QString m_text;
};

// A format written as a literal: filled straight from its bytes when that gives the same text, so the
// statement makes no text of the format, nor of its integer arguments, first (each an allocation for
// every line written).
template <typename... Args>
QString formatLogMessage(const char* format, const Args&... args)
{
    if constexpr (sizeof...(Args) > 0) {
        if (format) {
            const std::size_t size = std::strlen(format);
            if (fillsAsLatin1(format, size, sizeof...(Args) == 1)) {
                return QLatin1String(format, static_cast<int>(size))
                    .arg(Latin1LogArgument<std::remove_cvref_t<Args>>(args).view()...);
            }
        }
    }
    return formatLogMessage(vorn::Formatter(format), args...);
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
