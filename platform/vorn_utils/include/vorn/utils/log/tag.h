// vorn::utils::log::Tag: what a log message is about, written in front of its text.
//
// Most tags name one object ("vorn::Foo(0x7f3a10, camera.local)", made by the log statements); a tag
// can also name a type (its demangled class name) or be any text. A tag is a small value: copy or move
// it freely.
#pragma once

#include <string>
#include <typeinfo>

#include <QtCore/QString>

namespace vorn::utils::log {

class Tag
{
public:
    Tag() = default;
    explicit Tag(QString text)
        : m_text(std::move(text))
    {}
    // UTF-8 text.
    explicit Tag(const std::string& text);
    // The type's class name.
    explicit Tag(const std::type_info& type);

    const QString& toString() const { return m_text; }

    friend bool operator==(const Tag&, const Tag&) = default;

private:
    QString m_text;
};

} // namespace vorn::utils::log
