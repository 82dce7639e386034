// vorn::Formatter: a message text with numbered placeholders "%1" to "%9", filled with texts.
//
//     const QString text = vorn::Formatter("Port %1 changed %2 -> %3").args(key, oldPort, newPort);
//
// Filling follows QString::arg: several arguments are put in at once (the first argument takes the
// lowest-numbered placeholder present, the next the next one), so a "%2" inside an argument is never
// replaced again; a single argument replaces every occurrence of the lowest-numbered placeholder.
// Arguments are texts; the log statements turn other values into text before they get here.
#pragma once

#include <type_traits>

#include <QtCore/QString>

namespace vorn {

class Formatter
{
public:
    static constexpr int kMaxArguments = 9;

    Formatter() = default;
    Formatter(QString text)
        : m_text(std::move(text))
    {}
    // UTF-8 text; null gives the empty text.
    Formatter(const char* text)
        : m_text(QString::fromUtf8(text))
    {}

    template <typename... Args>
    requires(std::is_convertible_v<const Args&, QString>&&...) Formatter args(const Args&... values)
    const
    {
        static_assert(sizeof...(Args) <= kMaxArguments, "placeholders go from %1 to %9");
        if constexpr (sizeof...(Args) == 0)
            return *this;
        else if constexpr (sizeof...(Args) == 1)
            return Formatter(m_text.arg(QString(values)..., 0, QLatin1Char(' ')));
        else
            return Formatter(m_text.arg(QString(values)...));
    }

    const QString& toQString() const { return m_text; }
    operator QString() const { return m_text; }

private:
    QString m_text;
};

} // namespace vorn
