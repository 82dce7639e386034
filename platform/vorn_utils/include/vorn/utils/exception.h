// The utility library's exception bases.
//
// Exception is the root of the library's exceptions; ContextedException carries a message as a
// QString and answers it both as QString (message()) and as 8-bit text (what()), so code that only
// knows std::exception still gets the text:
//
//     try { ... } catch (const std::exception& e) { log(e.what()); }
#pragma once

#include <exception>
#include <utility>

#include <QtCore/QByteArray>
#include <QtCore/QString>

namespace vorn::utils {

class Exception : public std::exception
{
};

class ContextedException : public Exception
{
public:
    explicit ContextedException(QString message)
        : m_message(std::move(message))
        , m_what(m_message.toLocal8Bit())
    {}

    /** The message in the local 8-bit encoding; valid while the exception lives. */
    const char* what() const noexcept override { return m_what.constData(); }

    virtual QString message() const { return m_message; }

private:
    QString m_message;
    // Kept beside the message so that what() can hand out a pointer without allocating.
    QByteArray m_what;
};

} // namespace vorn::utils
