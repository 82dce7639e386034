// vorn::log_support::toLogText: the text that a log message or assertion message argument becomes.
//
//   QString                                    unchanged
//   const char*, char arrays, std::string,     UTF-8 text (a char array ends at its first zero byte
//   std::string_view, QByteArray               or its end, whichever comes first)
//   bool                                       "true" / "false"
//   integers                                   plain decimal (a char is its character)
//   floating point                             as Qt's debug stream writes it
//   vorn::Formatter                            its text
//   pointer to an object of class type         objectLogTag() of the object
//   std::type_info                             the demangled class name
//   std::optional<any of these>                the value's text, or "none" when empty
//   byte buffer (data() and size() of char)    its bytes as UTF-8 text
//   anything with a toString(x) found by       that text (QString or UTF-8 std::string)
//   argument-dependent lookup
//
// Any other type fails to compile, naming the type: convert it at the call site.
#pragma once

#include <concepts>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <typeinfo>

#include <QtCore/QByteArray>
#include <QtCore/QDebug>
#include <QtCore/QLatin1String>
#include <QtCore/QString>

#include <vorn/utils/formatter.h>
#include <vorn/utils/to_string.h>

#include "object_log_tag.h"

namespace vorn::log_support {

namespace detail {

template <typename T>
inline constexpr bool kIsOptional = false;
template <typename T>
inline constexpr bool kIsOptional<std::optional<T>> = true;

template <typename T>
concept CharBuffer = requires(const T& buffer)
{
    {
        buffer.data()
        } -> std::convertible_to<const char*>;
    {
        buffer.size()
        } -> std::convertible_to<std::size_t>;
};

namespace adl {

// Hides every toString of the enclosing namespaces, so that an unqualified call finds only the
// functions that argument-dependent lookup brings in for the argument's type.
void toString() = delete;

template <typename T>
concept HasToString = requires(const T& value)
{
    {toString(value)};
};

template <typename T>
QString callToString(const T& value)
{
    using Result = std::remove_cvref_t<decltype(toString(value))>;
    if constexpr (std::is_same_v<Result, std::string>)
        return vorn::detail::toString(toString(value));
    else
        return QString(toString(value));
}

} // namespace adl

template <typename T>
inline constexpr bool kAlwaysFalse = false;

} // namespace detail

template <typename T>
QString toLogText(const T& value)
{
    using D = std::remove_cvref_t<T>;
    if constexpr (std::is_same_v<D, QString>) {
        return value;
    } else if constexpr (std::is_same_v<D, bool>) {
        return value ? QStringLiteral("true") : QStringLiteral("false");
    } else if constexpr (std::is_same_v<D, char>) {
        QString text;
        QDebug(&text).noquote().nospace() << value;
        return text;
    } else if constexpr (std::is_integral_v<D>) {
        if constexpr (sizeof(D) < sizeof(int))
            return QString::number(static_cast<int>(value));
        else
            return QString::number(value);
    } else if constexpr (std::is_floating_point_v<D>) {
        QString text;
        QDebug(&text).noquote().nospace() << value;
        return text;
    } else if constexpr (std::is_same_v<D, const char*> || std::is_same_v<D, char*>) {
        return vorn::detail::toString(static_cast<const char*>(value));
    } else if constexpr (std::is_array_v<D> && std::is_same_v<std::remove_cv_t<std::remove_extent_t<D>>, char>) {
        const char* const end = std::char_traits<char>::find(value, std::extent_v<D>, '\0');
        return vorn::detail::toString(std::string_view(value, end ? end - value : std::extent_v<D>));
    } else if constexpr (std::is_same_v<D, std::string> || std::is_same_v<D, std::string_view> ||
                         std::is_same_v<D, QByteArray> || std::is_same_v<D, std::type_info>) {
        return vorn::detail::toString(value);
    } else if constexpr (std::is_same_v<D, QLatin1String>) {
        return QString(value);
    } else if constexpr (std::is_same_v<D, vorn::Formatter>) {
        return value.toQString();
    } else if constexpr (detail::kIsOptional<D>) {
        return value ? toLogText(*value) : QStringLiteral("none");
    } else if constexpr (std::is_pointer_v<D> && std::is_class_v<std::remove_pointer_t<D>>) {
        return objectLogTag(static_cast<const std::remove_pointer_t<D>*>(value));
    } else if constexpr (detail::CharBuffer<D>) {
        const std::size_t size = static_cast<std::size_t>(value.size());
        return vorn::detail::toString(std::string_view(value.data(), size));
    } else if constexpr (detail::adl::HasToString<D>) {
        return detail::adl::callToString(value);
    } else {
        static_assert(detail::kAlwaysFalse<D>, "no log text for this argument type; convert it to text first");
        return QString();
    }
}

} // namespace vorn::log_support
