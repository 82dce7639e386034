// vorn::detail::toString: the text of the raw values that log messages and log tags are made of.
//
// Byte strings are taken as UTF-8. A type gives its demangled C++ name ("vorn::Foo<int>"); each type
// is demangled once per library instance and the text is shared from then on, so naming a type in
// every log tag costs a lookup, not a demangling.
#pragma once

#include <string>
#include <string_view>
#include <typeinfo>

#include <QtCore/QByteArray>
#include <QtCore/QString>

namespace vorn::detail {

// A null pointer gives the empty text.
QString toString(const char* text);
QString toString(const std::string& text);
QString toString(std::string_view text);
QString toString(const QByteArray& text);
QString toString(const std::type_info& type);

} // namespace vorn::detail
