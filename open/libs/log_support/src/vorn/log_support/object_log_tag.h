// vorn::log_support::objectLogTag: the log tag text of one object, "Class(0xaddress)" or
// "Class(0xaddress, suffix)".
//
// The class is the object's run-time class (the pointer's static class for a null pointer, with
// address 0). A class adds its own identification, say the camera it talks to, by a public member
//
//     QString logTagSuffix() const;       // empty: no ", suffix" part
//
// Classes without that member get no suffix. Log statements call this for `this` and for object
// pointers among their arguments.
#pragma once

#include <concepts>
#include <cstdint>
#include <typeinfo>

#include <QtCore/QString>

#include <vorn/utils/to_string.h>

namespace vorn::log_support {

template <typename T>
concept HasLogTagSuffix = requires(const T& object)
{
    {
        object.logTagSuffix()
        } -> std::convertible_to<QString>;
};

namespace detail {

// "%1(0x%2%3)": class name, address in lower-case hexadecimal, and ", " with the suffix when it is
// not empty.
QString makeObjectLogTag(const QString& className, std::uint64_t address, const QString& suffix);

} // namespace detail

template <typename T>
QString objectLogTag(const T* object)
{
    if (!object) {
        // The same text every time: made once per class, then shared (a copy costs no allocation).
        static const QString nullTag = detail::makeObjectLogTag(vorn::detail::toString(typeid(T)), 0, QString());
        return nullTag;
    }

    QString suffix;
    if constexpr (HasLogTagSuffix<T>)
        suffix = object->logTagSuffix();
    return detail::makeObjectLogTag(vorn::detail::toString(typeid(*object)),
                                    static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(object)), suffix);
}

} // namespace vorn::log_support
